#pragma once

#include "ExportKit/ExportTypes.h"

#include <QString>
#include <exception>
#include <string>

namespace ExportKit {

// A failed export step. Carries no message of its own beyond its case and payload; an alert
// shows `description()`.
class ExportError : public std::exception {
public:
    enum class Code {
        destinationNotAllowed, // payload: the refused destination
        io,                    // payload: the system's message
        encodingFailed,
        bitmapContextFailed,
        invalidRegion,         // payload: what was wrong with the region; nothing was drawn
    };

    static ExportError destinationNotAllowed(DestinationKind kind);
    static ExportError io(QString message);
    static ExportError encodingFailed();
    static ExportError bitmapContextFailed();
    static ExportError invalidRegion(QString message);

    Code code() const { return code_; }
    // The refused destination; meaningful for destinationNotAllowed only.
    DestinationKind destination() const { return destination_; }
    // The io message or the region complaint; empty for the other cases.
    const QString& message() const { return message_; }

    QString description() const;
    const char* what() const noexcept override { return what_.c_str(); }

    friend bool operator==(const ExportError& a, const ExportError& b) {
        return a.code_ == b.code_ && a.destination_ == b.destination_ && a.message_ == b.message_;
    }

private:
    ExportError(Code code, DestinationKind destination, QString message);

    Code code_;
    DestinationKind destination_;
    QString message_;
    std::string what_;
};

} // namespace ExportKit
