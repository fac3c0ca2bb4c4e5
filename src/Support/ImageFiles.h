#pragma once

#include <QImage>
#include <QSize>
#include <QString>

#include <optional>

namespace Support::ImageFiles {

// The bytes an image of `size` takes decoded, at `bitsPerPixel` (at least 32 are counted).
qint64 decodedBytes(QSize size, int bitsPerPixel);

// The allocation limit, in megabytes (Qt's unit), to decode an image of `bytes` under when Qt's
// own limit (`defaultLimitMB`, 0 for none) refuses it: nothing when that limit already lets it
// through, or when `available` cannot hold it twice over (so Qt's limit stays and refuses it).
std::optional<int> raisedAllocationLimit(qint64 bytes, int defaultLimitMB, std::optional<qint64> available);

// Reads the whole image in a file this program wrote (a capture, its desktop-less companion),
// however large, as long as the memory free now can hold it twice over; Qt alone refuses anything
// above its allocation limit of a few hundred megabytes, less than a large display's capture. With
// `autoTransform` the image is turned as its orientation says. A null image when it cannot be
// read, with the reason in `error` when given. Any thread.
QImage readOwnImage(const QString& path, QString* error = nullptr, bool autoTransform = false);

} // namespace Support::ImageFiles
