#pragma once

#include "SidecarKit/SidecarDocument.h"

#include <cstdint>
#include <optional>
#include <vector>

namespace SidecarKit {

// Where a loaded document came from: the PNG's own text chunk, or the sidecar file beside it.
enum class SidecarSource { embedded, file };

// Something the caller may want to act on; the document is returned all the same.
struct SidecarWarning {
    enum class Kind { imageSizeMismatch };

    Kind kind = Kind::imageSizeMismatch;
    // The document's image size and the size read from the image's header.
    std::int64_t storedWidth = 0;
    std::int64_t storedHeight = 0;
    std::int64_t actualWidth = 0;
    std::int64_t actualHeight = 0;

    static SidecarWarning imageSizeMismatch(std::int64_t storedWidth, std::int64_t storedHeight,
                                            std::int64_t actualWidth, std::int64_t actualHeight) {
        return {Kind::imageSizeMismatch, storedWidth, storedHeight, actualWidth, actualHeight};
    }
    friend bool operator==(const SidecarWarning&, const SidecarWarning&) = default;
};

// A found document with its source and warnings, or missing (neither embedded nor beside it).
struct SidecarLoadResult {
    struct Found {
        SidecarDocument document;
        SidecarSource source;
        std::vector<SidecarWarning> warnings;
        friend bool operator==(const Found&, const Found&) = default;
    };

    std::optional<Found> found; // nothing: missing

    static SidecarLoadResult missing() { return {}; }
    static SidecarLoadResult makeFound(SidecarDocument document, SidecarSource source,
                                       std::vector<SidecarWarning> warnings = {}) {
        return {Found{std::move(document), source, std::move(warnings)}};
    }
    bool isMissing() const { return !found; }

    friend bool operator==(const SidecarLoadResult&, const SidecarLoadResult&) = default;
};

} // namespace SidecarKit
