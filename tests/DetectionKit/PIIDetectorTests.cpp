#include "FakeRecognizers.h"
#include "QtPrinters.h"

#include "DetectionKit/ImageBoxes.h"
#include "DetectionKit/PIIDetector.h"

#include <gtest/gtest.h>

using namespace DetectionKit;
using namespace DetectionTests;

namespace {

constexpr double W = 1000;
constexpr double H = 500;

QImage blankImage() {
    QImage image(int(W), int(H), QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::white);
    return image;
}

DetectionResult detectOver(std::vector<RecognizedLine> lines, const std::vector<PatternInput>& patterns,
                           std::vector<Support::Rect> faces = {}) {
    PIIDetector detector(std::make_shared<FakeTextRecognizer>(std::move(lines)),
                         std::make_shared<FakeFaceDetector>(std::move(faces)));
    return detector.detect(blankImage(), patterns);
}

// One monospaced line, 10 px per character, at the given row.
RecognizedLine line(const QString& text, double y = 100, double x = 100) {
    return monospacedLine(text, Support::Rect(x, y, 10.0 * double(text.size()), 20), W, H);
}

QStringList namesOf(const DetectionResult& result) {
    QStringList names;
    for (const Detection& d : result.detections) names.append(d.detectorName() + ":" + d.matchedText());
    return names;
}

::testing::AssertionResult sameBox(const Support::Rect& actual, const Support::Rect& expected) {
    const double e = 1e-6;
    if (std::abs(actual.x() - expected.x()) < e && std::abs(actual.y() - expected.y()) < e &&
        std::abs(actual.width() - expected.width()) < e && std::abs(actual.height() - expected.height()) < e)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "box is (" << actual.x() << ", " << actual.y() << ", " << actual.width()
                                         << ", " << actual.height() << ")";
}

const Detection* find(const DetectionResult& result, const QString& name) {
    for (const Detection& d : result.detections)
        if (d.detectorName() == name) return &d;
    return nullptr;
}

} // namespace

TEST(PIIDetectorTest, NothingFoundInAnEmptyImage) {
    const DetectionResult result = detectOver({}, {});
    EXPECT_TRUE(result.detections.empty());
    EXPECT_TRUE(result.diagnostics.isEmpty());
}

TEST(PIIDetectorTest, OrderIsLineThenDetectorThenPositionWithFacesLast) {
    const DetectionResult result = detectOver(
        {line("10.0.0.1 and a@b.io then 10.0.0.2", 50), line("ssn 123-45-6789 mail c@d.org", 100)},
        {{"ticket", "10\\.0", PatternAction::blurMandatory}, {"face", "x", PatternAction::blurMandatory}},
        {Support::Rect(0.5, 0.5, 0.1, 0.1)});
    EXPECT_EQ(namesOf(result), (QStringList{"email:a@b.io", "ipv4:10.0.0.1", "ipv4:10.0.0.2", "ticket:10.0",
                                            "ticket:10.0", "email:c@d.org", "ssn:123-45-6789", "face:"}));
    // A custom pattern named "face" is only a custom pattern: faces stay suggested.
    EXPECT_EQ(result.detections.back().action(), PatternAction::blurSuggested);
}

// The actions detection gives, and what it reports as mandatory beforehand (what the editor
// compares to know whether a policy asks for more than its detections were made with).
TEST(PIIDetectorTest, OverridesChangeActionsAndTheLastOneWins) {
    struct Case {
        const char* description;
        std::vector<PatternInput> patterns;
        PatternAction emailAction;
        PatternAction cardAction;
        PIIDetector::MandatoryPatterns mandatory;
    };
    const std::vector<Case> cases = {
        {"no overrides", {}, PatternAction::blurSuggested, PatternAction::blurSuggested, {}},
        {"card mandatory with an invalid regex: never compiled, never reported",
         {{"card", "(", PatternAction::blurMandatory}}, PatternAction::blurSuggested, PatternAction::blurMandatory,
         {{"card", ""}}},
        {"two email overrides, the later suggested",
         {{"email", "", PatternAction::blurMandatory}, {"email", "[", PatternAction::blurSuggested}},
         PatternAction::blurSuggested, PatternAction::blurSuggested, {}},
        {"two email overrides, the later mandatory",
         {{"email", "", PatternAction::blurSuggested}, {"email", "", PatternAction::blurMandatory}},
         PatternAction::blurMandatory, PatternAction::blurSuggested, {{"email", ""}}},
        {"custom patterns count by name and expression, mandatory ones only",
         {{"ticket", "T-[0-9]+", PatternAction::blurMandatory}, {"ticket", "U-[0-9]+", PatternAction::blurMandatory},
          {"note", "N-[0-9]+", PatternAction::blurSuggested}},
         PatternAction::blurSuggested, PatternAction::blurSuggested, {{"ticket", "T-[0-9]+"}, {"ticket", "U-[0-9]+"}}},
    };
    for (const Case& c : cases) {
        const DetectionResult result = detectOver({line("x@example.com 4111 1111 1111 1111")}, c.patterns);
        EXPECT_TRUE(result.diagnostics.isEmpty()) << c.description;
        ASSERT_EQ(namesOf(result), (QStringList{"email:x@example.com", "card:4111 1111 1111 1111"})) << c.description;
        EXPECT_EQ(find(result, "email")->action(), c.emailAction) << c.description;
        EXPECT_EQ(find(result, "card")->action(), c.cardAction) << c.description;
        EXPECT_EQ(PIIDetector::mandatoryPatterns(c.patterns), c.mandatory) << c.description;
    }
}

TEST(PIIDetectorTest, NamesCompareCaseSensitively) {
    const DetectionResult result =
        detectOver({line("x@example.com")}, {{"Email", "[a-z]+@", PatternAction::blurMandatory}});
    EXPECT_EQ(namesOf(result), (QStringList{"email:x@example.com", "Email:x@"}));
    EXPECT_EQ(find(result, "email")->action(), PatternAction::blurSuggested);
    EXPECT_EQ(find(result, "Email")->action(), PatternAction::blurMandatory);
}

TEST(PIIDetectorTest, InvalidCustomPatternCostsOnlyItselfWithOneDiagnostic) {
    const DetectionResult result = detectOver({line("id 4711 at 10.1.2.3")},
                                              {{"x", "(", PatternAction::blurMandatory},
                                               {"ids", "\\b4711\\b", PatternAction::blurMandatory}});
    EXPECT_EQ(result.diagnostics, QStringList{"custom pattern 'x' skipped: invalid regex (U_REGEX_MISMATCHED_PAREN)"});
    EXPECT_EQ(namesOf(result), (QStringList{"ipv4:10.1.2.3", "ids:4711"}));
}

// The diagnostics are logged as public text: they name the pattern and the reason, never what
// was recognised.
TEST(PIIDetectorTest, HostilePatternIsStoppedAndTheOthersStillRun) {
    const QString longLine = QString(10000, QLatin1Char('a')) + "! 192.168.0.1 jane@example.org";
    const DetectionResult result = detectOver({line(longLine), line("second line 10.9.8.7", 200)},
                                              {{"evil", "(a+)+$", PatternAction::blurMandatory},
                                               {"bad", "[", PatternAction::blurMandatory},
                                               {"host", "192\\.168", PatternAction::blurSuggested}});
    EXPECT_EQ(result.diagnostics,
              (QStringList{"custom pattern 'bad' skipped: invalid regex (U_REGEX_MISSING_CLOSE_BRACKET)",
                           "custom pattern 'evil' could not finish 1 line (match timed out); hidden whole as "
                           "mandatory findings"}));
    EXPECT_EQ(namesOf(result), (QStringList{"email:jane@example.org", "ipv4:192.168.0.1", "evil:" + longLine,
                                            "host:192.168", "ipv4:10.9.8.7"}));
}

// A line the user does not control (a chat message of capitals) must not switch a pattern off for
// the lines after it: every line has its own time. What a mandatory pattern could not rule out is
// hidden whole; a suggested pattern only loses that line.
TEST(PIIDetectorTest, ALineAPatternCannotFinishCostsOnlyThatLine) {
    const QString shouting = "ABCDEFGHIJKLMNOPQRSTUVWXYZABCDEFGHI"; // 35 capitals, no digits
    ASSERT_EQ(shouting.size(), 35);
    const QString hostile = "\\b(?:[A-Z]+-?)+[0-9]{4}\\b";
    struct Case {
        PatternAction action;
        QStringList names;
        QString diagnostic;
    };
    const Case cases[] = {
        {PatternAction::blurMandatory,
         {"employee-id:" + shouting, "employee-id:EMP-4711", "employee-id:" + shouting + "!", "employee-id:ACME-0042"},
         "custom pattern 'employee-id' could not finish 2 lines (match timed out); hidden whole as mandatory findings"},
        {PatternAction::blurSuggested,
         {"employee-id:EMP-4711", "employee-id:ACME-0042"},
         "custom pattern 'employee-id' skipped 2 lines: match timed out"},
    };
    for (const Case& c : cases) {
        const DetectionResult result =
            detectOver({line(shouting, 50), line("badge EMP-4711 at the desk", 100), line(shouting + "!", 150),
                        line("ACME-0042", 200)},
                       {{"employee-id", hostile, c.action}});
        EXPECT_EQ(namesOf(result), c.names) << rawValue(c.action).toStdString();
        EXPECT_EQ(result.diagnostics, QStringList{c.diagnostic});
        EXPECT_EQ(result.unfinished, (std::vector<UnfinishedPattern>{{"employee-id", c.action, 2}}));
        for (const Detection& d : result.detections) EXPECT_EQ(d.action(), c.action);
        if (c.action == PatternAction::blurMandatory) {
            // The whole line, as the recogniser boxed it, grown like every finding.
            EXPECT_TRUE(sameBox(result.detections.front().boundingBox(), Support::Rect(96, 46, 350 + 8, 28)));
        }
    }
}

TEST(PIIDetectorTest, BuiltInDetectorsAreNeverSkippedAfterAnOddWord) {
    const QString hostile = QString(8000, QLatin1Char('a')) + "@" + QString(3000, QLatin1Char('b'));
    const DetectionResult result = detectOver({line(hostile, 100, 0), line("write to jane@example.org", 200)}, {});
    EXPECT_TRUE(result.diagnostics.isEmpty()) << result.diagnostics.join('|').toStdString();
    EXPECT_EQ(namesOf(result), QStringList{"email:jane@example.org"});
}

// Searching near each "@" finds what the expression finds over the whole line.
TEST(PIIDetectorTest, EmailMatchesAreThoseOfTheWholeExpression) {
    const char* const lines[] = {
        "a@b.com@c.org",      "x@y.z@w.io and p@q.de", "@@a@b.cc",          "first.last+tag@mail.example.co.uk,",
        "a@b@c.de",           "trailing@dot.",         "one@two.com;three@four.net", "mid@d.com.x@e.org",
    };
    const auto& email = PIIDetector::builtins().front();
    ASSERT_EQ(email.name, "email");
    for (const char* text : lines) {
        QStringList expected;
        for (const auto& r : email.regex.findAll(QString::fromLatin1(text), std::chrono::seconds(1)).ranges)
            expected.append("email:" + QString::fromLatin1(text).mid(r.start, r.length));
        QStringList found;
        for (const QString& name : namesOf(detectOver({line(QString::fromLatin1(text))}, {})))
            if (name.startsWith("email:")) found.append(name);
        EXPECT_EQ(found, expected) << text;
    }
}

// A slash or an at sign read for the last digit of an address's local part in a monospaced face.
TEST(PIIDetectorTest, AnAddressWithADigitReadAsASlashOrAnAtSignIsFoundWhole) {
    const std::pair<const char*, QStringList> cases[] = {
        {"user=wei.zhang/0@fabrikam.io phone=1", {"email:wei.zhang/0@fabrikam.io"}},
        {"for emma.schulz/@contoso.org from", {"email:emma.schulz/@contoso.org"}},
        {"for wei.zhang3/7@corp.example.net from", {"email:wei.zhang3/7@corp.example.net"}},
        {"user=dana/O@Gexample.com", {"email:dana/O@Gexample.com"}},
        {"to=<dana7@@example.com>,", {"email:dana7@@example.com"}}, // a zero read as an at sign
        {"see src/app@example.com", {"email:app@example.com"}}, // a path: a letter after the slash
        {"@@ -1,4 +1,5 @@", {}},
        {"a/b/", {}},
    };
    for (const auto& [text, expected] : cases) {
        QStringList found;
        for (const QString& name : namesOf(detectOver({line(QString::fromLatin1(text))}, {})))
            if (name.startsWith("email:")) found.append(name);
        EXPECT_EQ(found, expected) << text;
    }
    // The box covers the whole address from its key's "=", reaching 4 px into the key.
    const DetectionResult result = detectOver({line("user=wei.zhang/0@fabrikam.io")}, {});
    const Detection* d = find(result, "email");
    ASSERT_NE(d, nullptr);
    EXPECT_TRUE(sameBox(d->boundingBox(), Support::Rect(140 - 4 - 4, 96, 380 + 4 - 132, 28)));
}

TEST(PIIDetectorTest, LuhnDecidesCardDetections) {
    struct Case {
        const char* text;
        bool card;
    };
    const Case cases[] = {
        {"4111 1111 1111 1111", true},
        {"4111 1111 1111 1112", false},
        {"4111 1111 1111 111S", true},
        {"1234567890123456", false},
    };
    for (const Case& c : cases) {
        const DetectionResult result = detectOver({line(c.text)}, {{"digits", "[0-9]{4}", PatternAction::blurMandatory}});
        EXPECT_EQ(find(result, "card") != nullptr, c.card) << c.text;
        EXPECT_NE(find(result, "digits"), nullptr) << c.text; // other detectors still see the text
    }
}

TEST(PIIDetectorTest, BoxCoversTheMatchNotTheRestOfItsToken) {
    // 10 px per character from x = 100 in 20 px tall glyphs. The box covers the match widened up
    // to a delimiter; where a glyph is glued to that, it reaches a fifth of the height (4 px)
    // into it; every box grows by 4 px.
    struct Case {
        const char* text;
        const char* detector;
        const char* matched;
        double left, right; // the widened characters' extent before growing
        double reachLeft, reachRight;
    };
    const Case cases[] = {
        {"call 555-123-4567, later", "phone", "555-123-4567", 150, 280, 0, 0},
        {"call (415) 555-0132 now", "phone", "415) 555-0132", 150, 290, 0, 0},
        {"https://10.1.2.3/x", "ipv4", "10.1.2.3", 170, 270, 4, 4},
        {"relay=host[10.1.2.3]:25", "ipv4", "10.1.2.3", 200, 300, 4, 4},
        {"see 10.1.2.3 now", "ipv4", "10.1.2.3", 140, 220, 0, 0},
    };
    for (const Case& c : cases) {
        const DetectionResult result = detectOver({line(QString::fromLatin1(c.text), 100)}, {});
        const Detection* d = find(result, QString::fromLatin1(c.detector));
        ASSERT_NE(d, nullptr) << c.text;
        EXPECT_EQ(d->matchedText(), QString::fromLatin1(c.matched));
        const double left = c.left - c.reachLeft - 4, right = c.right + c.reachRight + 4;
        EXPECT_TRUE(sameBox(d->boundingBox(), Support::Rect(left, 96, right - left, 28))) << c.text;
    }
}

// A line read across the wrap of a narrow column: its glyphs lie on two rows. Each row of a match
// has a box of its own, never one spanning both rows and the whole column.
TEST(PIIDetectorTest, AMatchOnTwoRowsGetsABoxPerRow) {
    const QString text = "mail jane.doe@example.com";
    RecognizedLine wrapped = line(text, 100);
    // "mail jane.doe@" stays on the first row; "example.com" goes to the row below, at the left.
    const qsizetype wrap = text.indexOf('e', text.indexOf('@'));
    for (GlyphBox& g : wrapped.glyphs)
        if (g.start >= wrap)
            g.box = ImageBoxes::normalized(Support::Rect(100 + 10.0 * double(g.start - wrap), 124, 10, 20), W, H);
    const DetectionResult result = detectOver({wrapped}, {});
    ASSERT_EQ(namesOf(result), (QStringList{"email:jane.doe@example.com", "email:jane.doe@example.com"}));
    EXPECT_TRUE(sameBox(result.detections[0].boundingBox(), Support::Rect(150 - 4, 96, 90 + 8, 28)));
    EXPECT_TRUE(sameBox(result.detections[1].boundingBox(), Support::Rect(100 - 4, 120, 110 + 8, 28)));
}

// A one-letter part of an address read as a bar is the letter: the address is found whole.
TEST(PIIDetectorTest, ABarInsideAnAddressIsALetterOfIt) {
    const DetectionResult result = detectOver({line("user al.|@contoso.net; a | b@x.com")}, {});
    EXPECT_EQ(namesOf(result), (QStringList{"email:al.|@contoso.net", "email:b@x.com"}));
}

// A terminal wraps a long line at its last column, inside an address as anywhere: the row that
// reaches the right edge of its block goes on in the row below that starts at its left edge.
TEST(PIIDetectorTest, AnAddressATerminalWrapsIsFoundOnBothRows) {
    struct Row {
        const char* text;
        double x, y;
    };
    const std::pair<std::vector<Row>, QStringList> cases[] = {
        {{{"for the billing reply to <birgi", 100, 100}, {"t.varga3@contoso.net> before", 100, 124}},
         QStringList(2, "email:birgit.varga3@contoso.net")},
        // The first row read in two pieces.
        {{{"Dec 8 09:14", 100, 100}, {"from=<jonas.osei", 250, 100}, {"8@northwind-mail.com>, proto", 100, 124}},
         QStringList(2, "email:jonas.osei8@northwind-mail.com")},
        // Not at the right edge; not at the left edge; off the character grid of the row above (a
        // proportional face); a blank row between; two addresses.
        {{{"to=<ruth.okafor3@northwind", 100, 100}, {"-mail.com> sent to the relay", 100, 124}}, {}},
        {{{"to=<ruth.okafor3@northwind", 100, 100}, {"-mail.com> sent", 150, 124}}, {}},
        {{{"to=<ruth.okafor3@northwind", 100, 100}, {"-mail.com> sent", 105, 124}}, {}},
        {{{"to=<ruth.okafor3@northwind", 100, 100}, {"-mail.com> sent", 100, 148}}, {}},
        {{{"l.al@fabrikam.io", 100, 100}, {"L@northwind.de", 100, 124}}, {"email:l.al@fabrikam.io", "email:L@northwind.de"}},
        // A number that ends a full row is still a number when the row below starts with an address.
        {{{"call 555-123-4567", 100, 100}, {"a@b.com now", 100, 124}},
         {"email:555-123-4567a@b.com", "email:555-123-4567a@b.com", "phone:555-123-4567"}},
    };
    for (const auto& [rows, names] : cases) {
        std::vector<RecognizedLine> lines;
        for (const Row& row : rows) lines.push_back(line(QString::fromLatin1(row.text), row.y, row.x));
        EXPECT_EQ(namesOf(detectOver(lines, {})), names) << rows.front().text;
    }
    // Each part is boxed on its own row: from the "<" (reaching into the "=" before it) to the
    // edge, and from the left edge to the ">".
    const DetectionResult result = detectOver({line("mail to=<ruth.okafor3@northwind", 100), line("-mail.com> sent", 124)}, {});
    ASSERT_EQ(namesOf(result), QStringList(2, "email:ruth.okafor3@northwind-mail.com"));
    EXPECT_TRUE(sameBox(result.detections[0].boundingBox(), Support::Rect(176 - 4, 96, 410 - 176 + 8, 28)));
    EXPECT_TRUE(sameBox(result.detections[1].boundingBox(), Support::Rect(100 - 4, 120, 100 + 8, 28)));
}

// A glyph the recogniser gave several characters (a whole word) is split by its characters, with
// one character more on either side of those the box takes.
TEST(PIIDetectorTest, AGlyphOfSeveralCharactersIsSplitByThem) {
    RecognizedLine merged = line("ab host=10.1.2.3", 100);
    // "host=10.1.2.3" as one glyph from x = 130 to 260, thirteen characters of 10 px.
    std::erase_if(merged.glyphs, [](const GlyphBox& g) { return g.start >= 3; });
    merged.glyphs.push_back({3, 13, ImageBoxes::normalized(Support::Rect(130, 100, 130, 20), W, H)});
    const DetectionResult result = detectOver({merged}, {});
    ASSERT_EQ(namesOf(result), QStringList{"ipv4:10.1.2.3"});
    // "=10.1.2.3" and the "t" before it: x = 160 to 260.
    EXPECT_TRUE(sameBox(result.detections[0].boundingBox(), Support::Rect(160 - 4, 96, 100 + 8, 28)));
}

TEST(PIIDetectorTest, BoxesGrowByFourPixelsAndAreClippedToTheImage) {
    struct Case {
        const char* description;
        Support::Rect pixels;
        Support::Rect expected;
    };
    const Case cases[] = {
        {"inside", Support::Rect(100, 100, 50, 20), Support::Rect(96, 96, 58, 28)},
        {"touching the left edge", Support::Rect(0, 100, 50, 20), Support::Rect(0, 96, 54, 28)},
        {"touching the top edge", Support::Rect(100, 0, 50, 20), Support::Rect(96, 0, 58, 24)},
        {"touching the right and bottom edges", Support::Rect(950, 480, 50, 20), Support::Rect(946, 476, 54, 24)},
        {"the whole image", Support::Rect(0, 0, W, H), Support::Rect(0, 0, W, H)},
    };
    for (const Case& c : cases) {
        // Without glyph boxes the line's own box stands in for the match's.
        const DetectionResult text = detectOver({lineWithoutGlyphs("10.0.0.1", c.pixels, W, H)}, {});
        ASSERT_EQ(text.detections.size(), 1u) << c.description;
        EXPECT_TRUE(sameBox(text.detections[0].boundingBox(), c.expected)) << c.description;

        const DetectionResult face = detectOver({}, {}, {ImageBoxes::normalized(c.pixels, W, H)});
        ASSERT_EQ(face.detections.size(), 1u);
        EXPECT_TRUE(sameBox(face.detections[0].boundingBox(), c.expected)) << c.description;
        EXPECT_EQ(face.detections[0].detectorName(), "face");
        EXPECT_EQ(face.detections[0].matchedText(), "");
    }
}

// A match that fails its check (a card number's Luhn sum, an IBAN's check digits) hides no match
// that passes: neither one that starts later in it, nor a shorter one from the same start.
TEST(PIIDetectorTest, ARejectedCandidateHidesNoValidMatch) {
    struct Case {
        const char* text;
        QStringList names;
    };
    const Case cases[] = {
        {"215-88-2784 4879-1831-3939-3403", {"ssn:215-88-2784", "card:4879-1831-3939-3403"}},
        {"Order 1234 5678 4111 1111 1111 1111", {"card:4111 1111 1111 1111"}},
        {"4111 1111 1111 1111 12/27", {"card:4111 1111 1111 1111 "}}, // the pattern takes the separator
        {"card 4111 1111 1111 1111", {"card:4111 1111 1111 1111"}},
        {"Ref 1234 5678 9012 3456 7890", {}},
        {"IBAN 1T60X0542811101000000123456", {"iban:1T60X0542811101000000123456"}},
        {"IBAN $E4550000000058398257466 and IE29AIBK93115212345678",
         {"iban:$E4550000000058398257466", "iban:IE29AIBK93115212345678"}},
        {"IBAN 1T61X0542811101000000123456", {}},
        {"IBAN x1T60X0542811101000000123456", {}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(namesOf(detectOver({line(QString::fromUtf8(c.text))}, {})), c.names) << c.text;
}

TEST(PIIDetectorTest, MatchesNeverSplitACharacter) {
    // The custom pattern matches only the base letter of "é" (e + combining acute): the
    // detection takes the whole character.
    const DetectionResult result = detectOver({line(QStringLiteral("cafe e\u0301"))}, {{"e", "e", PatternAction::blurMandatory}});
    EXPECT_EQ(namesOf(result), (QStringList{"e:e", QStringLiteral("e:e\u0301")}));
}

TEST(PIIDetectorTest, RecognitionFailureIsThrownWithoutAResult) {
    auto text = std::make_shared<FakeTextRecognizer>();
    text->failure = "engine missing";
    PIIDetector detector(text, std::make_shared<FakeFaceDetector>());
    EXPECT_THROW(detector.detect(blankImage(), {}), RecognitionError);
    EXPECT_THROW(detector.detect(QImage(), {}), RecognitionError);
}
