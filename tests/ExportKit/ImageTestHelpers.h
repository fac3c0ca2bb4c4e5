#pragma once

#include "DetectionKit/DetectionTesting.h"

#include <QColor>
#include <QImage>
#include <QRect>

#include <cstdint>

namespace ExportKitTests {

// A detection of an e-mail address over `box`; the export only reads its box and action.
inline DetectionKit::Detection detection(const Support::Rect& box,
                                         DetectionKit::PatternAction action = DetectionKit::PatternAction::blurMandatory) {
    return DetectionKit::DetectionTesting::make("email", action, box, "someone@example.com");
}

// A W x H image of noise from `seed`, opaque, so no two seeds agree on any region.
inline QImage noiseImage(int width, int height, std::uint32_t seed) {
    QImage image(width, height, QImage::Format_ARGB32_Premultiplied);
    std::uint32_t state = seed * 2654435761u + 1;
    for (int y = 0; y < height; ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < width; ++x) {
            state = state * 1664525u + 1013904223u;
            line[x] = qRgb(int(state >> 24), int((state >> 16) & 0xFF), int((state >> 8) & 0xFF));
        }
    }
    return image;
}

inline QImage filledImage(int width, int height, QColor color) {
    QImage image(width, height, QImage::Format_ARGB32_Premultiplied);
    image.fill(color);
    return image;
}

// The smallest rectangle holding every pixel where the two images differ; empty when none do.
inline QRect differingArea(const QImage& a, const QImage& b) {
    QRect area;
    for (int y = 0; y < a.height(); ++y) {
        for (int x = 0; x < a.width(); ++x) {
            if (a.pixel(x, y) != b.pixel(x, y)) area = area.united(QRect(x, y, 1, 1));
        }
    }
    return area;
}

inline bool samePixels(const QImage& a, const QImage& b) { return a.size() == b.size() && differingArea(a, b).isEmpty(); }

inline int alphaAt(const QImage& image, int x, int y) { return qAlpha(image.pixel(x, y)); }

inline int grayByte(double gray) { return QColor::fromRgbF(float(gray), float(gray), float(gray)).red(); }

} // namespace ExportKitTests
