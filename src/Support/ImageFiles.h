#pragma once

#include <QImage>
#include <QSize>
#include <QString>

#include <memory>
#include <optional>

class QFile;

namespace Support::ImageFiles {

// The bytes an image of `size` takes decoded, at `bitsPerPixel` (at least 32 are counted).
qint64 decodedBytes(QSize size, int bitsPerPixel);

// The allocation limit, in megabytes (Qt's unit), to decode an image of `bytes` under when Qt's
// own limit (`defaultLimitMB`, 0 for none) refuses it: nothing when that limit already lets it
// through, or when `available` cannot hold it twice over (so Qt's limit stays and refuses it).
std::optional<int> raisedAllocationLimit(qint64 bytes, int defaultLimitMB, std::optional<qint64> available);

// The largest image file read: a capture of the largest display there is, uncompressed, fits.
constexpr qint64 maximumFileBytes = qint64(1) << 30;

// The image file at `path` opened for an image reader the safe way (Support::SafeFile): a
// regular file, not a link, at most maximumFileBytes, or a PNG whose chunks reach their end
// within that (what follows is never read); a pipe or a sparse file of a terabyte in a capture's
// place is refused at once. Null, with the reason in `error` when given, when refused.
std::unique_ptr<QFile> openImageFile(const QString& path, QString* error = nullptr);

// Reads the whole image in a file this program wrote (a capture, its desktop-less companion),
// however large, as long as the memory free now can hold it twice over; Qt alone refuses anything
// above its allocation limit of a few hundred megabytes, less than a large display's capture. With
// `autoTransform` the image is turned as its orientation says. The file is opened with
// openImageFile. A null image when it cannot be read, with the reason in `error` when given: for
// a file that opens but does not decode, "the file is damaged", and the image reader's own words
// in `readerError` (for a log). Any thread.
QImage readOwnImage(const QString& path, QString* error = nullptr, bool autoTransform = false,
                    QString* readerError = nullptr);

} // namespace Support::ImageFiles
