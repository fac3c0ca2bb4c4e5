#pragma once

#include <QObject>
#include <QString>
#include <optional>

namespace Support {
class UserDefaults;
}

namespace BrindlecastApp {

// The user's own app settings (the organisation's policy lives elsewhere), kept in the preference
// file under "settings.*". Every value is read once at construction, coerced to something usable,
// and all of them are written back; from then on the values held here are the truth and every
// setter stores them all again. A write that fails is logged and retried at the next change.
// GUI thread only.
class AppSettings : public QObject {
    Q_OBJECT
public:
    // The format the app exports in; not ExportKit's own image format type.
    enum class ExportImageFormat { png, jpeg };

    // `defaults` defaults to the standard store. Construction never touches start at login.
    explicit AppSettings(Support::UserDefaults* defaults = nullptr, QObject* parent = nullptr);

    // What the current channel's login launch really does, not the stored choice: that defaults to
    // on, yet nothing starts at login until the user turns it on.
    bool startAtLogin() const;
    // Stores the choice and applies it through the channel, on every call.
    void setStartAtLogin(bool on);
    // The stored choice, which the autostart entry follows when no policy holds it.
    bool storedStartAtLogin() const { return startAtLogin_; }
    // While the organisation locks the agent the autostart entry is kept enabled, without touching
    // the stored choice; once the lock has ended, the entry follows the stored choice again. The
    // hold is remembered in the preference file, so a lock that ended while the app was not
    // running is noticed at the next launch.
    void followLoginLock(bool locked);

    bool showFloatingThumbnail() const { return showFloatingThumbnail_; }
    void setShowFloatingThumbnail(bool on) { setFlag(showFloatingThumbnail_, on); }
    bool openEditorAfterCapture() const { return openEditorAfterCapture_; }
    void setOpenEditorAfterCapture(bool on) { setFlag(openEditorAfterCapture_, on); }
    bool copyToClipboardAutomatically() const { return copyToClipboardAutomatically_; }
    void setCopyToClipboardAutomatically(bool on) { setFlag(copyToClipboardAutomatically_, on); }
    // Stored and shown in the settings; the app plays no sound.
    bool playCaptureSound() const { return playCaptureSound_; }
    void setPlayCaptureSound(bool on) { setFlag(playCaptureSound_, on); }
    bool showScreenshotsSidebar() const { return showScreenshotsSidebar_; }
    void setShowScreenshotsSidebar(bool on) { setFlag(showScreenshotsSidebar_, on); }
    bool rememberLastUsedTool() const { return rememberLastUsedTool_; }
    void setRememberLastUsedTool(bool on) { setFlag(rememberLastUsedTool_, on); }

    // An absolute folder path; a relative or empty one given to the setter means the default.
    QString libraryLocation() const { return libraryLocation_; }
    void setLibraryLocation(const QString& folder);
    ExportImageFormat exportFormat() const { return exportFormat_; }
    void setExportFormat(ExportImageFormat format);
    std::optional<QString> lastUsedTool() const { return lastUsedTool_; }
    void setLastUsedTool(const std::optional<QString>& tool);

    // Creates the library folder with its missing parents and returns it. Throws Support::IoError
    // (a file in the way, no permission).
    QString ensureLibraryLocation() const;

    // The Pictures folder (xdg-user-dirs, else ~/Pictures) + "/Brindlecast".
    static QString defaultLibraryLocation();
    static QString rawValue(ExportImageFormat format);

signals:
    // Any setter ran, even one that stored the value already held.
    void changed();

private:
    void setFlag(bool& flag, bool on);
    void persist();

    Support::UserDefaults& defaults_;
    bool startAtLogin_ = true;
    bool showFloatingThumbnail_ = true;
    bool openEditorAfterCapture_ = true;
    bool copyToClipboardAutomatically_ = false;
    bool playCaptureSound_ = true;
    bool showScreenshotsSidebar_ = true;
    bool rememberLastUsedTool_ = true;
    QString libraryLocation_;
    ExportImageFormat exportFormat_ = ExportImageFormat::png;
    std::optional<QString> lastUsedTool_;
};

} // namespace BrindlecastApp
