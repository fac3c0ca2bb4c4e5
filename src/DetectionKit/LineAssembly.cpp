#include "DetectionKit/LineAssembly.h"

#include "DetectionKit/Characters.h"

#include <algorithm>
#include <optional>
#include <cmath>

namespace DetectionKit::LineAssembly {

namespace {

// A break narrower than this share of the character pitch is no space. In proportional text a
// space after a full stop is about 0.75 of the pitch; in monospaced text a space is a whole empty
// cell, while beside a dot about half a cell is blank.
constexpr double kJoinableGapInPitches = 0.55;
constexpr double kJoinableMonospacedGapInPitches = 0.9;
// Less blank than this between two words is no space whatever the glyphs: the engine split there
// and lost what stood between (a full stop in 10-12 px text gives "joe jay@example.com").
constexpr double kNeverASpaceInPitches = 0.3;

// In a word with more glyphs than cells, two glyphs whose boxes start closer than this, and
// together are no wider than about one cell, are one character read twice.
constexpr double kRepeatWithinPitches = 0.75;
constexpr double kRepeatSpanInPitches = 1.15;
// A glyph's centre this far from a cell's centre is off the grid of monospaced text.
constexpr double kOffGridInPitches = 0.2;

bool isJoiner(const QString& glyph) {
    return glyph == QLatin1String(".") || glyph == QLatin1String("@") || glyph == QLatin1String("-");
}

std::vector<double> centreDistances(const std::vector<Word>& words) {
    std::vector<double> distances;
    for (const Word& word : words)
        for (size_t i = 1; i < word.size(); ++i) distances.push_back(word[i].box.midX() - word[i - 1].box.midX());
    return distances;
}

// The median distance between the centres of neighbouring glyphs inside words.
double characterPitch(std::vector<double> distances) {
    if (distances.empty()) return 0;
    std::nth_element(distances.begin(), distances.begin() + long(distances.size() / 2), distances.end());
    return distances[distances.size() / 2];
}

// The share of glyphs whose centres sit on one grid of `pitch`, each word on its own. In monospaced
// text every character, a hyphen or a full stop too, has a whole cell; in a proportional font whose
// digits share one width (tabular digits) neighbouring digits are one pitch apart, but the digits
// after a narrower hyphen are off the grid of those before it.
double shareOnGrid(const std::vector<Word>& words, double pitch) {
    long all = 0, onGrid = 0;
    for (const Word& word : words) {
        if (word.size() < 2) continue;
        long best = 0;
        for (const Glyph& origin : word) {
            const long count = std::count_if(word.begin(), word.end(), [&](const Glyph& g) {
                const double cells = (g.box.midX() - origin.box.midX()) / pitch;
                return std::abs(cells - std::round(cells)) <= kOffGridInPitches;
            });
            best = std::max(best, count);
        }
        all += long(word.size());
        onGrid += best;
    }
    return all == 0 ? 0 : double(onGrid) / double(all);
}

// Most neighbouring glyphs one pitch apart, give or take a little, and most glyphs on one grid.
bool isMonospaced(const std::vector<Word>& words, const std::vector<double>& distances, double pitch) {
    if (distances.size() < 4 || pitch <= 0) return false;
    const auto regular = std::count_if(distances.begin(), distances.end(),
                                       [pitch](double d) { return std::abs(d - pitch) <= 0.15 * pitch; });
    return double(regular) >= 0.75 * double(distances.size()) && shareOnGrid(words, pitch) >= 0.75;
}

bool joined(const Word& before, const Word& after, double blank, double pitch, bool monospaced) {
    if (before.empty() || after.empty() || pitch <= 0) return false;
    if (blank < kNeverASpaceInPitches * pitch) return true;
    if (!isJoiner(before.back().text) && !isJoiner(after.front().text)) return false;
    return blank < (monospaced ? kJoinableMonospacedGapInPitches : kJoinableGapInPitches) * pitch;
}

} // namespace

Spacing spacingOf(const std::vector<Word>& words) {
    const std::vector<double> distances = centreDistances(words);
    const double pitch = characterPitch(distances);
    return {pitch, isMonospaced(words, distances, pitch)};
}

void dropRepeatsInACell(std::vector<Word>& fitted, std::vector<Word>& raw, const Spacing& spacing) {
    if (!spacing.monospaced || fitted.size() != raw.size()) return;
    const double pitch = spacing.pitch;
    for (size_t k = 0; k < fitted.size(); ++k) {
        Word& word = fitted[k];
        Word& engine = raw[k];
        if (word.size() < 2 || word.size() != engine.size()) continue;
        // The ink of n characters spans n cells less the side bearings of the first and the last,
        // which are at most about a third of a cell each for narrow glyphs (".", "1", ";").
        const double span = word.back().box.maxX() - word.front().box.minX();
        const auto cells = size_t(std::max(1L, std::lround(span / pitch + 0.35)));
        while (word.size() > cells) {
            size_t crowded = 0;
            double closest = kRepeatWithinPitches * pitch;
            for (size_t i = 1; i < engine.size(); ++i) {
                const double step = engine[i].box.minX() - engine[i - 1].box.minX();
                const double span = std::max(engine[i].box.maxX(), engine[i - 1].box.maxX()) - engine[i - 1].box.minX();
                // A full stop, an at sign or a hyphen is no repeat of its neighbour, however the
                // engine boxed it ("joe." with the stop's box squeezed against the "e").
                if (isJoiner(engine[i].text) || isJoiner(engine[i - 1].text)) continue;
                if (step < closest && span <= kRepeatSpanInPitches * pitch) {
                    closest = step;
                    crowded = i;
                }
            }
            // An at sign read twice, as itself and as the "G" it looks like in small monospaced
            // text ("kim10G@example.com", "carla4@Gexample.com"): the letter goes.
            for (size_t i = 1; crowded == 0 && i < engine.size(); ++i) {
                const bool atSignBeside = engine[i - 1].text == QLatin1String("@") ||
                                          (i + 1 < engine.size() && engine[i + 1].text == QLatin1String("@"));
                if (engine[i].text == QLatin1String("G") && atSignBeside) crowded = i;
            }
            if (crowded == 0) break;
            word.erase(word.begin() + long(crowded));
            engine.erase(engine.begin() + long(crowded));
        }
    }
}

void moveLines(std::vector<PixelLine>& lines, double dx, double dy) {
    for (PixelLine& line : lines) {
        line.box = line.box.offsetBy(dx, dy);
        for (PixelGlyph& glyph : line.glyphs) glyph.box = glyph.box.offsetBy(dx, dy);
    }
}

PixelLine assemble(const std::vector<Word>& words, const std::vector<double>& blankAfter) {
    PixelLine line;
    const auto [pitch, monospaced] = spacingOf(words);
    const Word* previous = nullptr;
    for (size_t k = 0; k < words.size(); ++k) {
        const Word& word = words[k];
        if (word.empty()) continue;
        if (previous) {
            const double blank = k - 1 < blankAfter.size() ? blankAfter[k - 1]
                                                           : word.front().box.minX() - previous->back().box.maxX();
            if (!joined(*previous, word, blank, pitch, monospaced)) line.text.append(QLatin1Char(' '));
        }
        for (const Glyph& glyph : word) {
            line.glyphs.push_back({line.text.size(), glyph.text.size(), glyph.box});
            line.box = line.box.united(glyph.box);
            line.text.append(glyph.text);
        }
        previous = &word;
    }
    return line;
}

namespace {

bool isLocalPartCharacter(QChar c) {
    return (c.unicode() < 128 && c.isLetterOrNumber()) || QStringLiteral("._%+-").contains(c);
}

bool isLocalPart(QStringView text) {
    return !text.isEmpty() && std::all_of(text.begin(), text.end(), isLocalPartCharacter);
}

bool isDomain(QStringView text) {
    const qsizetype dot = text.lastIndexOf(QLatin1Char('.'));
    if (dot <= 0 || text.size() - dot - 1 < 2) return false;
    const bool allowed = std::all_of(text.begin(), text.end(), [](QChar c) {
        return (c.unicode() < 128 && c.isLetterOrNumber()) || c == QLatin1Char('.') || c == QLatin1Char('-');
    });
    const QStringView last = text.mid(dot + 1);
    return allowed && std::all_of(last.begin(), last.end(), [](QChar c) { return c.unicode() < 128 && c.isLetter(); });
}

// The word's text, without the quotes, brackets and punctuation an address is often glued to.
QString core(const QString& text, qsizetype& start) {
    const QString edges = QStringLiteral("\"'\u201c\u201d\u2018\u2019<>()[]{},;:");
    qsizetype from = 0, to = text.size();
    while (from < to && edges.contains(text.at(from))) ++from;
    while (to > from && edges.contains(text.at(to - 1))) --to;
    start = from;
    return text.mid(from, to - from);
}

QString textOf(const Word& word) {
    QString text;
    for (const Glyph& glyph : word) text.append(glyph.text);
    return text;
}

// Where the local part of an address whose at sign is at `at` can begin: after the key or bracket
// it is glued to ("user=", "to=<", "mailto:").
qsizetype localPartStart(QStringView text, qsizetype at) {
    while (at > 0 && !isValueDelimiter(text.at(at - 1))) --at;
    return at;
}

// Whether the text holds an address as the e-mail detector takes it: a local part after the last
// delimiter, an at sign, and a domain that ends the word.
bool holdsAddress(const QString& text) {
    qsizetype offset = 0;
    const QString inner = core(text, offset);
    const qsizetype at = inner.lastIndexOf(QLatin1Char('@'));
    if (at <= 0) return false;
    const qsizetype from = localPartStart(inner, at);
    return isLocalPart(QStringView(inner).mid(from, at - from)) && isDomain(QStringView(inner).mid(at + 1));
}

// The first glyph of the word, among those `candidate` accepts, that read as "@" would make the
// word an address; none in a word that has its at sign.
template <typename Candidate>
std::optional<size_t> atSignGlyph(const Word& word, Candidate candidate) {
    QString text;
    std::vector<qsizetype> starts;
    for (const Glyph& glyph : word) {
        starts.push_back(text.size());
        text.append(glyph.text);
    }
    if (text.contains(QLatin1Char('@'))) return std::nullopt;
    qsizetype offset = 0;
    const QString inner = core(text, offset);
    for (size_t g = 0; g < word.size(); ++g) {
        if (!candidate(word[g])) continue;
        const qsizetype at = starts[g] - offset;
        if (at <= 0 || at >= inner.size()) continue;
        const qsizetype from = localPartStart(inner, at);
        if (isLocalPart(QStringView(inner).mid(from, at - from)) &&
            isDomain(QStringView(inner).mid(at + word[g].text.size())))
            return g;
    }
    return std::nullopt;
}

// An at sign followed by a whole domain, with a second at sign or a slash among the local part's
// characters before it: a digit the engine read as one of those ("dana7@@example.com",
// "lee.k/0@example.com").
bool strayInLocalPart(const QString& text) {
    qsizetype offset = 0;
    const QString inner = core(text, offset);
    const qsizetype at = inner.lastIndexOf(QLatin1Char('@'));
    if (at <= 0 || !isDomain(QStringView(inner).mid(at + 1))) return false;
    const auto stray = [](QChar c) { return c == QLatin1Char('@') || c == QLatin1Char('/'); };
    qsizetype from = at;
    while (from > 0 && (isLocalPartCharacter(inner.at(from - 1)) || stray(inner.at(from - 1)))) --from;
    const QStringView local = QStringView(inner).mid(from, at - from);
    return std::any_of(local.begin(), local.end(), stray) && std::any_of(local.begin(), local.end(), isLocalPartCharacter);
}

bool isSymbolForZero(QChar c) { return c == QLatin1Char('@') || c == QChar(0x00AE); }

// A zero whose small loop the engine read as "@" or "®" in a word that holds no address: the
// symbol beside a digit or a dot ("1@.221.190.147", "@9:03:19").
bool zeroReadAsSymbol(const QString& text) {
    if (holdsAddress(text)) return false;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (!isSymbolForZero(text.at(i))) continue;
        const bool digitBefore = i > 0 && text.at(i - 1).isDigit();
        const bool digitAfter = i + 1 < text.size() && text.at(i + 1).isDigit();
        const bool dotAfter = i + 1 < text.size() && text.at(i + 1) == QLatin1Char('.');
        if (digitAfter || (digitBefore && dotAfter)) return true;
    }
    return false;
}

// Whether `better` is `text` with each symbol read for a zero either replaced by a digit or left
// out (the zero read twice, as the symbol and itself: "1®0.67"), and nothing else changed.
bool zeroesRead(const QString& text, const QString& better) {
    if (text == better) return false;
    // Each symbol becomes one digit or none: never longer, never shorter than by its symbols. A
    // long token (a hash, a key) is thus compared only with a reading of its own length.
    const auto symbols = std::count_if(text.begin(), text.end(), isSymbolForZero);
    if (better.size() > text.size() || better.size() < text.size() - symbols) return false;
    // fits[i][j]: the text from i reads as `better` from j.
    const size_t n = size_t(text.size()), m = size_t(better.size());
    std::vector<std::vector<char>> fits(n + 1, std::vector<char>(m + 1, 0));
    fits[n][m] = 1;
    for (size_t i = n; i-- > 0;)
        for (size_t j = m + 1; j-- > 0;) {
            const QChar c = text.at(qsizetype(i));
            const bool same = j < m && better.at(qsizetype(j)) == c && fits[i + 1][j + 1];
            const bool symbol = isSymbolForZero(c) && (fits[i + 1][j] || (j < m && better.at(qsizetype(j)).isDigit() && fits[i + 1][j + 1]));
            fits[i][j] = same || symbol;
        }
    return fits[0][0];
}

// Whether the word looks like an address the engine misread: one that a glyph read as "@" would
// make an address, or one with a stray at sign or slash in its local part.
bool looksLikeMisreadAddress(const Word& word) {
    const QString text = textOf(word);
    if (holdsAddress(text)) return false;
    return atSignGlyph(word, [](const Glyph&) { return true; }).has_value() || strayInLocalPart(text);
}

// The columns and the rows a word's glyphs take: left, right, top, bottom.
struct Extent {
    double left, right, top, bottom;
};
Extent extentOf(const Word& word) {
    Extent e{word.front().box.minX(), word.front().box.maxX(), word.front().box.minY(), word.front().box.maxY()};
    for (const Glyph& glyph : word) {
        e.left = std::min(e.left, glyph.box.minX());
        e.right = std::max(e.right, glyph.box.maxX());
        e.top = std::min(e.top, glyph.box.minY());
        e.bottom = std::max(e.bottom, glyph.box.maxY());
    }
    return e;
}

// Two readings of one word cover nearly the same columns: the engine's boxes of the first and the
// last glyph can be off by a cell or so.
constexpr double kSameWordOverlap = 0.8;

bool sameWord(const Word& a, const Word& b) {
    const Extent x = extentOf(a), y = extentOf(b);
    const double overlap = std::min(x.right, y.right) - std::max(x.left, y.left);
    const double wider = std::max(x.right - x.left, y.right - y.left);
    if (wider <= 0 || overlap < kSameWordOverlap * wider) return false;
    // On the same line: each word's middle lies within the other's rows.
    const double xMid = (x.top + x.bottom) / 2, yMid = (y.top + y.bottom) / 2;
    return xMid >= y.top && xMid <= y.bottom && yMid >= x.top && yMid <= x.bottom;
}

} // namespace

void readAtSigns(std::vector<Word>& words) {
    for (Word& word : words)
        if (const auto g = atSignGlyph(word, [](const Glyph& glyph) { return glyph.couldBeAt; }))
            word[*g].text = QStringLiteral("@");
}

bool mayHideAtSign(const std::vector<Word>& words) {
    return std::any_of(words.begin(), words.end(), [](const Word& word) {
        return atSignGlyph(word, [](const Glyph&) { return true; }).has_value();
    });
}

bool mayBeMisread(const std::vector<Word>& words) {
    return std::any_of(words.begin(), words.end(),
                       [](const Word& word) { return looksLikeMisreadAddress(word) || zeroReadAsSymbol(textOf(word)); });
}

void takeBetterReadings(std::vector<Word>& words, const std::vector<std::vector<Word>>& other) {
    for (Word& word : words) {
        if (word.empty()) continue;
        const QString text = textOf(word);
        const bool address = looksLikeMisreadAddress(word);
        if (!address && !zeroReadAsSymbol(text)) continue;
        const auto better = [&](const Word& o) {
            if (o.empty() || !sameWord(word, o)) return false;
            const QString reading = textOf(o);
            return address ? holdsAddress(reading) : zeroesRead(text, reading);
        };
        for (const std::vector<Word>& line : other) {
            const auto same = std::find_if(line.begin(), line.end(), better);
            if (same == line.end()) continue;
            word = *same;
            break;
        }
    }
}

} // namespace DetectionKit::LineAssembly
