#include "SidecarKit/SidecarStore.h"

#include "SidecarKit/JSONObjectReader.h"
#include "SidecarKit/PNGText.h"
#include "SidecarKit/SidecarError.h"
#include "Support/AtomicFile.h"
#include "Support/Base64.h"
#include "Support/ImageFiles.h"
#include "Support/IoError.h"
#include "Support/PngChunks.h"
#include "Support/SafeFile.h"

#include <QFileInfo>

#include <cerrno>
#include <exception>

namespace SidecarKit::SidecarStore {

namespace {

std::vector<SidecarWarning> warningsFor(const SidecarDocument& document, QByteArrayView imageBytes) {
    const auto size = PNGDimensions::read(imageBytes);
    if (!size || (size->first == document.image.width && size->second == document.image.height)) return {};
    return {SidecarWarning::imageSizeMismatch(document.image.width, document.image.height, size->first, size->second)};
}

// Base64 turns every three bytes into four characters.
constexpr qsizetype maximumEmbeddedTextBytes = (maximumDocumentBytes + 2) / 3 * 4;

// The PNG header's bytes the size warning needs (PNGDimensions).
constexpr qint64 headerBytes = 24;

SidecarError tooLarge(const QString& what) {
    return SidecarError::io(QStringLiteral("%1 larger than %2 MB").arg(what).arg(maximumDocumentBytes / (1024 * 1024)));
}

void writeAtomic(const QString& path, const QByteArray& bytes) {
    try {
        Support::AtomicFile::write(path, bytes);
    } catch (const Support::IoError& error) {
        // The failure stays inside: its folder and reason are what an alert tells.
        std::throw_with_nested(SidecarError::io(error.description()));
    }
}

// The PNG at `path` as far as it is made of chunks: all an embed keeps. Chunks after the end chunk
// stay; what is no chunk, such as a gigabyte of zeros after it (a hole of a sparse file), is
// neither read nor written back.
QByteArray chunksOf(const QString& path) {
    std::optional<Support::SafeFile::OpenFile> image = Support::SafeFile::open(path, Support::SafeFile::Links::refuse);
    const std::optional<QByteArray> signature =
        image ? image->readAt(0, Support::PngChunks::signatureBytes) : std::nullopt;
    if (!signature || !PNGText::isPNG(*signature)) {
        throw SidecarError::io(QStringLiteral("embedded annotations require a PNG working copy"));
    }
    bool sawEnd = false;
    const std::optional<qint64> end =
        Support::PngChunks::walk(*image, Support::ImageFiles::maximumFileBytes, [&](const Support::PngChunks::Chunk& chunk) {
            sawEnd = sawEnd || chunk.is("IEND");
            return false;
        });
    if (end && !sawEnd) throw SidecarError::io(QStringLiteral("PNG missing IEND"));
    std::optional<QByteArray> bytes = end ? image->readAt(0, *end) : std::nullopt;
    if (!bytes || bytes->size() < *end) {
        throw SidecarError::io(QStringLiteral("embedded annotations require a PNG working copy"));
    }
    return std::move(*bytes);
}

// The document kept at `file`, read; one that does not read is told with where it was kept.
SidecarDocument decodeStored(QByteArrayView bytes, SidecarSource source, const QString& file) {
    try {
        return decodeDocument(bytes);
    } catch (const JSONDecodingError& error) {
        throw DamagedDocument(error, source, file);
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
    // Of the image only its header and its annotation chunk are read, whatever its size.
    std::optional<Support::SafeFile::OpenFile> image = Support::SafeFile::open(imagePath, Support::SafeFile::Links::refuse);
    const std::optional<QByteArray> header = image ? image->readAt(0, headerBytes) : std::nullopt;
    if (header && PNGText::isPNG(*header)) {
        const std::optional<PNGText::StoredText> stored =
            PNGText::storedText(*image, Support::ImageFiles::maximumFileBytes, maximumEmbeddedTextBytes);
        if (stored) {
            if (!stored->text) throw tooLarge(QStringLiteral("The embedded annotations are"));
            if (const auto json = Support::Base64::decode(QString::fromUtf8(*stored->text).toLatin1())) {
                if (json->size() > maximumDocumentBytes) throw tooLarge(QStringLiteral("The embedded annotations are"));
                SidecarDocument document = decodeStored(*json, SidecarSource::embedded, imagePath);
                auto warnings = warningsFor(document, *header);
                return SidecarLoadResult::makeFound(std::move(document), SidecarSource::embedded, std::move(warnings));
            }
        }
    }
    int readError = 0;
    const std::optional<QByteArray> sidecar = Support::AtomicFile::read(sidecarURL(imagePath), &readError, maximumDocumentBytes);
    if (!sidecar && readError == EFBIG) throw tooLarge(QStringLiteral("The annotation file is"));
    if (!sidecar) return SidecarLoadResult::missing();
    SidecarDocument document = decodeStored(*sidecar, SidecarSource::file, sidecarURL(imagePath));
    auto warnings = header ? warningsFor(document, *header) : std::vector<SidecarWarning>{};
    return SidecarLoadResult::makeFound(std::move(document), SidecarSource::file, std::move(warnings));
}

void save(const SidecarDocument& document, const QString& imagePath) {
    const QByteArray bytes = document.encoded();
    writeAtomic(sidecarURL(imagePath), bytes);
}

void embed(const SidecarDocument& document, const QString& imagePath) {
    const QByteArray image = chunksOf(imagePath);
    const QString text = QString::fromLatin1(Support::Base64::encode(document.encoded()));
    writeAtomic(imagePath, PNGText::write(text, image));
}

} // namespace SidecarKit::SidecarStore
