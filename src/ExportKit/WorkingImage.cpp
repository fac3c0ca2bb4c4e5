#include "ExportKit/WorkingImage.h"

#include "ExportKit/BitmapCoordinates.h"
#include "ExportKit/ExportError.h"

#include <QPainter>

#include <cstring>

namespace ExportKit::WorkingImage {

QImage copyOf(const QImage& image) {
    QImage result = BitmapCoordinates::makeWorkingBitmap(image.size());
    if (result.isNull()) throw ExportError::bitmapContextFailed();
    if (image.format() == QImage::Format_ARGB32_Premultiplied) {
        // Same format: a plain copy of the rows is what drawing over transparency gives.
        const qsizetype rowBytes = qsizetype(image.width()) * 4;
        for (int y = 0; y < image.height(); ++y) std::memcpy(result.scanLine(y), image.constScanLine(y), size_t(rowBytes));
        return result;
    }
    QPainter painter(&result);
    painter.setCompositionMode(QPainter::CompositionMode_Source);
    painter.drawImage(QRect(QPoint(0, 0), image.size()), image);
    return result;
}

} // namespace ExportKit::WorkingImage
