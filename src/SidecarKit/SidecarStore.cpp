#include "SidecarKit/SidecarStore.h"

#include "SidecarKit/JSONObjectReader.h"
#include "SidecarKit/PNGText.h"
#include "SidecarKit/SidecarError.h"
#include "Support/AtomicFile.h"
#include "Support/Base64.h"
#include "Support/ImageFiles.h"
#include "Support/IoError.h"

#include <QFileInfo>

#include <cerrno>

namespace SidecarKit::SidecarStore {

namespace {

std::vector<SidecarWarning> warningsFor(const SidecarDocument& document, QByteArrayView imageBytes) {
    const auto size = PNGDimensions::read(imageBytes);
    if (!size || (size->first == document.image.width && size->second == document.image.height)) return {};
    return {SidecarWarning::imageSizeMismatch(document.image.width, document.image.height, size->first, size->second)};
}

// Base64 turns every three bytes into four characters.
constexpr qsizetype maximumEmbeddedTextBytes = (maximumDocumentBytes + 2) / 3 * 4;

SidecarError tooLarge(const QString& what) {
    return SidecarError::io(QStringLiteral("%1 larger than %2 MB").arg(what).arg(maximumDocumentBytes / (1024 * 1024)));
}

void writeAtomic(const QString& path, const QByteArray& bytes) {
    try {
        Support::AtomicFile::write(path, bytes);
    } catch (const Support::IoError& error) {
        throw SidecarError::io(error.description());
    }
}

} // namespace

QString sidecarURL(const QString& imagePath) {
    const QFileInfo image(imagePath);
    const QString name = image.fileName() + QStringLiteral(".brindlecast.json");
    const qsizetype slash = imagePath.lastIndexOf('/');
    return slash < 0 ? name : imagePath.left(slash + 1) + name;
}

SidecarDocument decodeDocument(QByteArrayView bytes) {
    const JSONValue json = JSONValue::parse(bytes);
    const std::int64_t version = JSONObjectReader(json, {}).requiredInteger("version");
    if (version > SidecarDocument::currentVersion) {
        throw SidecarError::unsupportedVersion(version, SidecarDocument::currentVersion);
    }
    return SidecarDocument::fromJSON(json);
}

SidecarLoadResult load(const QString& imagePath) {
    const std::optional<QByteArray> image = Support::AtomicFile::read(imagePath, nullptr, Support::ImageFiles::maximumFileBytes);
    if (image) {
        if (const auto stored = PNGText::storedText(*image)) {
            if (stored->size() > maximumEmbeddedTextBytes) throw tooLarge(QStringLiteral("The embedded annotations are"));
            if (const auto json = Support::Base64::decode(QString::fromUtf8(*stored).toLatin1())) {
                if (json->size() > maximumDocumentBytes) throw tooLarge(QStringLiteral("The embedded annotations are"));
                SidecarDocument document = decodeDocument(*json);
                auto warnings = warningsFor(document, *image);
                return SidecarLoadResult::makeFound(std::move(document), SidecarSource::embedded, std::move(warnings));
            }
        }
    }
    int readError = 0;
    const std::optional<QByteArray> sidecar = Support::AtomicFile::read(sidecarURL(imagePath), &readError, maximumDocumentBytes);
    if (!sidecar && readError == EFBIG) throw tooLarge(QStringLiteral("The annotation file is"));
    if (!sidecar) return SidecarLoadResult::missing();
    SidecarDocument document = decodeDocument(*sidecar);
    auto warnings = image ? warningsFor(document, *image) : std::vector<SidecarWarning>{};
    return SidecarLoadResult::makeFound(std::move(document), SidecarSource::file, std::move(warnings));
}

void save(const SidecarDocument& document, const QString& imagePath) {
    const QByteArray bytes = document.encoded();
    writeAtomic(sidecarURL(imagePath), bytes);
}

void embed(const SidecarDocument& document, const QString& imagePath) {
    const std::optional<QByteArray> image = Support::AtomicFile::read(imagePath, nullptr, Support::ImageFiles::maximumFileBytes);
    if (!image || !PNGText::isPNG(*image)) {
        throw SidecarError::io(QStringLiteral("embedded annotations require a PNG working copy"));
    }
    const QString text = QString::fromLatin1(Support::Base64::encode(document.encoded()));
    writeAtomic(imagePath, PNGText::write(text, *image));
}

} // namespace SidecarKit::SidecarStore
