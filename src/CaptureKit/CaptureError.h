#pragma once

#include <QStringList>

#include <stdexcept>

namespace CaptureKit {

// The capture module's own failures. Other failures of a provider reach the caller as the
// provider's own exception type.
class CaptureError : public std::exception {
public:
    enum class Kind { blockedContentPresent, displayNotFound, windowNotFound, invalidRegion, notAuthorized };

    static CaptureError blockedContentPresent(QStringList bundleIDs) { return {Kind::blockedContentPresent, std::move(bundleIDs)}; }
    static CaptureError displayNotFound() { return {Kind::displayNotFound, {}}; }
    static CaptureError windowNotFound() { return {Kind::windowNotFound, {}}; }
    static CaptureError invalidRegion() { return {Kind::invalidRegion, {}}; }
    static CaptureError notAuthorized() { return {Kind::notAuthorized, {}}; }

    Kind kind() const { return kind_; }
    // The refused applications, for blockedContentPresent; empty otherwise.
    const QStringList& bundleIDs() const { return bundleIDs_; }

    // The case's plain textual form, e.g. blockedContentPresent(bundleIDs: ["org.example.Chat"]).
    QString description() const;
    const char* what() const noexcept override { return what_.c_str(); }

    // Same case, and for blockedContentPresent the same identifiers in the same order.
    friend bool operator==(const CaptureError& a, const CaptureError& b) {
        return a.kind_ == b.kind_ && a.bundleIDs_ == b.bundleIDs_;
    }

private:
    CaptureError(Kind kind, QStringList bundleIDs);

    Kind kind_;
    QStringList bundleIDs_;
    std::string what_;
};

} // namespace CaptureKit
