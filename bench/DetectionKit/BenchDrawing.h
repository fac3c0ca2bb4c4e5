#pragma once

#include <QColor>
#include <QFont>
#include <QImage>
#include <QString>

namespace DetectionBench {

// An image to draw a screen into, at 72 dpi so that a point is a pixel.
inline QImage blankImage(int w, int h, const QColor& fill = Qt::transparent) {
    QImage image(w, h, QImage::Format_ARGB32_Premultiplied);
    image.setDotsPerMeterX(2835);
    image.setDotsPerMeterY(2835);
    image.fill(fill);
    return image;
}

inline QFont fontOf(const QString& family, int pixelSize, bool bold = false) {
    QFont f(family);
    f.setPixelSize(pixelSize);
    f.setBold(bold);
    f.setHintingPreference(QFont::PreferFullHinting);
    return f;
}

} // namespace DetectionBench
