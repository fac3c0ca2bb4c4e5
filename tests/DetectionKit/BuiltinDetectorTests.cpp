#include "QtPrinters.h"
#include "DetectionKit/Characters.h"
#include "DetectionKit/PIIDetector.h"

#include <gtest/gtest.h>

using namespace DetectionKit;

namespace {

const PIIDetector::CompiledDetector& builtin(const QString& name) {
    for (const auto& d : PIIDetector::builtins())
        if (d.name == name) return d;
    throw std::runtime_error("no such built-in");
}

QStringList matchesOf(const QString& name, const QString& text) {
    QStringList found;
    for (const auto& r : builtin(name).regex.findAll(text).ranges) found.append(text.mid(r.start, r.length));
    return found;
}

} // namespace

TEST(BuiltinDetectorsTest, TableOrderNamesAndPatternLengths) {
    const auto& table = PIIDetector::builtins();
    ASSERT_EQ(table.size(), 6u);
    const std::vector<std::pair<QString, qsizetype>> expected = {
        {"email", 152}, {"ssn", 88}, {"phone", 117}, {"card", 31}, {"iban", 41}, {"ipv4", 45}};
    for (size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(table[i].name, expected[i].first);
        EXPECT_EQ(table[i].regex.pattern().size(), expected[i].second) << table[i].name;
        EXPECT_EQ(table[i].action, PatternAction::blurSuggested);
        EXPECT_EQ(table[i].luhn, table[i].name == "card");
    }
    EXPECT_EQ(PIIDetector::builtinNames(), (std::set<QString>{"email", "ssn", "phone", "card", "iban", "ipv4"}));
}

TEST(BuiltinDetectorsTest, PatternsMatchWhatTheyShould) {
    struct Case {
        const char* detector;
        const char* text;
        QStringList expected;
    };
    const Case cases[] = {
        {"email", "mail jane.doe+x@example.co.uk now", {"jane.doe+x@example.co.uk"}},
        {"email", "x@y.z is too short a domain", {}},
        {"ssn", "SSN 123-45-6789.", {"123-45-6789"}},
        {"ssn", "read as 12S-4B-67O9", {"12S-4B-67O9"}},
        {"ssn", "a123-45-6789", {}},
        {"ssn", "Call back T23-45-6789", {"T23-45-6789"}},
        {"ssn", "TAX-12-3456", {}},
        // A zero read as an at sign or a registered sign, past the number's first digit, and at
        // a group's end where no word character follows.
        {"ssn", "ssn=078-@5-1120 src", {"078-@5-1120"}},
        {"ssn", "ssn=234-56-789@ src=10.0.0.1", {"234-56-789@"}},
        {"ssn", "ssn=2\u00AE4-56-7890", {"2\u00AE4-56-7890"}},
        {"ssn", "ssn=@78-05-1120", {}},
        {"ssn", "to 123-45-678@example.com", {}},
        {"phone", "tel=212.555.@187 ok", {"212.555.@187"}},
        {"phone", "(2@1) 555-0187", {"2@1) 555-0187"}},
        {"phone", "@12-555-0187 and 555-123-456@host.org", {}},
        {"phone", "call (555) 123-4567 or +1 555.123.4567", {"555) 123-4567", "1 555.123.4567"}},
        {"phone", "555-123-4567, then", {"555-123-4567"}},
        {"phone", "SMS from 555-T23-4567", {"555-T23-4567"}},
        {"card", "4TTT TTTT TTTT TTTT", {}},
        {"card", "4111 1111 1111 1111", {"4111 1111 1111 1111"}},
        {"card", "4111-1111-1111-1111", {"4111-1111-1111-1111"}},
        {"iban", "IBAN DE89370400440532013000", {"DE89370400440532013000"}},
        {"ipv4", "host 192.168.10.254 up", {"192.168.10.254"}},
        {"ipv4", "999.999.999.999", {"999.999.999.999"}},
    };
    for (const Case& c : cases) EXPECT_EQ(matchesOf(c.detector, c.text), c.expected) << c.detector << ": " << c.text;
}

// An image named with its density scale is no address; an address whose parts only look alike is.
TEST(BuiltinDetectorsTest, AnAssetNameWithAScaleIsNoAddress) {
    const std::pair<const char*, QStringList> cases[] = {
        {"16@2x.png", {}},
        {"GET /static/icons/1@2x.jpg HTTP/1.1", {}},
        {"see 48@1.5x.PNG.", {}},
        {"badges/7@2x.png", {}}, // nor does the slash-and-digit misreading take it
        {"2x@example.com", {"2x@example.com"}},
        {"a@2x.png.example.com", {"a@2x.png.example.com"}},
    };
    for (const auto& [text, expected] : cases) {
        QStringList found = matchesOf("email", text);
        for (const auto& r : builtin("email").misread->findAll(text).ranges) found.append(QString(text).mid(r.start, r.length));
        EXPECT_EQ(found, expected) << text;
    }
}

TEST(BuiltinDetectorsTest, BarsInsideAnAddressAreReadAsTheLetterL) {
    const std::pair<const char*, const char*> cases[] = {
        {"al.|@contoso.net", "al.l@contoso.net"},
        {"paul.|.lindqvist@x.com", "paul.l.lindqvist@x.com"},
        {"greta.!@x.io", "greta.l@x.io"},
        {"ida.|\\@x.org", "ida.ll@x.org"}, // a bar's stroke read apart as a backslash
        {"x@fabrikam.|o", "x@fabrikam.lo"},
        {"a | b@x.com", "a | b@x.com"}, // a separator standing alone
        {"jane@x.com! a|b", "jane@x.com! a|b"},
    };
    for (const auto& [text, reading] : cases)
        EXPECT_EQ(PIIDetector::addressReading(QString::fromLatin1(text)), QString::fromLatin1(reading)) << text;
}

TEST(BuiltinDetectorsTest, LuhnFilter) {
    struct Case {
        const char* text;
        bool accepted;
    };
    const Case cases[] = {
        {"4111 1111 1111 1111", true},
        {"4111 1111 1111 1112", false},
        {"4111 1111 1111 111S", true},  // a confusable letter cannot be verified: accepted
        {"4111 1111 1111 11l1", true},
        {"4111-1111-1111-1111", true},
        {"5500000000000004", true},
        {"5500000000000005", false},
        {"4222222222222", true},        // 13 digits, valid
        {"4222222222223", false},       // 13 digits, invalid
        {"000000000000", false},        // 12 digits and no confusable letter
        {"0000000000000", true},        // 13 zeros sum to 0
        {"", false},
    };
    for (const Case& c : cases) EXPECT_EQ(PIIDetector::luhnAcceptable(c.text), c.accepted) << c.text;
}

// Widening also stops just after the first delimiter on either side (a bracket, quote, slash, colon...).
TEST(BuiltinDetectorsTest, WordExtendedStopsAtWhitespaceAndLineEnds) {
    struct Case {
        const char* text;
        qsizetype start, end;
        qsizetype wantStart, wantEnd;
    };
    const Case cases[] = {
        {"call 555-123-4567, now", 5, 17, 5, 18},          // trailing comma joins
        {"555-123-4567", 0, 12, 0, 12},                    // whole line: unchanged
        {"tel:555-123-4567,x", 4, 16, 3, 18},              // the colon joins, what is before it does not
        {"a 555-123-4567 b", 2, 14, 2, 14},                // bounded by spaces: unchanged
        {"call (415) 555-0132", 6, 19, 5, 19},             // the bracket the pattern leaves out joins
        {"https://10.1.2.3/x", 8, 16, 7, 17},              // an address inside a URL: its slashes only
        {"relay=host[10.1.2.3]:25", 11, 19, 10, 20},       // inside brackets: the brackets only
        {"\"jane@x.io\",", 1, 10, 0, 11},                  // a quoted value: the quotes only
        {"jane.doe@example,com ok", 0, 16, 0, 20},         // a dot read as a comma: the rest joins
        {"4111 1111 1111 1111 paid", 0, 20, 0, 19},        // a separator the match ends with: not the next word
        {"a  b", 1, 3, 1, 3},                              // only whitespace: unchanged
        {"x\t(555)\u00A0y", 3, 6, 2, 7},                   // tab and no-break space are whitespace
        {"id:12\u2003ok", 3, 5, 2, 5},                     // em space stops the widening
        {"e\u0301x 1234\U0001F600 z", 4, 8, 4, 10},          // an emoji glued on is taken whole
        {"e\u0301x 1234\U0001F600 z", 2, 3, 0, 3},           // so is "e" with its combining accent
    };
    for (const Case& c : cases) {
        const QString text = QString::fromUtf8(c.text);
        const Characters characters(text);
        EXPECT_EQ(PIIDetector::wordExtended({c.start, c.end}, characters), (PIIDetector::Range{c.wantStart, c.wantEnd}))
            << c.text;
    }
}

TEST(BuiltinDetectorsTest, IbanWithAMisreadCountryCodeMustPassTheIbansOwnCheck) {
    struct Case {
        const char* text;
        bool accepted;
    };
    const Case cases[] = {
        {"1T60X0542811101000000123456", true},   // IT, "I" read as "1"
        {"$E4550000000058398257466", true},      // SE
        {"5E4550000000058398257466", true},      // SE, "S" read as "5"
        {"1E29AIBK93115212345678", true},        // IE
        {"£S9121000418450200051332", true}, // ES, "E" read as a pound sign
        {"8E68539007547034", true},              // BE
        {"1T6OX0542811101000000123456", true},   // a check digit read as a letter as well
        {"1T61X0542811101000000123456", false},  // check digits that do not hold
        {"1T60X05428111010000001234567", false}, // longer than an Italian IBAN
        {"1T60X054281110100000012345", false},   // shorter
        {"0E4550000000058398257466", false},     // "OE" is no country
        {"1T60x0542811101000000123456", false},  // a small letter in the account
        {"1234567890123456", false},             // digits only
        {"1T", false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(PIIDetector::misreadIbanAcceptable(QString::fromUtf8(c.text)), c.accepted) << c.text;
}
