#include "BrindlecastApp/Pipeline/CompanionTie.h"

#include "ExportKit/Exporter.h"
#include "SidecarKit/PNGText.h"

namespace BrindlecastApp::Pipeline::CompanionTie {

QString pixelDigest(const QImage& image) {
    // Rows of RGBA8888 are whole 32-bit words, so the pixels lie end to end without padding.
    const QImage rgba = image.convertToFormat(QImage::Format_RGBA8888);
    return ExportKit::Exporter::sha256Hex(
        QByteArrayView(reinterpret_cast<const char*>(rgba.constBits()), rgba.sizeInBytes()));
}

QByteArray tie(const QByteArray& companionPng, const QImage& workingCopy) {
    return SidecarKit::PNGText::write(pixelDigest(workingCopy), companionPng, keyword);
}

bool matches(const QImage& companion, const QImage& workingCopy) {
    if (companion.isNull() || companion.size() != workingCopy.size()) return false;
    const QString recorded = companion.text(QString::fromLatin1(keyword));
    return !recorded.isEmpty() && recorded == pixelDigest(workingCopy);
}

} // namespace BrindlecastApp::Pipeline::CompanionTie
