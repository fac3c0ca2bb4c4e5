#pragma once

#include <QMultiHash>
#include <QPointer>
#include <QString>
#include <QWidget>

#include <functional>

namespace BrindlecastApp {

// The rows of a settings list, kept from one redraw to the next under a key that names all they
// show, so that a redraw makes only the rows that are new or changed and a long list costs what
// changed. Rows not asked for again are left to their card, which deletes rows it no longer shows.
class SettingsRowCache {
public:
    // The row shown last time under `key`, or a new one from `make`. A key asked for twice in one
    // redraw gets a row for each time.
    QWidget* row(const QString& key, const std::function<QWidget*()>& make);
    // Ends a redraw: only the rows asked for since the last call are offered again.
    void finish();

private:
    QMultiHash<QString, QPointer<QWidget>> shown_;
    QMultiHash<QString, QPointer<QWidget>> next_;
};

} // namespace BrindlecastApp
