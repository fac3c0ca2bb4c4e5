#pragma once

#include "Support/Geometry.h"

#include <QImage>
#include <QString>
#include <optional>
#include <stdexcept>
#include <vector>

namespace DetectionKit {

// Boxes handed over by the recognition services are normalised to 0..1 of the image's width and
// height, origin at the bottom-left corner (y grows upwards).

// One recognised glyph of a line: where it sits in the line's text (UTF-16 offsets) and its box.
struct GlyphBox {
    qsizetype start = 0;
    qsizetype length = 0;
    Support::Rect box; // normalised, bottom-left origin
};

// One line of recognised text: the best reading, the line's box, and per-glyph boxes so that any
// range of the text can be boxed.
struct RecognizedLine {
    QString text;
    Support::Rect box; // normalised, bottom-left origin
    std::vector<GlyphBox> glyphs;
};

// Recognition could not be performed (engine missing, image unusable). Thrown to the caller of
// detection unchanged.
class RecognitionError : public std::runtime_error {
public:
    enum class Cause {
        failed,
        // The app's own engine module cannot be loaded (missing, cut short, of another build):
        // only installing the app again helps.
        installationDamaged,
    };

    explicit RecognitionError(const std::string& what, Cause cause = Cause::failed)
        : std::runtime_error(what), cause_(cause) {}

    Cause cause() const { return cause_; }

private:
    Cause cause_;
};

// Reads the lines of text in an image. Implementations are safe to call from several threads.
class TextRecognizer {
public:
    virtual ~TextRecognizer() = default;
    // Lines in reading order. Throws RecognitionError when recognition cannot be performed.
    virtual std::vector<RecognizedLine> recognize(const QImage& image) = 0;
    // The same, told of areas that were painted over (image pixels, top-left origin): they hold
    // nothing to read, and the words on either side of one are separate lines. A recogniser that
    // cannot use this reads the image as it is.
    virtual std::vector<RecognizedLine> recognizeAround(const QImage& image, const std::vector<Support::Rect>& blanks) {
        (void)blanks;
        return recognize(image);
    }
    // Starts making what recognition needs, so that the next call finds it ready; returns without
    // waiting. A failure shows at that call.
    virtual void prepare() {}
};

// Finds faces in an image. Implementations are safe to call from several threads.
class FaceDetector {
public:
    virtual ~FaceDetector() = default;
    // One normalised box per face. Throws RecognitionError when detection cannot be performed.
    virtual std::vector<Support::Rect> detectFaces(const QImage& image) = 0;
    // Makes what detection needs ahead of the next call; a failure shows at that call.
    virtual void prepare() {}
};

} // namespace DetectionKit
