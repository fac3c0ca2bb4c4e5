#pragma once

#include "BrindlecastApp/Design/Tokens.h"

#include <QColor>
#include <QIcon>
#include <QImage>
#include <QKeySequence>
#include <QList>
#include <QString>

#include <functional>
#include <optional>

class QMenu;

namespace BrindlecastApp {

// What choosing a status-menu row does.
enum class StatusCommand {
    none, // the row has no action and shows disabled
    captureRegion,
    captureWindowPick,
    captureDisplay,
    openEditor,
    showScreenshotsFolder,
    showPermissionWalkthrough,
    showSettings,
    checkForUpdates,
    showAbout,
    quit,
};

// One row of the tray menu, as the menu shows it.
struct StatusMenuRow {
    bool separator = false;
    QString title;
    StatusCommand command = StatusCommand::none;
    QKeySequence shortcut;           // Ctrl stands where the design says Command
    QString symbol;                  // a design-system symbol name; empty for none
    QString accessibilityDescription; // of the symbol image, when it has one

    bool enabled() const { return !separator && command != StatusCommand::none; }
    friend bool operator==(const StatusMenuRow&, const StatusMenuRow&) = default;
};

// Everything the menu's content depends on, read afresh each time it opens.
struct StatusMenuState {
    bool captureAuthorized = false;
    bool lockAgent = false;
    std::optional<QString> updaterTitle; // the update channel's item title; none hides the item

    friend bool operator==(const StatusMenuState&, const StatusMenuState&) = default;
};

namespace StatusMenu {

// The rows, top to bottom.
QList<StatusMenuRow> rows(const StatusMenuState& state);

// Replaces every action of `menu` with the rows. Symbols are drawn in `symbolColor`; choosing a
// row calls `run` with its command.
void render(QMenu& menu, const QList<StatusMenuRow>& rows, const QColor& symbolColor,
            const std::function<void(StatusCommand)>& run);

// The tray's image: the shape of the app's template artwork when there is any (its alpha), else
// the "lock.shield" symbol, drawn inside a rim of the opposite lightness so that it reads on a
// dark, grey or light panel alike; `panelScheme` picks a light glyph in a dark rim (dark) or the
// reverse (light). Never empty.
QIcon trayIcon(const QImage& templateArtwork, ColorScheme panelScheme);

// The template artwork shipped with the app ("MenuBarTemplate"), or a null image.
QImage templateArtwork();

} // namespace StatusMenu

} // namespace BrindlecastApp
