#include "Support/ImageFiles.h"

#include "Support/IoError.h"
#include "Support/PngChunks.h"
#include "Support/SafeFile.h"
#include "Support/SystemMemory.h"

#include <QFile>

#include <QImageReader>

#include <cerrno>
#include <cmath>
#include <limits>
#include <mutex>

namespace Support::ImageFiles {

namespace {

constexpr qint64 kMegabyte = 1024 * 1024;

// Qt's limit as the process started (its own default, or what the environment set).
int defaultLimitMB() {
    static const int limit = QImageReader::allocationLimit();
    return limit;
}

// Qt's limit is one setting for the whole process: reads that need it raised take turns, and the
// limit is back at its default when none is running. Reads within the default never change it.
std::mutex& raisedLimitMutex() {
    static std::mutex mutex;
    return mutex;
}

QString megabytes(qint64 bytes) { return QString::number((bytes + kMegabyte - 1) / kMegabyte); }

} // namespace

qint64 decodedBytes(QSize size, int bitsPerPixel) {
    if (size.width() <= 0 || size.height() <= 0) return 0;
    const qint64 bytesPerPixel = std::max(4, (bitsPerPixel + 7) / 8);
    return qint64(size.width()) * qint64(size.height()) * bytesPerPixel;
}

std::optional<int> raisedAllocationLimit(qint64 bytes, int defaultLimitMB, std::optional<qint64> available) {
    if (defaultLimitMB <= 0 || bytes <= qint64(defaultLimitMB) * kMegabyte) return std::nullopt;
    if (!SystemMemory::canHold(bytes, 2, available)) return std::nullopt;
    // Qt compares whole megabytes, rounded down; one more keeps the image's last part inside.
    const qint64 limit = bytes / kMegabyte + 1;
    if (limit > std::numeric_limits<int>::max()) return std::nullopt;
    return int(limit);
}

namespace {

// A failure to open in the words the other alerts use (the folder and what the user can do);
// the file's own faults (not a regular file, too large) as they are.
QString openFailureReason(const SafeFile::Failure& failure, const QString& path) {
    switch (failure.errorNumber) {
    case EACCES:
    case EPERM:
    case ENOENT:
    case ENOTDIR:
    case EIO: return IoError(failure.errorNumber, path, QStringLiteral("read")).reason();
    default: return failure.reason;
    }
}

std::unique_ptr<QFile> openSafely(const QString& path, SafeFile::Failure& failure) {
    std::optional<SafeFile::OpenFile> file = SafeFile::open(path, SafeFile::Links::refuse, &failure);
    // A PNG's image ends with its end chunk, where its decoder stops: a file that goes on after it
    // (a hole of a sparse file) is judged by its image alone.
    if (file && file->size() > maximumFileBytes && !PngChunks::endOfImage(*file, maximumFileBytes)) {
        failure = {EFBIG, QStringLiteral("the file is larger than %1 MB").arg(megabytes(maximumFileBytes))};
        file.reset();
    }
    return file ? file->intoDevice(&failure) : nullptr;
}

} // namespace

std::unique_ptr<QFile> openImageFile(const QString& path, QString* error) {
    SafeFile::Failure failure;
    std::unique_ptr<QFile> device = openSafely(path, failure);
    if (!device && error) *error = openFailureReason(failure, path);
    return device;
}

QImage readOwnImage(const QString& path, QString* error, bool autoTransform, QString* readerError) {
    SafeFile::Failure failure;
    const std::unique_ptr<QFile> file = openSafely(path, failure);
    if (!file) {
        if (error) *error = openFailureReason(failure, path);
        if (readerError) *readerError = failure.reason;
        return {};
    }
    QImageReader reader(file.get());
    reader.setAutoTransform(autoTransform);
    const QSize size = reader.size();
    const qint64 bytes = decodedBytes(size, QImage::toPixelFormat(reader.imageFormat()).bitsPerPixel());
    const int defaultLimit = defaultLimitMB();

    QImage image;
    if (defaultLimit > 0 && bytes > qint64(defaultLimit) * kMegabyte) {
        const std::optional<int> raised = raisedAllocationLimit(bytes, defaultLimit, SystemMemory::availableBytes());
        if (!raised) {
            if (error) {
                *error = QStringLiteral("the image of %1 x %2 pixels needs %3 MB, more than the memory free now can "
                                        "hold")
                             .arg(size.width())
                             .arg(size.height())
                             .arg(megabytes(bytes));
            }
            return {};
        }
        std::lock_guard guard(raisedLimitMutex());
        QImageReader::setAllocationLimit(*raised);
        image = reader.read();
        QImageReader::setAllocationLimit(defaultLimit);
    } else {
        image = reader.read();
    }
    if (image.isNull()) {
        if (error) *error = QStringLiteral("the file is damaged");
        if (readerError) *readerError = reader.errorString();
    }
    return image;
}

} // namespace Support::ImageFiles
