#pragma once

#include "DetectionKit/ImageBoxes.h"
#include "DetectionKit/Recognition.h"

#include <mutex>

namespace DetectionTests {

using DetectionKit::RecognizedLine;

// A line laid out like monospaced text: every non-space UTF-16 unit gets an equal share of
// `pixels` (top-left image pixels) as its glyph box. Boxes are handed over normalised.
inline RecognizedLine monospacedLine(const QString& text, const Support::Rect& pixels, double imageWidth,
                                     double imageHeight) {
    RecognizedLine line;
    line.text = text;
    line.box = DetectionKit::ImageBoxes::normalized(pixels, imageWidth, imageHeight);
    const double advance = text.isEmpty() ? 0 : pixels.width() / double(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text.at(i).isSpace()) continue;
        const Support::Rect glyph(pixels.x() + advance * double(i), pixels.y(), advance, pixels.height());
        line.glyphs.push_back({i, 1, DetectionKit::ImageBoxes::normalized(glyph, imageWidth, imageHeight)});
    }
    return line;
}

// A line with only its own box: asking for a range's box gives nothing.
inline RecognizedLine lineWithoutGlyphs(const QString& text, const Support::Rect& pixels, double imageWidth,
                                        double imageHeight) {
    RecognizedLine line = monospacedLine(text, pixels, imageWidth, imageHeight);
    line.glyphs.clear();
    return line;
}

class FakeTextRecognizer final : public DetectionKit::TextRecognizer {
public:
    explicit FakeTextRecognizer(std::vector<RecognizedLine> lines = {}) : lines_(std::move(lines)) {}

    std::vector<RecognizedLine> recognize(const QImage& image) override {
        std::lock_guard lock(mutex_);
        ++calls;
        lastImage = image;
        if (failure) throw DetectionKit::RecognitionError(*failure);
        return lines_;
    }

    std::optional<std::string> failure;
    int calls = 0;
    QImage lastImage;

private:
    std::mutex mutex_;
    std::vector<RecognizedLine> lines_;
};

class FakeFaceDetector final : public DetectionKit::FaceDetector {
public:
    explicit FakeFaceDetector(std::vector<Support::Rect> faces = {}) : faces_(std::move(faces)) {}
    std::vector<Support::Rect> detectFaces(const QImage&) override { return faces_; }

private:
    std::vector<Support::Rect> faces_;
};

} // namespace DetectionTests
