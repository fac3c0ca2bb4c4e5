#pragma once

#include <QDateTime>
#include <QImage>
#include <QSize>
#include <QString>
#include <QUrl>

namespace BrindlecastApp {

// One capture in the library folder.
struct CaptureEntry {
    QUrl url;            // the image file
    QString filename;    // its last path component
    QDateTime timestamp; // the file's modification time, or when it was read if it has none
    QSize dimensions;    // in pixels; 0 for a side the image does not state
    QImage thumbnail;    // at most 120 pixels on its longer side; null until made, or when none can be

    QString path() const { return url.toLocalFile(); }

    // The same file as it was at the same moment; the other fields follow from those two.
    friend bool operator==(const CaptureEntry& a, const CaptureEntry& b) {
        return a.url == b.url && a.timestamp == b.timestamp;
    }
};

} // namespace BrindlecastApp
