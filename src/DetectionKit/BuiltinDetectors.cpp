#include "DetectionKit/Characters.h"
#include "DetectionKit/PIIDetector.h"

#include <cstdlib>
#include <cstdio>

namespace DetectionKit {

namespace {

struct BuiltinRow {
    const char16_t* name;
    const char16_t* pattern;
    bool luhn;
    char16_t anchor; // see CompiledDetector::anchor; 0 for none
    const char16_t* misread = nullptr; // see CompiledDetector::misread
    bool (*misreadAcceptable)(const QString&) = nullptr;
    QString (*reading)(const QString&) = nullptr; // see CompiledDetector::reading
};

// An IBAN whose country code recognition read as digits or symbols that look like its letters
// ("1T60...", "$E45...", "£S91..."): at least one of the two is no capital letter, nothing
// word-like is glued before it, and the rest has the IBAN's shape.
constexpr const char16_t* kMisreadIban =
    uR"((?<![\p{L}\p{N}])(?:[0-9$\u00A3\u20AC|!][A-Z0-9$\u00A3\u20AC|!]|[A-Z][0-9$\u00A3\u20AC|!])[0-9OoIlBS]{2}[A-Z0-9]{11,30}\b)";

// Not an address: an image drawn for a screen density, named with its scale after an at sign
// ("icon@2x.png", "48@1.5x.webp"), the ordinary expression taking "2x.png" for a domain.
#define NOT_AN_ASSET_SCALE \
    uR"((?![0-9]+(?:\.[0-9]+)?[xX]\.(?i:png|jpe?g|gif|webp|svg|avif|bmp|ico|tiff?)(?![A-Za-z0-9-]|\.[A-Za-z0-9-])))"

// An address whose local part ends in a digit that recognition read, in a monospaced face, as a
// slash (a 7 or a 1: "emma.schulz/@contoso.org", "lee.kim/O@example.com") or as a second at sign (a
// zero with a dot or slash inside: "dana7@@example.com"). The local part is taken whole from the
// start of its run of characters.
constexpr const char16_t* kMisreadEmail =
    uR"((?<![A-Za-z0-9._%+-])[A-Za-z0-9._%+-]{0,63}[A-Za-z0-9](?:/[0-9OoIlBS]{0,3}|@)@)" NOT_AN_ASSET_SCALE
    uR"([A-Za-z0-9.-]{1,255}\.[A-Za-z]{2,})";

// Wherever a digit is expected, "OoIlBS" are accepted too: text recognition reads them in place
// of 0, 0, 1, 1, 8 and 5. In the grouped shapes of social security and phone numbers so is "T",
// read for a 1 or a 7 whose stroke meets a busy backdrop (a notification card over a wallpaper),
// and so are "@" and the registered sign past a number's first digit, read for a zero with a slash
// or a dot inside in monospaced faces ("078-@5-1120"); as a group may end in such a symbol, the
// shape ends where no word character follows rather than at a word boundary. The card and IBAN
// shapes, long runs of letters and digits, leave them out.
constexpr BuiltinRow kTable[] = {
    {u"email", uR"([A-Za-z0-9._%+-]+@)" NOT_AN_ASSET_SCALE uR"([A-Za-z0-9.-]+\.[A-Za-z]{2,})", false, u'@',
     kMisreadEmail, nullptr, &PIIDetector::addressReading},
    {u"ssn", uR"(\b[0-9OoIlBST][0-9OoIlBST@\x{AE}]{2}-[0-9OoIlBST@\x{AE}]{2}-[0-9OoIlBST@\x{AE}]{4}(?!\w))", false, 0},
    {u"phone",
     uR"(\b(?:\+?1[-. ]?)?\(?[0-9OoIlBST][0-9OoIlBST@\x{AE}]{2}\)?[-. ][0-9OoIlBST@\x{AE}]{3}[-. ][0-9OoIlBST@\x{AE}]{4}(?!\w))", false, 0},
    {u"card", uR"(\b(?:[0-9OoIlBS][ -]?){13,19}\b)", true, 0},
    {u"iban", uR"(\b[A-Z]{2}[0-9OoIlBS]{2}[A-Z0-9]{11,30}\b)", false, 0, kMisreadIban,
     &PIIDetector::misreadIbanAcceptable},
    {u"ipv4", uR"(\b(?:[0-9OoIlBS]{1,3}\.){3}[0-9OoIlBS]{1,3}\b)", false, 0},
};
#undef NOT_AN_ASSET_SCALE

std::vector<PIIDetector::CompiledDetector> compileTable() {
    std::vector<PIIDetector::CompiledDetector> detectors;
    for (const BuiltinRow& row : kTable) {
        const QString pattern = QString::fromUtf16(row.pattern);
        Support::IcuRegex::CompileError error;
        auto regex = Support::IcuRegex::compile(pattern, &error);
        if (!regex) {
            // The table is fixed; a row that does not compile is a programming error.
            std::fprintf(stderr, "built-in detector %s does not compile: %s\n",
                         QString::fromUtf16(row.name).toUtf8().constData(), error.message.toUtf8().constData());
            std::abort();
        }
        PIIDetector::CompiledDetector detector{QString::fromUtf16(row.name), PatternAction::blurSuggested,
                                               std::move(*regex), row.luhn, QChar(row.anchor), std::nullopt, nullptr};
        if (row.misread) {
            detector.misread = Support::IcuRegex::compile(QString::fromUtf16(row.misread));
            if (!detector.misread) {
                std::fprintf(stderr, "built-in detector %s's misread pattern does not compile\n",
                             QString::fromUtf16(row.name).toUtf8().constData());
                std::abort();
            }
            detector.misreadAcceptable = row.misreadAcceptable;
        }
        detector.reading = row.reading;
        detectors.push_back(std::move(detector));
    }
    return detectors;
}

bool isConfusable(QChar c) {
    switch (c.unicode()) {
    case u'O':
    case u'o':
    case u'I':
    case u'l':
    case u'B':
    case u'S':
        return true;
    default:
        return false;
    }
}

// The length of an IBAN of each country that issues them.
struct IbanCountry {
    char code[3];
    int length;
};
constexpr IbanCountry kIbanCountries[] = {
    {"AD", 24}, {"AE", 23}, {"AL", 28}, {"AT", 20}, {"AZ", 28}, {"BA", 20}, {"BE", 16}, {"BG", 22}, {"BH", 22},
    {"BI", 27}, {"BR", 29}, {"BY", 28}, {"CH", 21}, {"CR", 22}, {"CY", 28}, {"CZ", 24}, {"DE", 22}, {"DJ", 27},
    {"DK", 18}, {"DO", 28}, {"EE", 20}, {"EG", 29}, {"ES", 24}, {"FI", 18}, {"FK", 18}, {"FO", 18}, {"FR", 27},
    {"GB", 22}, {"GE", 22}, {"GI", 23}, {"GL", 18}, {"GR", 27}, {"GT", 28}, {"HR", 21}, {"HU", 28}, {"IE", 22},
    {"IL", 23}, {"IQ", 23}, {"IS", 26}, {"IT", 27}, {"JO", 30}, {"KW", 30}, {"KZ", 20}, {"LB", 28}, {"LC", 32},
    {"LI", 21}, {"LT", 20}, {"LU", 20}, {"LV", 21}, {"LY", 25}, {"MC", 27}, {"MD", 24}, {"ME", 22}, {"MK", 19},
    {"MN", 20}, {"MR", 27}, {"MT", 31}, {"MU", 30}, {"NI", 28}, {"NL", 18}, {"NO", 15}, {"OM", 23}, {"PK", 24},
    {"PL", 28}, {"PS", 29}, {"PT", 25}, {"QA", 29}, {"RO", 24}, {"RS", 22}, {"RU", 33}, {"SA", 24}, {"SC", 31},
    {"SD", 18}, {"SE", 24}, {"SI", 19}, {"SK", 24}, {"SM", 27}, {"SO", 23}, {"ST", 25}, {"SV", 28}, {"TL", 23},
    {"TN", 24}, {"TR", 26}, {"UA", 29}, {"VA", 22}, {"VG", 24}, {"XK", 20}, {"YE", 30},
};

int ibanLength(QChar first, QChar second) {
    for (const IbanCountry& c : kIbanCountries)
        if (first == QLatin1Char(c.code[0]) && second == QLatin1Char(c.code[1])) return c.length;
    return 0;
}

// The capital letters a character of a country code may stand for when recognition read it
// as a digit or symbol of the same outline; a capital letter stands for itself.
QString lettersReadAs(QChar c) {
    if (c >= QLatin1Char('A') && c <= QLatin1Char('Z')) return QString(c);
    switch (c.unicode()) {
    case u'1':
        return QStringLiteral("ILT");
    case u'|':
        return QStringLiteral("IL");
    case u'!':
        return QStringLiteral("I");
    case u'7':
        return QStringLiteral("T");
    case u'$':
    case u'5':
        return QStringLiteral("S");
    case u'0':
        return QStringLiteral("O");
    case u'8':
        return QStringLiteral("B");
    case u'6':
        return QStringLiteral("G");
    case u'2':
        return QStringLiteral("Z");
    case u'4':
        return QStringLiteral("A");
    case u'\u00A3': // pound sign
    case u'\u20AC': // euro sign
        return QStringLiteral("E");
    default:
        return {};
    }
}

bool isAsciiDigit(QChar c) { return c >= QLatin1Char('0') && c <= QLatin1Char('9'); }

// The digit a check digit read as a letter stands for; -1 for none.
int checkDigitOf(QChar c) {
    if (isAsciiDigit(c)) return c.unicode() - u'0';
    switch (c.unicode()) {
    case u'O':
    case u'o':
        return 0;
    case u'I':
    case u'l':
        return 1;
    case u'B':
        return 8;
    case u'S':
        return 5;
    default:
        return -1;
    }
}

// The IBAN's own check: the country's length, and the number made of the account part followed
// by the country code and the check digits (letters counting 10 to 35) leaves 1 when divided by 97.
bool ibanChecks(QChar first, QChar second, int check1, int check2, QStringView account) {
    if (ibanLength(first, second) != account.size() + 4) return false;
    int remainder = 0;
    const auto add = [&remainder](QChar c) {
        const int value = isAsciiDigit(c) ? c.unicode() - u'0' : c.unicode() - u'A' + 10;
        remainder = (value < 10 ? remainder * 10 + value : remainder * 100 + value) % 97;
    };
    for (QChar c : account) add(c);
    add(first);
    add(second);
    add(QChar(u'0' + check1));
    add(QChar(u'0' + check2));
    return remainder == 1;
}

} // namespace

bool PIIDetector::misreadIbanAcceptable(const QString& text) {
    if (text.size() < 15) return false;
    const int check1 = checkDigitOf(text.at(2));
    const int check2 = checkDigitOf(text.at(3));
    if (check1 < 0 || check2 < 0) return false;
    const QStringView account = QStringView(text).mid(4);
    for (QChar c : account)
        if (!(isAsciiDigit(c) || (c >= QLatin1Char('A') && c <= QLatin1Char('Z')))) return false;
    for (QChar first : lettersReadAs(text.at(0)))
        for (QChar second : lettersReadAs(text.at(1)))
            if (ibanChecks(first, second, check1, check2, account)) return true;
    return false;
}

const std::vector<PIIDetector::CompiledDetector>& PIIDetector::builtins() {
    static const std::vector<CompiledDetector> table = compileTable();
    return table;
}

const std::set<QString>& PIIDetector::builtinNames() {
    static const std::set<QString> names = [] {
        std::set<QString> set;
        for (const CompiledDetector& d : builtins()) set.insert(d.name);
        return set;
    }();
    return names;
}

QString PIIDetector::addressReading(const QString& text) {
    const auto isBar = [](QChar c) { return c == QLatin1Char('|') || c == QLatin1Char('!'); };
    const auto isAddressCharacter = [](QChar c) {
        return (c >= QLatin1Char('a') && c <= QLatin1Char('z')) || (c >= QLatin1Char('A') && c <= QLatin1Char('Z')) ||
               isAsciiDigit(c) || QStringView(u"._%+-@").contains(c);
    };
    QString read = text;
    qsizetype wordStart = 0;
    while (wordStart < text.size()) {
        while (wordStart < text.size() && text.at(wordStart).isSpace()) ++wordStart;
        qsizetype wordEnd = wordStart;
        while (wordEnd < text.size() && !text.at(wordEnd).isSpace()) ++wordEnd;
        if (QStringView(text).mid(wordStart, wordEnd - wordStart).contains(QLatin1Char('@'))) {
            for (qsizetype at = wordStart; at < wordEnd;) {
                if (!isBar(text.at(at))) {
                    ++at;
                    continue;
                }
                // A backslash after a bar is a piece of its stroke read apart ("ida.|\@").
                qsizetype runEnd = at;
                while (runEnd < wordEnd && (isBar(text.at(runEnd)) || text.at(runEnd) == QLatin1Char('\\'))) ++runEnd;
                if (runEnd < wordEnd && isAddressCharacter(text.at(runEnd)))
                    for (qsizetype i = at; i < runEnd; ++i) read[i] = QLatin1Char('l');
                at = runEnd;
            }
        }
        wordStart = wordEnd;
    }
    return read;
}

bool PIIDetector::luhnAcceptable(const QString& text) {
    for (QChar c : text)
        if (isConfusable(c)) return true;

    std::vector<int> digits;
    for (QChar c : text) {
        const int value = c.digitValue();
        if (value >= 0) digits.push_back(value);
    }
    if (digits.size() < 13) return false;

    int sum = 0;
    bool doubled = false;
    for (auto it = digits.rbegin(); it != digits.rend(); ++it) {
        int d = *it;
        if (doubled) {
            d *= 2;
            if (d > 9) d -= 9;
        }
        sum += d;
        doubled = !doubled;
    }
    return sum % 10 == 0;
}

PIIDetector::Range PIIDetector::wordExtended(Range range, const Characters& characters) {
    const QString& text = characters.text();
    // A match that takes a separator at its end ("4111 1111 1111 1111 ") is widened from its last
    // character with ink, never into the next word.
    Range inked = range;
    while (inked.end > inked.start && characters.isWhitespaceAt(characters.previousBoundary(inked.end)))
        inked.end = characters.previousBoundary(inked.end);
    while (inked.start < inked.end && characters.isWhitespaceAt(inked.start)) inked.start = characters.nextBoundary(inked.start);
    if (inked.start == inked.end) return range;
    const auto glued = [&](qsizetype at) { return at >= 0 && at < text.size() && !characters.isWhitespaceAt(at); };
    qsizetype lower = inked.start;
    while (lower > 0) {
        const qsizetype previous = characters.previousBoundary(lower);
        if (!glued(previous)) break;
        lower = previous;
        if (isValueDelimiter(text.at(previous))) break;
    }
    qsizetype upper = inked.end;
    while (glued(upper)) {
        const bool delimiter = isValueDelimiter(text.at(upper));
        upper = characters.nextBoundary(upper);
        if (delimiter) break;
    }
    return {lower, upper};
}

} // namespace DetectionKit
