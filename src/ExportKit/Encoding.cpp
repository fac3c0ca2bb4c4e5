#include "ExportKit/BitmapCoordinates.h"
#include "ExportKit/Exporter.h"

#include <QBuffer>
#include <QCryptographicHash>
#include <QImageWriter>

#include <cmath>

namespace ExportKit {

// The one place that makes Export values.
struct ExportFactory {
    static Export make(QByteArray data) { return Export(std::move(data)); }
};

const QString& Export::sha256Hex() const {
    std::call_once(digest_->once, [this] { digest_->hex = Exporter::sha256Hex(data_); });
    return digest_->hex;
}

namespace Exporter {

namespace {

// Qt's PNG compression setting runs from 0 to 100 and picks zlib level value / 10: level 3 is
// several times faster than the default for a few percent more bytes. Fixed, so the same pixels
// always give the same bytes.
constexpr int kPngCompression = 30;

bool isOpaque(const QImage& image) {
    if (!image.hasAlphaChannel()) return true;
    if (image.format() != QImage::Format_ARGB32_Premultiplied && image.format() != QImage::Format_ARGB32) {
        return false;
    }
    for (int y = 0; y < image.height(); ++y) {
        const auto* line = reinterpret_cast<const QRgb*>(image.constScanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            if (qAlpha(line[x]) != 255) return false;
        }
    }
    return true;
}

// The pixels alone: a view on the same rows without the source's text keys (which Qt's PNG
// writer would otherwise store as text chunks) and with a fixed resolution. An opaque image
// is written without its alpha channel.
QImage pixelsOnly(const QImage& image) {
    QImage source = image;
    if (isOpaque(image) && image.hasAlphaChannel()) {
        source = image.convertToFormat(QImage::Format_RGB32);
    }
    QImage view(source.constBits(), source.width(), source.height(), source.bytesPerLine(), source.format());
    view.setColorTable(source.colorTable()); // an indexed image's pixels mean nothing without it
    view.setDotsPerMeterX(BitmapCoordinates::kDotsPerMetreAt72Dpi);
    view.setDotsPerMeterY(BitmapCoordinates::kDotsPerMetreAt72Dpi);
    view = view.copy(); // detaches from `source`, which goes out of scope
    return view;
}

} // namespace

QString sha256Hex(QByteArrayView bytes) {
    return QString::fromLatin1(QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex());
}

Export encode(const QImage& image, const ImageFormat& format) {
    if (image.isNull()) throw ExportError::encodingFailed();
    const QImage pixels = pixelsOnly(image);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    if (!buffer.open(QIODevice::WriteOnly)) throw ExportError::encodingFailed();
    QImageWriter writer(&buffer, format.isPng() ? "png" : "jpeg");
    if (format.isPng()) {
        writer.setCompression(kPngCompression);
    } else {
        const double quality = *format.jpegQuality();
        if (!std::isfinite(quality)) throw ExportError::encodingFailed();
        writer.setQuality(int(std::lround(std::clamp(quality, 0.0, 1.0) * 100)));
    }
    if (!writer.write(pixels)) throw ExportError::encodingFailed();
    buffer.close();
    return ExportFactory::make(std::move(bytes));
}

} // namespace Exporter
} // namespace ExportKit
