#pragma once

#include "BrindlecastApp/Design/GlassPanel.h"
#include "BrindlecastApp/Design/Icon.h"
#include "BrindlecastApp/Settings/GeneralTab.h"
#include "BrindlecastApp/Settings/PrivacyTab.h"
#include "PolicyKit/PreferenceStore.h"

#include <QAbstractButton>
#include <QList>
#include <QObject>
#include <QPointer>

#include <functional>
#include <memory>
#include <optional>

class QScrollArea;

namespace BrindlecastApp {

class AppSettings;
class EditorWindowChrome;
class PolicySettings;
class SpringHover;
class Theme;

// The settings pages, in tab order.
enum class SettingsTab { general, appearance, privacy, export_, managed };

namespace SettingsTabs {
const QList<SettingsTab>& all();
// "general", "appearance", "privacy", "export", "managed".
QString rawValue(SettingsTab tab);
// Exact and case-sensitive; nothing for a name that is no page.
std::optional<SettingsTab> fromRawValue(const QString& raw);
QString label(SettingsTab tab); // "General", …, "MDM"
Icon::Glyph glyph(SettingsTab tab);
} // namespace SettingsTabs

// One icon tab of the tab bar: the page's glyph over its name on a 76 x 56 plate, filled while
// selected and, fading with the quick spring, while the pointer is over it.
class SettingsTabButton : public QAbstractButton {
    Q_OBJECT
public:
    SettingsTabButton(SettingsTab item, QWidget* parent = nullptr);

    SettingsTab item() const { return item_; }
    bool isSelected() const { return selected_; }
    void setSelected(bool selected);
    // The plate's fill now (clear when neither selected nor hovered).
    QColor plateFill() const;

    QSize sizeHint() const override { return {76, 56}; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    SettingsTab item_;
    bool selected_ = false;
    SpringHover* hover_;
};

// What the settings window needs besides the theme and the settings; tests replace the parts.
struct SettingsWindowOptions {
    // The policy domain the pages read and write; the live one when absent.
    std::optional<PolicyKit::PreferenceStore> store;
    GeneralTab::FolderChooser folderChooser;
    PrivacyTab::ApplicationChooser applicationChooser;
    // The MDM page's "Policy Diagnostics…" link; does nothing when absent.
    std::function<void()> openDiagnostics;
};

// The window's content: the title strip, the five tabs, a hairline and the scrolling page of the
// selected tab. It owns the one PolicySettings its policy pages share. Switching tabs builds the
// page anew; what the settings, the theme and the model hold is unaffected.
class SettingsView : public GlassPanel {
    Q_OBJECT
public:
    SettingsView(AppSettings* settings, SettingsTab tab, SettingsWindowOptions options, QWidget* parent = nullptr);
    ~SettingsView() override;

    SettingsTab tab() const { return tab_; }
    void setTab(SettingsTab tab);
    SettingsTabButton* tabButton(SettingsTab tab) const;
    QWidget* page() const { return page_; }
    QScrollArea* pageArea() const { return scroll_; }
    PolicySettings* policySettings() const { return policy_.get(); }
    PolicyKit::PreferenceStore store() const { return store_; }

private:
    QWidget* buildPage(SettingsTab tab);

    AppSettings* settings_;
    SettingsWindowOptions options_;
    PolicyKit::PreferenceStore store_;
    std::unique_ptr<PolicySettings> policy_;
    SettingsTab tab_;
    QList<SettingsTabButton*> buttons_;
    QScrollArea* scroll_;
    QPointer<QWidget> page_;
};

// Builds, shows and keeps one settings window: fixed at 580 x 520, titled "Settings", minimisable,
// hidden (not destroyed) when closed. The policy is resolved afresh whenever the window comes on screen,
// is restored or becomes active, so a change made elsewhere is shown and never overwritten by a
// write built from an old resolution; the tab and the page stay as they are.
class SettingsWindowController : public QObject {
    Q_OBJECT
public:
    static constexpr int kWidth = 580;
    static constexpr int kHeight = 520;

    SettingsWindowController(Theme* theme, AppSettings* settings, SettingsTab tab, SettingsWindowOptions options = {},
                             QObject* parent = nullptr);
    ~SettingsWindowController() override;

    // A settings window over a fresh theme (light, or dark, and stored so) and fresh settings of the
    // preference file, not the app's own; it lives until the event loop ends.
    static SettingsWindowController* presentPreview(bool dark, SettingsTab tab, SettingsWindowOptions options = {});

    EditorWindowChrome* window() const { return window_; }
    SettingsView* view() const { return view_; }
    // On screen and not minimised: "Settings…" then brings it forward instead of opening another.
    bool isShowing() const;
    // Shows it, in front and active.
    void present();

signals:
    // The window came on screen, was restored or became active (after the policy was resolved again).
    void activated();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void refreshPolicy();

    std::unique_ptr<Theme> ownTheme_;
    std::unique_ptr<AppSettings> ownSettings_;
    QPointer<Theme> theme_;
    EditorWindowChrome* window_;
    SettingsView* view_;
};

} // namespace BrindlecastApp
