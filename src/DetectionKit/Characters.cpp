#include "DetectionKit/Characters.h"

#include <algorithm>
#include <memory>

#include <unicode/brkiter.h>
#include <unicode/uchar.h>
#include <unicode/unistr.h>

namespace DetectionKit {

Characters::Characters(const QString& text) : text_(text) {
    boundaries_.push_back(0);
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<icu::BreakIterator> it(icu::BreakIterator::createCharacterInstance(icu::Locale::getRoot(), status));
    if (U_SUCCESS(status) && it) {
        const icu::UnicodeString alias(false, reinterpret_cast<const UChar*>(text_.utf16()),
                                       static_cast<int32_t>(text_.size()));
        it->setText(alias);
        for (int32_t b = it->next(); b != icu::BreakIterator::DONE; b = it->next()) boundaries_.push_back(b);
    } else {
        // Without ICU's rules fall back to code points, which still never split a surrogate pair.
        for (qsizetype i = 0; i < text_.size();) {
            i += (text_.at(i).isHighSurrogate() && i + 1 < text_.size()) ? 2 : 1;
            boundaries_.push_back(i);
        }
    }
    if (boundaries_.back() != text_.size()) boundaries_.push_back(text_.size());
}

qsizetype Characters::boundaryAtOrBefore(qsizetype offset) const {
    auto it = std::upper_bound(boundaries_.begin(), boundaries_.end(), offset);
    return it == boundaries_.begin() ? 0 : *std::prev(it);
}

qsizetype Characters::boundaryAtOrAfter(qsizetype offset) const {
    auto it = std::lower_bound(boundaries_.begin(), boundaries_.end(), offset);
    return it == boundaries_.end() ? text_.size() : *it;
}

qsizetype Characters::previousBoundary(qsizetype offset) const {
    auto it = std::lower_bound(boundaries_.begin(), boundaries_.end(), offset);
    return it == boundaries_.begin() ? 0 : *std::prev(it);
}

qsizetype Characters::nextBoundary(qsizetype offset) const {
    auto it = std::upper_bound(boundaries_.begin(), boundaries_.end(), offset);
    return it == boundaries_.end() ? text_.size() : *it;
}

bool Characters::isWhitespaceAt(qsizetype offset) const {
    if (offset < 0 || offset >= text_.size()) return false;
    char32_t codePoint = text_.at(offset).unicode();
    if (QChar::isHighSurrogate(codePoint) && offset + 1 < text_.size() && text_.at(offset + 1).isLowSurrogate())
        codePoint = QChar::surrogateToUcs4(text_.at(offset), text_.at(offset + 1));
    return u_hasBinaryProperty(static_cast<UChar32>(codePoint), UCHAR_WHITE_SPACE);
}

bool isValueDelimiter(QChar c) {
    static const QString delimiters = QStringLiteral("()[]{}<>\"'`/\\|:=@\u2018\u2019\u201C\u201D\u00AB\u00BB");
    return delimiters.contains(c);
}

} // namespace DetectionKit
