#pragma once

#include "ExportKit/ExportTypes.h"

#include <QDateTime>
#include <QImage>
#include <QPoint>
#include <QRect>
#include <optional>
#include <vector>

namespace BrindlecastApp::Pipeline {

// The watermark burnt into a working copy: where it lies, what it looks like and which parts it
// shows. An export of those very pixels that still shows the mark whole, with the same parts,
// need not draw a second one.
struct WatermarkStamp {
    QRect rect;    // in the working copy's pixels
    QImage pixels; // the marked pixels inside `rect`, ARGB32 premultiplied
    std::optional<QString> user;
    std::optional<QString> device;
    bool hasTimestamp = false;

    // True when `mark` shows the same user and device and a time exactly when this one does. The
    // time itself is the capture's and is not compared: it says when the image was taken.
    bool sameParts(const std::optional<ExportKit::Watermark>& mark) const;

    // True when `output` holds the stamp's pixels unchanged with the stamped image's origin at
    // `origin` (which may lie outside the output when the image was cropped).
    bool isWholeIn(const QImage& output, QPoint origin) const;
};

// An image with the watermark drawn on it.
struct MarkedImage {
    QImage image;
    // Nothing when the watermark drew nothing.
    std::optional<WatermarkStamp> stamp;
};

// Draws the watermark (Exporter::watermark) and notes where it landed. Throws ExportError.
MarkedImage applyWatermark(const QImage& image, const std::optional<ExportKit::Watermark>& mark);

// The watermark a capture from the library already carries, when it is `mark` drawn at one of
// the given times: drawing a mark over itself changes nothing, so the first time at which it
// does not change the image is the mark's. Nothing when none fits (or `mark` draws nothing).
std::optional<WatermarkStamp> recognizeWatermark(const QImage& image, const std::optional<ExportKit::Watermark>& mark,
                                                 const std::vector<QDateTime>& times);

} // namespace BrindlecastApp::Pipeline
