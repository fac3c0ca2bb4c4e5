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
};

// Wherever a digit is expected, "OoIlBS" are accepted too: text recognition reads them in place
// of 0, 0, 1, 1, 8 and 5. In the grouped shapes of social security and phone numbers so is "T",
// read for a 1 or a 7 whose stroke meets a busy backdrop (a notification card over a wallpaper);
// the card and IBAN shapes, long runs of letters and digits, leave it out.
constexpr BuiltinRow kTable[] = {
    {u"email", uR"([A-Za-z0-9._%+-]+@[A-Za-z0-9.-]+\.[A-Za-z]{2,})", false, u'@'},
    {u"ssn", uR"(\b[0-9OoIlBST]{3}-[0-9OoIlBST]{2}-[0-9OoIlBST]{4}\b)", false, 0},
    {u"phone", uR"(\b(?:\+?1[-. ]?)?\(?[0-9OoIlBST]{3}\)?[-. ][0-9OoIlBST]{3}[-. ][0-9OoIlBST]{4}\b)", false, 0},
    {u"card", uR"(\b(?:[0-9OoIlBS][ -]?){13,19}\b)", true, 0},
    {u"iban", uR"(\b[A-Z]{2}[0-9OoIlBS]{2}[A-Z0-9]{11,30}\b)", false, 0},
    {u"ipv4", uR"(\b(?:[0-9OoIlBS]{1,3}\.){3}[0-9OoIlBS]{1,3}\b)", false, 0},
};

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
        detectors.push_back({QString::fromUtf16(row.name), PatternAction::blurSuggested, std::move(*regex), row.luhn,
                             QChar(row.anchor)});
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

} // namespace

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
    qsizetype lower = range.start;
    while (lower > 0) {
        const qsizetype previous = characters.previousBoundary(lower);
        if (characters.isWhitespaceAt(previous)) break;
        lower = previous;
    }
    qsizetype upper = range.end;
    const qsizetype length = characters.text().size();
    while (upper < length && !characters.isWhitespaceAt(upper)) upper = characters.nextBoundary(upper);
    return {lower, upper};
}

} // namespace DetectionKit
