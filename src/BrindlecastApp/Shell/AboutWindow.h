#pragma once

#include "BrindlecastApp/Design/Window/EditorWindowChrome.h"

#include <QUrl>

#include <functional>

namespace BrindlecastApp {

class Theme;

// "About Brindlecast": the name, the version, a credits line that is wholly a link, and the rights
// notice, in a small fixed-size themed window. The shell keeps one and brings it forward.
class AboutWindow : public EditorWindowChrome {
    Q_OBJECT
public:
    using OpenUrl = std::function<void(const QUrl&)>;

    // `version` empty leaves the version line out; `openUrl` defaults to the desktop's handler.
    AboutWindow(Theme* theme, QString version = defaultVersion(), OpenUrl openUrl = {}, QWidget* parent = nullptr);

    static QString defaultVersion(); // this build's version
    static inline const QString kTitle = QStringLiteral("About Brindlecast");
    static inline const QString kName = QStringLiteral("Brindlecast");
    static inline const QString kCredits = QStringLiteral("brindlecast.app");
    static inline const QUrl kCreditsUrl = QUrl(QStringLiteral("https://brindlecast.app"));
    static inline const QString kRights = QStringLiteral("\u00A9 2026 The Brindlecast developers.");
    static QString versionLine(const QString& version); // "Version 1.2.3"

    QWidget* creditsLink() const { return credits_; }

private:
    QWidget* credits_;
};

} // namespace BrindlecastApp
