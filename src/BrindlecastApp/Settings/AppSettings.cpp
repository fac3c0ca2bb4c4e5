#include "BrindlecastApp/Settings/AppSettings.h"

#include "BrindlecastApp/Channel/Channel.h"

#include "Support/FileNames.h"
#include "Support/Folders.h"
#include "Support/Log.h"
#include "Support/UserDefaults.h"

#include <QDir>
#include <QUrl>

#include <string>
#include <utility>
#include <vector>

namespace BrindlecastApp {

namespace {

const Support::Logger log("app.brindlecast", "settings");

const std::string startAtLoginKey = "settings.startAtLogin";
const std::string showFloatingThumbnailKey = "settings.showFloatingThumbnail";
const std::string openEditorAfterCaptureKey = "settings.openEditorAfterCapture";
const std::string copyToClipboardAutomaticallyKey = "settings.copyToClipboardAutomatically";
const std::string playCaptureSoundKey = "settings.playCaptureSound";
const std::string showScreenshotsSidebarKey = "settings.showScreenshotsSidebar";
const std::string rememberLastUsedToolKey = "settings.rememberLastUsedTool";
const std::string libraryLocationKey = "settings.libraryLocation";
const std::string exportFormatKey = "settings.exportFormat";
const std::string lastUsedToolKey = "settings.lastUsedTool";
// Set while the autostart entry is enabled only because the organisation locks the agent.
const std::string loginHeldByPolicyKey = "agent.loginEntryHeldByPolicy";

const nlohmann::json* find(const nlohmann::json& stored, const std::string& key) {
    const auto it = stored.find(key);
    return it == stored.end() || it->is_null() ? nullptr : &*it;
}

// "YES", "true", "1", " +007": a Y, T or non-zero digit after blanks, a sign and zeros.
bool booleanReading(const std::string& text) {
    size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t' || text[i] == '\n')) ++i;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
    while (i < text.size() && text[i] == '0') ++i;
    if (i == text.size()) return false;
    const char c = text[i];
    return c == 'Y' || c == 'y' || c == 'T' || c == 't' || (c >= '1' && c <= '9');
}

// A Boolean key holding something else reads as that value's truth, the way hand-edited files
// ("1", "YES") mean it; only an absent key gives the default.
bool readFlag(const nlohmann::json& stored, const std::string& key, bool fallback) {
    const nlohmann::json* value = find(stored, key);
    if (!value) return fallback;
    if (value->is_boolean()) return value->get<bool>();
    if (value->is_number()) return value->get<double>() != 0.0;
    if (value->is_string()) return booleanReading(value->get<std::string>());
    return false;
}

// An absolute folder, also when written as "~/..." or a file URL; anything else is unusable.
QString usableFolder(QString text) {
    if (text.startsWith("file:")) {
        const QUrl url(text);
        text = url.isValid() && url.isLocalFile() ? url.toLocalFile() : QString();
    } else if (text == "~" || text.startsWith("~/")) {
        text = Support::Folders::home() + text.mid(1);
    }
    if (text.isEmpty() || text.contains(QChar(0)) || !QDir::isAbsolutePath(text)) return {};
    return QDir::cleanPath(text);
}

// Whether the folder's name is text the preferences file can hold: a folder named in bytes that
// are no UTF-8 (FileNames) would be stored as another one.
bool isStorable(const QString& folder) { return QString::fromUtf8(folder.toUtf8()) == folder; }

QString readFolder(const nlohmann::json& stored) {
    const nlohmann::json* value = find(stored, libraryLocationKey);
    const QString folder = value && value->is_string() ? usableFolder(QString::fromStdString(value->get<std::string>())) : QString();
    const QString fallback = AppSettings::defaultLibraryLocation();
    // Earlier versions stored a default they could not name as U+FFFD in its place: that is the
    // default still.
    if (folder.isEmpty() || (!isStorable(fallback) && folder == QString::fromUtf8(Support::FileNames::encode(fallback))))
        return fallback;
    return folder;
}

} // namespace

AppSettings::AppSettings(Support::UserDefaults* defaults, QObject* parent)
    : QObject(parent), defaults_(defaults ? *defaults : Support::UserDefaults::standard()) {
    const nlohmann::json stored = defaults_.snapshot();
    startAtLogin_ = readFlag(stored, startAtLoginKey, true);
    showFloatingThumbnail_ = readFlag(stored, showFloatingThumbnailKey, true);
    openEditorAfterCapture_ = readFlag(stored, openEditorAfterCaptureKey, true);
    copyToClipboardAutomatically_ = readFlag(stored, copyToClipboardAutomaticallyKey, false);
    playCaptureSound_ = readFlag(stored, playCaptureSoundKey, true);
    showScreenshotsSidebar_ = readFlag(stored, showScreenshotsSidebarKey, true);
    rememberLastUsedTool_ = readFlag(stored, rememberLastUsedToolKey, true);
    libraryLocation_ = readFolder(stored);
    const nlohmann::json* format = find(stored, exportFormatKey);
    exportFormat_ = format && *format == "jpeg" ? ExportImageFormat::jpeg : ExportImageFormat::png;
    const nlohmann::json* tool = find(stored, lastUsedToolKey);
    if (tool && tool->is_string()) lastUsedTool_ = QString::fromStdString(tool->get<std::string>());
    // Every key then holds its effective value, so a bad one is replaced at once.
    persist();
}

QString AppSettings::defaultLibraryLocation() {
    return Support::Folders::pictures() + "/Brindlecast";
}

QString AppSettings::rawValue(ExportImageFormat format) { return format == ExportImageFormat::jpeg ? "jpeg" : "png"; }

bool AppSettings::startAtLogin() const {
    const std::shared_ptr<LoginLaunchProvider>& provider = Channel::current().loginLaunch;
    return provider && provider->isEnabled();
}

void AppSettings::setStartAtLogin(bool on) {
    startAtLogin_ = on;
    persist();
    if (const std::shared_ptr<LoginLaunchProvider> provider = Channel::current().loginLaunch) provider->apply(on);
    emit changed();
}

void AppSettings::followLoginLock(bool locked) {
    const std::shared_ptr<LoginLaunchProvider> provider = Channel::current().loginLaunch;
    if (!provider) return;
    try {
        const bool held = readFlag(defaults_.snapshot(), loginHeldByPolicyKey, false);
        if (locked && !provider->isEnabled()) {
            provider->apply(true);
            if (!held) defaults_.setValue(loginHeldByPolicyKey, true);
            log.info("the organisation locks the agent: start at login is kept on");
        } else if (!locked && held) {
            provider->apply(startAtLogin_);
            defaults_.setValue(loginHeldByPolicyKey, std::nullopt);
            log.info(QString("the agent lock ended: start at login follows the setting (%1)").arg(startAtLogin_ ? "on" : "off"));
        }
    } catch (const std::exception& error) {
        log.error(QString("start at login could not be kept with the agent lock: %1").arg(error.what()));
    }
    emit changed();
}

void AppSettings::setFlag(bool& flag, bool on) {
    flag = on;
    persist();
    emit changed();
}

void AppSettings::setLibraryLocation(const QString& folder) {
    const QString usable = usableFolder(folder);
    if (usable.isEmpty()) log.error(QString("library folder \"%1\" is not an absolute path; using the default").arg(folder));
    libraryLocation_ = usable.isEmpty() ? defaultLibraryLocation() : usable;
    persist();
    emit changed();
}

void AppSettings::setExportFormat(ExportImageFormat format) {
    exportFormat_ = format;
    persist();
    emit changed();
}

void AppSettings::setLastUsedTool(const std::optional<QString>& tool) {
    lastUsedTool_ = tool;
    persist();
    emit changed();
}

QString AppSettings::ensureLibraryLocation() const {
    Support::Folders::create(libraryLocation_);
    return libraryLocation_;
}

void AppSettings::persist() {
    const std::vector<std::pair<std::string, std::optional<nlohmann::json>>> values{
        {startAtLoginKey, startAtLogin_},
        {showFloatingThumbnailKey, showFloatingThumbnail_},
        {openEditorAfterCaptureKey, openEditorAfterCapture_},
        {copyToClipboardAutomaticallyKey, copyToClipboardAutomatically_},
        {playCaptureSoundKey, playCaptureSound_},
        {showScreenshotsSidebarKey, showScreenshotsSidebar_},
        {rememberLastUsedToolKey, rememberLastUsedTool_},
        // A folder the file cannot name is found afresh at each start instead.
        {libraryLocationKey, isStorable(libraryLocation_) ? std::optional<nlohmann::json>(libraryLocation_.toStdString())
                                                          : std::nullopt},
        {exportFormatKey, rawValue(exportFormat_).toStdString()},
        {lastUsedToolKey, lastUsedTool_ ? std::optional<nlohmann::json>(lastUsedTool_->toStdString()) : std::nullopt},
    };
    try {
        // Only keys that differ are written: each write replaces the whole file.
        const nlohmann::json stored = defaults_.snapshot();
        for (const auto& [key, value] : values) {
            const nlohmann::json* current = find(stored, key);
            const bool same = value ? current && *current == *value : !current;
            if (!same) defaults_.setValue(key, value);
        }
    } catch (const std::exception& error) {
        log.error(QString("settings could not be saved: %1").arg(error.what()));
    }
}

} // namespace BrindlecastApp
