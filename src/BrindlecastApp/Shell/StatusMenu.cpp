#include "BrindlecastApp/Shell/StatusMenu.h"

#include "BrindlecastApp/Design/Symbols.h"

#include <QAction>
#include <QMenu>
#include <QPainter>
#include <QPixmap>

#include <algorithm>
#include <cmath>

namespace BrindlecastApp::StatusMenu {

namespace {

const QString permissionStatus = QStringLiteral("Screen Recording permission status");

StatusMenuRow item(const QString& title, StatusCommand command, const QKeySequence& shortcut = {},
                   const QString& symbol = {}, const QString& accessibility = {}) {
    StatusMenuRow row;
    row.title = title;
    row.command = command;
    row.shortcut = shortcut;
    row.symbol = symbol;
    row.accessibilityDescription = accessibility;
    return row;
}

StatusMenuRow separator() {
    StatusMenuRow row;
    row.separator = true;
    return row;
}

QKeySequence shiftCtrl(Qt::Key key) { return QKeySequence(Qt::CTRL | Qt::SHIFT | key); }
// The capture items show the global hot keys they share, which are held with Super, not Ctrl.
QKeySequence shiftSuper(Qt::Key key) { return QKeySequence(Qt::META | Qt::SHIFT | key); }

QIcon symbolIcon(const QString& name, const QColor& color, SymbolWeight weight = SymbolWeight::regular) {
    QIcon icon;
    for (const int side : {16, 22, 32, 48}) icon.addPixmap(QPixmap::fromImage(Symbols::image(name, side, color, weight)));
    return icon;
}

} // namespace

QList<StatusMenuRow> rows(const StatusMenuState& state) {
    QList<StatusMenuRow> rows{
        item("Capture Region", StatusCommand::captureRegion, shiftSuper(Qt::Key_7), "rectangle.dashed"),
        item("Capture Window", StatusCommand::captureWindowPick, shiftSuper(Qt::Key_8), "macwindow"),
        item("Capture Display", StatusCommand::captureDisplay, shiftSuper(Qt::Key_9), "macwindow.on.rectangle"),
        separator(),
        item("Open Editor", StatusCommand::openEditor, shiftCtrl(Qt::Key_E), "square.and.pencil"),
        item("Show Screenshots Folder", StatusCommand::showScreenshotsFolder, {}, "folder"),
        separator(),
    };
    if (state.captureAuthorized)
        rows << item("Screen Recording: Allowed", StatusCommand::none, {}, "checkmark.shield", permissionStatus);
    else
        rows << item("Allow Screen Recording…", StatusCommand::showPermissionWalkthrough, {},
                     "exclamationmark.shield.fill", permissionStatus);
    rows << item("Settings…", StatusCommand::showSettings, QKeySequence(Qt::CTRL | Qt::Key_Comma), "gearshape");
    if (state.updaterTitle) rows << item(*state.updaterTitle, StatusCommand::checkForUpdates);
    rows << item("About Brindlecast", StatusCommand::showAbout);
    if (!state.lockAgent) {
        rows << separator();
        rows << item("Quit Brindlecast", StatusCommand::quit, QKeySequence(Qt::CTRL | Qt::Key_Q));
    }
    return rows;
}

void render(QMenu& menu, const QList<StatusMenuRow>& rows, const QColor& symbolColor,
            const std::function<void(StatusCommand)>& run) {
    // The old actions belong to the menu; a chosen one may still be running its slot when the menu
    // is rebuilt, so they are taken out and deleted later rather than at once (clear() would delete
    // them there and then).
    for (QAction* action : menu.actions()) {
        menu.removeAction(action);
        if (action->parent() == &menu) action->deleteLater();
    }

    for (const StatusMenuRow& row : rows) {
        if (row.separator) {
            menu.addSeparator();
            continue;
        }
        QAction* action = menu.addAction(row.title);
        action->setParent(&menu);
        if (!row.symbol.isEmpty()) action->setIcon(symbolIcon(row.symbol, symbolColor));
        if (!row.shortcut.isEmpty()) action->setShortcut(row.shortcut);
        if (!row.accessibilityDescription.isEmpty()) action->setToolTip(row.accessibilityDescription);
        action->setEnabled(row.enabled());
        if (row.enabled()) {
            const StatusCommand command = row.command;
            QObject::connect(action, &QAction::triggered, &menu, [run, command] { run(command); });
        }
    }
}

namespace {

// `shape`'s alpha filled with `color`.
QImage tinted(const QImage& shape, const QColor& color) {
    QImage result = shape.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    QPainter painter(&result);
    painter.setCompositionMode(QPainter::CompositionMode_SourceIn);
    painter.fillRect(result.rect(), color);
    return result;
}

// `shape` in `ink` inside a rim of `rim` about a fourteenth of its size wide, on a canvas `rimWidth`
// larger on every side: whatever the panel's colour, the ink or the rim stands out from it.
QImage outlined(const QImage& shape, const QColor& ink, const QColor& rim, int rimWidth) {
    QImage result(shape.width() + 2 * rimWidth, shape.height() + 2 * rimWidth, QImage::Format_ARGB32_Premultiplied);
    result.fill(Qt::transparent);
    QPainter painter(&result);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    const QImage rimShape = tinted(shape, rim);
    constexpr int steps = 16;
    for (int i = 0; i < steps; ++i) {
        const double angle = 2 * M_PI * i / steps;
        painter.drawImage(QPointF(rimWidth + rimWidth * std::cos(angle), rimWidth + rimWidth * std::sin(angle)), rimShape);
    }
    painter.drawImage(QPoint(rimWidth, rimWidth), tinted(shape, ink));
    return result;
}

int rimWidthFor(int side) { return std::max(1, int(std::lround(side / 14.0))); }

} // namespace

QIcon trayIcon(const QImage& artwork, ColorScheme panelScheme) {
    // The scheme only says which of ink and rim is light: many panels are dark under a light
    // theme, and nothing tells the app the colour of the panel its icon sits on.
    const bool dark = panelScheme == ColorScheme::dark;
    const QColor ink = dark ? QColor(Qt::white) : QColor(38, 38, 38);
    const QColor rim = dark ? QColor(0, 0, 0, 230) : QColor(255, 255, 255, 235);
    QIcon icon;
    if (artwork.isNull()) {
        for (const int side : {16, 22, 32, 48}) {
            const int rimWidth = rimWidthFor(side);
            const QImage shape = Symbols::image("lock.shield", side - 2 * rimWidth, Qt::black, SymbolWeight::medium);
            icon.addPixmap(QPixmap::fromImage(outlined(shape, ink, rim, rimWidth)));
        }
        return icon;
    }
    // A template image draws only through its alpha.
    icon.addPixmap(QPixmap::fromImage(outlined(artwork, ink, rim, rimWidthFor(std::max(artwork.width(), artwork.height())))));
    return icon;
}

QImage templateArtwork() { return QImage(QStringLiteral(":/brindlecast/MenuBarTemplate.png")); }

} // namespace BrindlecastApp::StatusMenu
