#pragma once

#include "SidecarKit/JSONValue.h"
#include "SidecarKit/SidecarLoadResult.h"

#include <QString>

#include <cstdint>
#include <exception>
#include <string>

namespace SidecarKit {

// What the sidecar store and the PNG chunk writer throw: a document newer than this build reads,
// or an input, output or format failure described in words.
class SidecarError : public std::exception {
public:
    enum class Kind { unsupportedVersion, io };

    static SidecarError unsupportedVersion(std::int64_t found, std::int64_t supported);
    static SidecarError io(const QString& message);

    Kind kind() const { return kind_; }
    // unsupportedVersion: the document's version and the newest this build reads.
    std::int64_t found() const { return found_; }
    std::int64_t supported() const { return supported_; }
    // io: what failed, e.g. "not a PNG".
    const QString& message() const { return message_; }

    QString description() const;
    const char* what() const noexcept override { return what_.c_str(); }

    friend bool operator==(const SidecarError& a, const SidecarError& b) {
        return a.kind_ == b.kind_ && a.found_ == b.found_ && a.supported_ == b.supported_ && a.message_ == b.message_;
    }

private:
    SidecarError(Kind kind, std::int64_t found, std::int64_t supported, QString message);

    Kind kind_;
    std::int64_t found_ = 0;
    std::int64_t supported_ = 0;
    QString message_;
    std::string what_;
};

// A stored document that does not read (no JSON, or not a document's shape): the decoder's error,
// with where the document was kept. SidecarStore::load throws it.
class DamagedDocument : public JSONDecodingError {
public:
    DamagedDocument(const JSONDecodingError& error, SidecarSource source, QString file);

    SidecarSource source() const { return source_; }
    // The annotation file, or the image whose text chunk held the document.
    const QString& file() const { return file_; }
    // Where it was kept, then the decoder's description.
    const char* what() const noexcept override { return whatWithFile_.c_str(); }

private:
    SidecarSource source_;
    QString file_;
    std::string whatWithFile_;
};

} // namespace SidecarKit
