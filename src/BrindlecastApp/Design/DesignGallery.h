#pragma once

#include "BrindlecastApp/Design/ShadowHost.h"

#include <QStringList>
#include <QWidget>

namespace Support {
class UserDefaults;
}

namespace BrindlecastApp {

// The developer page that shows every component of the design system for visual checks: the four
// glass panels, a row of tool buttons with one active, the two glass buttons, the accent swatches,
// the fixed palette and the icon glyphs at 19 points. It must sit under a themed root.
class DesignGalleryView : public ShadowHost {
    Q_OBJECT
public:
    explicit DesignGalleryView(QWidget* parent = nullptr);

    static const QStringList& toolButtonGlyphNames(); // 8 names; "rectangle" is drawn active
    static const QStringList& iconGridGlyphNames();   // 28 names: every glyph but "text-select"
    static constexpr int iconGridColumns = 10;
};

namespace DesignGallery {

// Opens the 720 x 720 "Design Gallery" window with a theme of its own over `defaults` (the
// standard store when null), set to dark or light, which stores that mode. The window is kept,
// not deleted, when closed; an earlier gallery window is forgotten, not closed.
QWidget* show(bool dark, Support::UserDefaults* defaults = nullptr);

// What the developer flags ask for: the gallery when they hold "--preview-gallery", in the dark
// scheme when they also hold exactly "--dark". Null when the gallery is not asked for.
QWidget* showForFlags(const QStringList& developerFlags, Support::UserDefaults* defaults = nullptr);

// The gallery window opened last, or null.
QWidget* lastWindow();

} // namespace DesignGallery

} // namespace BrindlecastApp
