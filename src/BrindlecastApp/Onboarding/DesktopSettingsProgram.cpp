#include "BrindlecastApp/Onboarding/DesktopSettingsProgram.h"

#include "Support/Log.h"

#include <QProcess>
#include <QStandardPaths>

#include <utility>

namespace BrindlecastApp::DesktopSettingsProgram {

namespace {

// Desktop names as XDG_CURRENT_DESKTOP spells them, with their settings programs.
const std::pair<const char*, const char*> kPrograms[] = {
    {"GNOME", "gnome-control-center"}, {"Unity", "gnome-control-center"}, {"KDE", "systemsettings"},
    {"XFCE", "xfce4-settings-manager"}, {"X-Cinnamon", "cinnamon-settings"}, {"MATE", "mate-control-center"},
    {"LXQt", "lxqt-config"},           {"Budgie", "gnome-control-center"},
};

const Support::Logger& log() {
    static const Support::Logger logger("app.brindlecast", "onboarding");
    return logger;
}

} // namespace

std::optional<QString> choose(const QString& currentDesktop, const std::function<bool(const QString&)>& installed) {
    for (const QString& desktop : currentDesktop.split(':', Qt::SkipEmptyParts))
        for (const auto& [name, program] : kPrograms)
            if (desktop.compare(QLatin1String(name), Qt::CaseInsensitive) == 0 && installed(program)) return QString(program);
    for (const auto& [name, program] : kPrograms)
        if (installed(program)) return QString(program);
    return std::nullopt;
}

bool open() {
    const std::optional<QString> program =
        choose(qEnvironmentVariable("XDG_CURRENT_DESKTOP"),
               [](const QString& name) { return !QStandardPaths::findExecutable(name).isEmpty(); });
    if (!program) {
        log().notice("no desktop settings program is installed to open");
        return false;
    }
    if (!QProcess::startDetached(*program, {})) {
        log().error(QString("could not start %1").arg(*program));
        return false;
    }
    return true;
}

} // namespace BrindlecastApp::DesktopSettingsProgram
