#include "BrindlecastApp/Design/ThemedRoot.h"

#include "BrindlecastApp/Design/DesktopSettings.h"
#include "BrindlecastApp/Design/Theme.h"

#include <QPalette>
#include <QWidget>

namespace BrindlecastApp {

QPalette paletteFor(const Tokens& t) {
    const bool dark = t.isDark();
    const QColor window = dark ? QColor::fromRgb(28, 28, 32) : QColor::fromRgb(246, 246, 248);
    const QColor base = dark ? QColor::fromRgb(22, 22, 28) : QColor::fromRgb(255, 255, 255);
    QPalette palette(window);
    palette.setColor(QPalette::Window, window);
    palette.setColor(QPalette::Base, base);
    palette.setColor(QPalette::AlternateBase, window);
    palette.setColor(QPalette::Button, window);
    for (QPalette::ColorRole role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
        palette.setColor(role, t.primaryText());
    palette.setColor(QPalette::PlaceholderText, t.secondaryText());
    palette.setColor(QPalette::Highlight, t.accent);
    palette.setColor(QPalette::HighlightedText, Qt::white);
    palette.setColor(QPalette::Link, t.accent);
    return palette;
}

ThemedRoot::ThemedRoot(QWidget* root, Theme* theme, DesktopSettings* desktop)
    : QObject(root), root_(root), theme_(theme), desktop_(desktop) {
    setObjectName(QStringLiteral("brindlecast-themed-root"));
}

ThemedRoot* ThemedRoot::install(QWidget* root, Theme* theme, DesktopSettings* desktop) {
    if (!root) return nullptr;
    DesktopSettings* settings = desktop ? desktop : &DesktopSettings::instance();
    ThemedRoot* existing = root->findChild<ThemedRoot*>(QString(), Qt::FindDirectChildrenOnly);
    if (existing) delete existing; // a root has one theme; re-installing replaces it
    auto* marker = new ThemedRoot(root, theme, settings);
    if (theme) connect(theme, &Theme::changed, marker, &ThemedRoot::refresh);
    connect(settings, &DesktopSettings::accessibilityChanged, marker, &ThemedRoot::refresh);
    marker->refresh();
    return marker;
}

ThemedRoot* ThemedRoot::find(const QWidget* widget) {
    for (const QWidget* w = widget; w; w = w->parentWidget()) {
        if (auto* marker = w->findChild<ThemedRoot*>(QString(), Qt::FindDirectChildrenOnly)) return marker;
    }
    return nullptr;
}

Theme* ThemedRoot::theme() const { return theme_.data(); }

Tokens ThemedRoot::tokens() const {
    Tokens t = theme_ ? theme_->tokens() : Tokens::defaults();
    if (preferredScheme_) t.scheme = *preferredScheme_;
    return t;
}

void ThemedRoot::setPreferredScheme(std::optional<ColorScheme> scheme) {
    if (scheme == preferredScheme_) return;
    preferredScheme_ = scheme;
    refresh();
}

bool ThemedRoot::reduceMotion() const { return desktop_ && desktop_->reduceMotion(); }

bool ThemedRoot::reduceTransparency() const { return desktop_ && desktop_->reduceTransparency(); }

void ThemedRoot::refresh() {
    root_->setPalette(paletteFor(tokens()));
    root_->update();
    for (QWidget* child : root_->findChildren<QWidget*>()) child->update();
    emit tokensChanged();
}

Tokens tokensFor(const QWidget* widget) {
    const ThemedRoot* root = ThemedRoot::find(widget);
    return root ? root->tokens() : Tokens::defaults();
}

QColor swatchRimFor(const QWidget* widget) { return Design::withOpacity(tokensFor(widget).secondaryText(), 0.35); }

Theme* themeFor(const QWidget* widget) {
    const ThemedRoot* root = ThemedRoot::find(widget);
    return root ? root->theme() : nullptr;
}

bool reduceMotionFor(const QWidget* widget) {
    const ThemedRoot* root = ThemedRoot::find(widget);
    return root && root->reduceMotion();
}

bool reduceTransparencyFor(const QWidget* widget) {
    const ThemedRoot* root = ThemedRoot::find(widget);
    return root && root->reduceTransparency();
}

} // namespace BrindlecastApp
