#pragma once

#include "BrindlecastApp/Settings/PolicySettings.h"
#include "BrindlecastApp/Settings/PrivacyTab.h"
#include "../ThemedWindow.h"

#include <QCoreApplication>
#include <QDir>
#include <QVBoxLayout>

#include <memory>
#include <optional>

// The Privacy page alone in a themed window as wide as the settings window, with the settings
// window's page margins, over a PolicySettings of the caller's store. The application chooser
// answers what the test put in `nextChoice`.
struct PrivacyTestWindow {
    explicit PrivacyTestWindow(PolicyKit::PreferenceStore store,
                               BrindlecastApp::ThemeMode mode = BrindlecastApp::ThemeMode::light,
                               std::optional<BrindlecastApp::PrivacyTab::ApplicationChooser> chooser = std::nullopt)
        : themed(mode), model(std::move(store)) {
        auto* layout = new QVBoxLayout(&themed.window);
        layout->setContentsMargins(26, 24, 26, 26);
        page = new BrindlecastApp::PrivacyTab(
            &model, chooser.value_or([this](QWidget*) { return std::exchange(nextChoice, std::nullopt); }));
        layout->addWidget(page);
        themed.window.setAutoFillBackground(true);
        themed.window.setFixedWidth(580);
        themed.window.show();
        fit();
    }

    // Lets the page redraw after a change (it does so on the next turn of the event loop) and
    // sizes the window to the whole page.
    void settle() {
        for (int i = 0; i < 3; ++i) {
            QCoreApplication::processEvents();
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        }
        fit();
    }
    void fit() {
        const int height = themed.window.heightForWidth(580);
        themed.window.resize(580, height > 0 ? height : themed.window.sizeHint().height());
    }

    // The whole window as a picture, kept under the build's artefacts folder.
    QImage screenshot(const QString& name) {
        settle();
        const QImage image = themed.window.grab().toImage();
        QString folder = qEnvironmentVariable("BRINDLECAST_ARTEFACTS");
        if (!folder.isEmpty()) {
            QDir().mkpath(folder);
            image.save(folder + "/" + name + ".png");
        }
        return image;
    }

    ThemedWindow themed;
    BrindlecastApp::PolicySettings model;
    BrindlecastApp::PrivacyTab* page = nullptr;
    std::optional<QString> nextChoice;
};
