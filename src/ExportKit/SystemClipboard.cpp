#include "ExportKit/Clipboard.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>
#include <QThread>

namespace ExportKit {

bool SystemClipboard::setData(const QString& mimeType, const QByteArray& bytes) {
    auto* app = qobject_cast<QGuiApplication*>(QCoreApplication::instance());
    if (!app || QThread::currentThread() != app->thread()) return false;
    QClipboard* clipboard = QGuiApplication::clipboard();
    if (!clipboard) return false;
    clipboard->clear(QClipboard::Clipboard);
    auto* mime = new QMimeData;
    mime->setData(mimeType, bytes);
    clipboard->setMimeData(mime, QClipboard::Clipboard);
    // Read back: a selection we failed to take shows someone else's data (or none).
    const QMimeData* now = clipboard->mimeData(QClipboard::Clipboard);
    return now && now->hasFormat(mimeType) && now->data(mimeType) == bytes;
}

} // namespace ExportKit
