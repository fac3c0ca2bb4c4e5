#pragma once

#include "AuditKit/AuditEvent.h"

#include <QDateTime>
#include <QString>
#include <QUuid>

namespace AuditKit {

// The envelope of one event: when, which record, where and who.
struct AuditRecord {
    // The layout version every record made here carries.
    static constexpr qint64 currentSchemaVersion = 1;

    QDateTime timestamp; // sub-second in memory; whole seconds in the JSON text
    QUuid eventID;
    QString host;
    QString user;
    qint64 schemaVersion = currentSchemaVersion;
    AuditEvent event;

    AuditRecord(AuditEvent event, QDateTime timestamp, QUuid eventID, QString host, QString user)
        : timestamp(std::move(timestamp)), eventID(eventID), host(std::move(host)), user(std::move(user)),
          event(std::move(event)) {}

    // A record of `event` made now, with a new random identifier, this host and this user.
    static AuditRecord now(AuditEvent event);

    // The host name cut at every "." (empty pieces dropped), first piece; "unknown" when none.
    static QString shortHost();
    static QString shortHost(const QString& hostName);
    // The login name of the user running the process.
    static QString shortUser();

    friend bool operator==(const AuditRecord&, const AuditRecord&) = default;
};

} // namespace AuditKit
