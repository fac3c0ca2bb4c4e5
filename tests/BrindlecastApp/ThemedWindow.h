#pragma once

#include "BrindlecastApp/Design/DesktopSettings.h"
#include "BrindlecastApp/Design/Theme.h"
#include "BrindlecastApp/Design/ThemedRoot.h"

#include "Support/UserDefaults.h"
#include "support/TestEnvironment.h"

#include <QImage>
#include <QWidget>

// A themed top-level widget over a store and desktop settings of its own, for widget tests.
struct ThemedWindow {
    explicit ThemedWindow(BrindlecastApp::ThemeMode mode = BrindlecastApp::ThemeMode::light)
        : defaults(TestSupport::makeTemporaryFolder("themed") + "/preferences.json"), theme(&defaults, &desktop) {
        theme.setMode(mode);
        BrindlecastApp::ThemedRoot::install(&window, &theme, &desktop);
    }

    Support::UserDefaults defaults;
    BrindlecastApp::DesktopSettings desktop;
    BrindlecastApp::Theme theme;
    QWidget window;
};

// The widget rendered on its own onto a transparent image (no window needed).
inline QImage renderAlone(QWidget& widget) {
    QImage image(widget.size(), QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    widget.render(&image, QPoint(), QRegion(), QWidget::DrawChildren);
    return image;
}
