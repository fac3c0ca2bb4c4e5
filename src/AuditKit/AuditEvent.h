#pragma once

#include <QString>
#include <QStringList>

#include <map>
#include <variant>

namespace AuditKit {

// What the application did with a capture. The case names are the records' "kind" values.
struct AuditEvent {
    // "capture": a capture was taken.
    struct Capture {
        QString mode;
        QStringList capturedBundleIDs;
        QStringList blocklistHits;
        QString behaviorApplied;
        friend bool operator==(const Capture&, const Capture&) = default;
    };
    // "redaction": findings redacted, counted per detector.
    struct Redaction {
        std::map<QString, qint64> detectorCounts;
        friend bool operator==(const Redaction&, const Redaction&) = default;
    };
    // "export": an image left the application ("workingCopy", "clipboard", "folder").
    struct Export {
        QString destinationKind;
        QString sha256Hex;
        friend bool operator==(const Export&, const Export&) = default;
    };
    // "policyViolation": a policy was violated; written with the key "violationKind".
    struct PolicyViolation {
        QString kind;
        QString detail;
        friend bool operator==(const PolicyViolation&, const PolicyViolation&) = default;
    };

    std::variant<Capture, Redaction, Export, PolicyViolation> value;

    static AuditEvent capture(QString mode, QStringList capturedBundleIDs, QStringList blocklistHits,
                              QString behaviorApplied) {
        return {Capture{std::move(mode), std::move(capturedBundleIDs), std::move(blocklistHits), std::move(behaviorApplied)}};
    }
    static AuditEvent redaction(std::map<QString, qint64> detectorCounts) { return {Redaction{std::move(detectorCounts)}}; }
    static AuditEvent export_(QString destinationKind, QString sha256Hex) {
        return {Export{std::move(destinationKind), std::move(sha256Hex)}};
    }
    static AuditEvent policyViolation(QString kind, QString detail) {
        return {PolicyViolation{std::move(kind), std::move(detail)}};
    }

    // "capture", "redaction", "export" or "policyViolation".
    QString kindName() const;

    friend bool operator==(const AuditEvent&, const AuditEvent&) = default;
};

} // namespace AuditKit
