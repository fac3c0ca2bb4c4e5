#pragma once

#include <QString>
#include <vector>

namespace DetectionKit {

// The user-perceived characters (extended grapheme clusters) of a text, as UTF-16 boundaries.
// Detection works on whole characters: a match is widened and boxed in characters, never in
// halves of a surrogate pair or apart from its combining marks.
class Characters {
public:
    explicit Characters(const QString& text);

    const QString& text() const { return text_; }

    // The nearest boundary at or before / at or after a UTF-16 offset.
    qsizetype boundaryAtOrBefore(qsizetype offset) const;
    qsizetype boundaryAtOrAfter(qsizetype offset) const;

    // True when the character starting at boundary `offset` is whitespace (ICU's White_Space
    // property of its first code point).
    bool isWhitespaceAt(qsizetype offset) const;
    // The boundary before / after the character at `offset`.
    qsizetype previousBoundary(qsizetype offset) const;
    qsizetype nextBoundary(qsizetype offset) const;

private:
    QString text_;
    std::vector<qsizetype> boundaries_; // ascending, from 0 to the text's length
};

// Characters that set a value apart inside a longer token: brackets, quotes, slashes, colons, equals
// and at signs ("https://10.1.2.3/x", "relay=host[10.1.2.3]:25", "\"jane@example.com\",",
// "user=jane@example.com"). A dot, comma, hyphen or underscore is not one of them: recognition reads
// those in place of one another inside an item ("jane@example,com").
bool isValueDelimiter(QChar c);

} // namespace DetectionKit
