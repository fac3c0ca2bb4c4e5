#pragma once

#include <QByteArray>
#include <QString>

namespace ExportKit {

// Where copied exports go. The application passes the system clipboard; tests pass fakes.
class Clipboard {
public:
    virtual ~Clipboard() = default;
    // Replaces the clipboard's whole contents with `bytes` under `mimeType`. False when the
    // clipboard did not take them.
    virtual bool setData(const QString& mimeType, const QByteArray& bytes) = 0;
};

// The desktop's clipboard through QClipboard. Usable only on the GUI thread of a running
// QGuiApplication; anywhere else setData fails. On X11 the data lives as long as the process
// owns the selection.
class SystemClipboard final : public Clipboard {
public:
    bool setData(const QString& mimeType, const QByteArray& bytes) override;
};

} // namespace ExportKit
