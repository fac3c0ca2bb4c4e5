#pragma once

#include <QByteArray>
#include <QFile>

// The process's resident memory now, in KiB (0 where /proc cannot tell).
inline long residentKiB() {
    QFile status("/proc/self/status");
    if (!status.open(QIODevice::ReadOnly)) return 0;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:")) return line.mid(6).trimmed().split(' ').first().toLong();
    }
    return 0;
}
