#include "DetectionKit/Recognition.h"

namespace DetectionKit {

std::optional<Support::Rect> RecognizedLine::boxForRange(qsizetype start, qsizetype length) const {
    const qsizetype end = start + length;
    Support::Rect united = Support::Rect::null();
    for (const GlyphBox& glyph : glyphs) {
        const qsizetype glyphEnd = glyph.start + glyph.length;
        if (glyph.start < end && glyphEnd > start) united = united.united(glyph.box);
    }
    if (united.isNull()) return std::nullopt;
    return united;
}

} // namespace DetectionKit
