#include "AuditKit/AuditRecord.h"

#include <pwd.h>
#include <unistd.h>

#include <vector>

namespace AuditKit {

QString AuditEvent::kindName() const {
    static const char* const names[] = {"capture", "redaction", "export", "policyViolation"};
    return QString::fromLatin1(names[value.index()]);
}

AuditRecord AuditRecord::now(AuditEvent event) {
    return AuditRecord(std::move(event), QDateTime::currentDateTimeUtc(), QUuid::createUuid(), shortHost(), shortUser());
}

QString AuditRecord::shortHost(const QString& hostName) {
    const QStringList pieces = hostName.split('.', Qt::SkipEmptyParts);
    return pieces.isEmpty() ? QString("unknown") : pieces.first();
}

QString AuditRecord::shortHost() {
    char name[256] = {};
    if (::gethostname(name, sizeof name - 1) != 0) return shortHost(QString());
    return shortHost(QString::fromLocal8Bit(name));
}

QString AuditRecord::shortUser() {
    std::vector<char> buffer(16384);
    struct passwd entry {};
    struct passwd* found = nullptr;
    if (::getpwuid_r(::geteuid(), &entry, buffer.data(), buffer.size(), &found) != 0 || !found) return QString();
    return QString::fromLocal8Bit(found->pw_name);
}

} // namespace AuditKit
