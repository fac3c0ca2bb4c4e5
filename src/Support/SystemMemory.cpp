#include "Support/SystemMemory.h"

#include <QByteArray>
#include <QFile>

namespace Support::SystemMemory {

std::optional<qint64> availableBytes() {
    QFile meminfo("/proc/meminfo");
    if (!meminfo.open(QIODevice::ReadOnly)) return std::nullopt;
    for (const QByteArray& line : meminfo.readAll().split('\n')) {
        if (!line.startsWith("MemAvailable:")) continue;
        bool ok = false;
        const qint64 kibibytes = line.mid(13).trimmed().split(' ').first().toLongLong(&ok);
        if (ok) return kibibytes * 1024;
    }
    return std::nullopt;
}

bool canHold(qint64 bytes, int copies, std::optional<qint64> available) {
    return !available || double(copies) * double(bytes) <= double(*available);
}

bool canHold(qint64 bytes, int copies) { return canHold(bytes, copies, availableBytes()); }

} // namespace Support::SystemMemory
