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

} // namespace Support::SystemMemory
