#pragma once

#include "SidecarKit/Annotation.h"
#include "SidecarKit/JSONValue.h"

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <vector>

namespace SidecarKit {

// One capture's annotations with a short description of the image and of the capture.
struct SidecarDocument {
    static constexpr std::int64_t currentVersion = 1;

    struct ImageMetadata {
        QString filename; // the image file's name, without its folder
        std::int64_t width = 0;
        std::int64_t height = 0;
        double scale = 1.0;

        ImageMetadata() = default;
        ImageMetadata(QString filename, std::int64_t width, std::int64_t height, double scale)
            : filename(std::move(filename)), width(width), height(height), scale(scale) {}
        friend bool operator==(const ImageMetadata&, const ImageMetadata&) = default;
    };

    struct CaptureMetadata {
        QString mode; // how the capture was made, as the capture pipeline names it
        bool blocklistApplied = false;

        CaptureMetadata() = default;
        CaptureMetadata(QString mode, bool blocklistApplied) : mode(std::move(mode)), blocklistApplied(blocklistApplied) {}
        friend bool operator==(const CaptureMetadata&, const CaptureMetadata&) = default;
    };

    std::int64_t version = currentVersion;
    ImageMetadata image;
    CaptureMetadata capture;
    std::vector<Annotation> annotations;

    SidecarDocument(std::int64_t version, ImageMetadata image, CaptureMetadata capture,
                    std::vector<Annotation> annotations)
        : version(version), image(std::move(image)), capture(std::move(capture)), annotations(std::move(annotations)) {}

    friend bool operator==(const SidecarDocument&, const SidecarDocument&) = default;

    // {"version", "image": {...}, "capture": {...}, "annotations": [...]}, every key written.
    JSONValue toJSON() const;
    // Compact JSON text; throws JSONEncodingError when a number is not finite.
    QByteArray encoded() const;

    // Every key of the three objects is required; one unreadable annotation fails the whole
    // document. The version is not checked here (the store refuses newer ones first).
    // Throws JSONDecodingError.
    static SidecarDocument fromJSON(const JSONValue& value);
};

} // namespace SidecarKit
