#include "BrindlecastApp/Design/DesignGallery.h"

#include "BrindlecastApp/Design/GlassButton.h"
#include "BrindlecastApp/Design/GlassPanel.h"
#include "BrindlecastApp/Design/IconView.h"
#include "BrindlecastApp/Design/PathBuilder.h"
#include "BrindlecastApp/Design/TextLabel.h"
#include "BrindlecastApp/Design/Theme.h"
#include "BrindlecastApp/Design/ThemedRoot.h"
#include "BrindlecastApp/Design/ToolButton.h"
#include "BrindlecastApp/Design/Window/ScreenPlacement.h"

#include "Support/Fonts.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QPainter>
#include <QPointer>
#include <QScrollArea>
#include <QVBoxLayout>

namespace BrindlecastApp {

namespace {

QFont systemFont(int pixelSize, QFont::Weight weight) { return Support::Fonts::interfaceFont(pixelSize, weight); }

Icon::Glyph glyphNamed(const QString& name) { return Icon::fromRawValue(name).value_or(Icon::Glyph::cursor); }

// The window's backdrop: the scheme's window colour under the canvas mat.
class CanvasMatBackdrop : public QWidget {
public:
    using QWidget::QWidget;

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.fillRect(rect(), palette().color(QPalette::Window));
        painter.fillRect(rect(), tokensFor(this).canvasMat().gradient(rect()));
    }
};

// An accent swatch (circle, white rim) or a palette square (rounded, scheme-dependent rim).
class ColorChip : public QWidget {
public:
    enum class Shape { circle, roundedSquare };

    ColorChip(QColor color, Shape shape, QWidget* parent = nullptr) : QWidget(parent), color_(color), shape_(shape) {
        const int side = shape == Shape::circle ? 26 : 22;
        setFixedSize(side, side);
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        const QRectF bounds = rect();
        const QRectF inner = bounds.adjusted(0.5, 0.5, -0.5, -0.5); // the rim lies inside the edge
        painter.setPen(Qt::NoPen);
        painter.setBrush(color_);
        QPen rim(Design::white(0.5), 1);
        if (shape_ == Shape::circle) {
            painter.drawEllipse(bounds);
            painter.setPen(rim);
            painter.setBrush(Qt::NoBrush);
            painter.drawEllipse(inner);
        } else {
            painter.drawPath(continuousRoundedRect(bounds, 6));
            rim.setColor(tokensFor(this).isDark() ? Design::white(0.1) : Design::black(0.08));
            painter.setPen(rim);
            painter.setBrush(Qt::NoBrush);
            painter.drawPath(continuousRoundedRect(inner, 5.5));
        }
    }

private:
    QColor color_;
    Shape shape_;
};

// A section's body hugs the leading edge, or with `fullWidth` spans the page and places its
// content itself.
QWidget* section(const QString& name, QWidget* body, bool fullWidth = false) {
    auto* box = new QWidget;
    auto* column = new QVBoxLayout(box);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(10);
    QFont titleFont = systemFont(11, QFont::Bold);
    titleFont.setLetterSpacing(QFont::AbsoluteSpacing, 0.5);
    column->addWidget(new TextLabel(name.toUpper(), titleFont, TextLabel::Tone::secondary), 0, Qt::AlignLeft);
    if (fullWidth) {
        column->addWidget(body);
    } else {
        column->addWidget(body, 0, Qt::AlignLeft);
    }
    return box;
}

QWidget* row(int spacing, const QList<QWidget*>& items, const QMargins& margins = {}) {
    auto* box = new QWidget;
    auto* layout = new QHBoxLayout(box);
    layout->setContentsMargins(margins);
    layout->setSpacing(spacing);
    for (QWidget* item : items) layout->addWidget(item, 0, Qt::AlignVCenter);
    return box;
}

QWidget* glassPanels() {
    const std::pair<GlassVariant, const char*> samples[] = {{GlassVariant::window, "window"},
                                                            {GlassVariant::toolbar, "toolbar"},
                                                            {GlassVariant::popover, "popover"},
                                                            {GlassVariant::sidebar, "sidebar"}};
    QList<QWidget*> panels;
    for (const auto& [variant, label] : samples) {
        auto* panel = new GlassPanel(variant);
        panel->setObjectName(QStringLiteral("panel:%1").arg(label));
        panel->setFixedSize(150, 90);
        auto* layout = new QVBoxLayout(panel);
        layout->setContentsMargins(20, 20, 20, 20);
        layout->addWidget(new TextLabel(label, systemFont(12, QFont::Medium), TextLabel::Tone::primary), 0,
                          Qt::AlignCenter);
        panels << panel;
    }
    return row(16, panels);
}

QWidget* toolButtons() {
    auto* panel = new GlassPanel(GlassVariant::toolbar);
    auto* layout = new QHBoxLayout(panel);
    layout->setContentsMargins(8, 8, 8, 8);
    layout->setSpacing(6);
    for (const QString& name : DesignGalleryView::toolButtonGlyphNames()) {
        auto* button = new ToolButton(name == "rectangle", {}, IconPainter::glyph(glyphNamed(name), 19));
        button->setObjectName(QStringLiteral("tool:%1").arg(name));
        layout->addWidget(button, 0, Qt::AlignVCenter);
    }
    return panel;
}

QWidget* glassButtons() {
    return row(12, {new GlassButton("Copy", std::nullopt, GlassButton::Role::plain, {}),
                    new GlassButton("Done", std::nullopt, GlassButton::Role::prominent, {})});
}

QWidget* accentSwatches() {
    QList<QWidget*> chips;
    for (const QColor& color : Theme::accentSwatches()) chips << new ColorChip(color, ColorChip::Shape::circle);
    return row(12, chips);
}

QWidget* paletteSquares() {
    QList<QWidget*> chips;
    for (const QColor& color : Tokens::defaults().applePalette) chips << new ColorChip(color, ColorChip::Shape::roundedSquare);
    return row(6, chips);
}

QWidget* iconGrid() {
    auto* grid = new QWidget;
    auto* layout = new QGridLayout(grid);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setAlignment(Qt::AlignHCenter); // the columns sit in the middle of the page
    layout->setVerticalSpacing(14);
    layout->setHorizontalSpacing(8);
    const QStringList& names = DesignGalleryView::iconGridGlyphNames();
    for (int i = 0; i < names.size(); ++i) {
        auto* cell = new IconView(glyphNamed(names[i]), 19);
        cell->setObjectName(QStringLiteral("icon:%1").arg(names[i]));
        cell->setFixedSize(40, 20);
        layout->addWidget(cell, i / DesignGalleryView::iconGridColumns, i % DesignGalleryView::iconGridColumns);
    }
    return grid;
}

QPointer<QWidget>& galleryWindow() {
    static QPointer<QWidget> window;
    return window;
}

} // namespace

DesignGalleryView::DesignGalleryView(QWidget* parent) : ShadowHost(parent) {
    setAttribute(Qt::WA_TranslucentBackground);
    auto* stack = new QVBoxLayout(this);
    stack->setContentsMargins(28, 28, 28, 28);
    stack->setSpacing(24);
    stack->addWidget(section("Glass panels", glassPanels()));
    stack->addWidget(section("Tool buttons (rest / active)", toolButtons()));
    stack->addWidget(section("Buttons", glassButtons()));
    stack->addWidget(section("Accent swatches", accentSwatches()));
    stack->addWidget(section("Apple palette", paletteSquares()));
    stack->addWidget(section("All icons @19", iconGrid(), true));
    stack->addStretch(1);
}

const QStringList& DesignGalleryView::toolButtonGlyphNames() {
    static const QStringList names{"cursor", "rect-select", "rectangle", "freeform",
                                   "text",   "pixelate",    "detect-pii", "crop"};
    return names;
}

const QStringList& DesignGalleryView::iconGridGlyphNames() {
    static const QStringList names = [] {
        QStringList list;
        for (Icon::Glyph glyph : Icon::allGlyphs()) {
            if (glyph != Icon::Glyph::textSelect) list << Icon::rawValue(glyph);
        }
        return list;
    }();
    return names;
}

namespace DesignGallery {

QWidget* show(bool dark, Support::UserDefaults* defaults) {
    auto* window = new CanvasMatBackdrop;
    window->setWindowTitle("Design Gallery");
    auto* theme = new Theme(defaults, nullptr, window);
    theme->setMode(dark ? ThemeMode::dark : ThemeMode::light);
    ThemedRoot::install(window, theme);

    auto* scroll = new QScrollArea(window);
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setWidgetResizable(true);
    // The indicator shows when the page is taller than the window; over a page that fits, a
    // full-length handle would only read as a stray bar along the edge.
    scroll->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    // A slim indicator in the text colour, so it reads on both schemes.
    auto styleScrollBar = [scroll, window] {
        const QColor handle = Design::withOpacity(tokensFor(window).primaryText(), 0.3);
        scroll->setStyleSheet(QStringLiteral("QScrollArea, QScrollArea > QWidget > QWidget { background: transparent; }"
                                             "QScrollBar:vertical { background: transparent; width: 10px; margin: 2px; }"
                                             "QScrollBar::handle:vertical { background: %1; border-radius: 3px; min-height: 30px; }"
                                             "QScrollBar::add-line, QScrollBar::sub-line, QScrollBar::add-page, "
                                             "QScrollBar::sub-page { background: transparent; height: 0; }")
                                  .arg(handle.name(QColor::HexArgb)));
    };
    styleScrollBar();
    QObject::connect(ThemedRoot::find(window), &ThemedRoot::tokensChanged, scroll, styleScrollBar);
    scroll->viewport()->setAutoFillBackground(false);
    scroll->setWidget(new DesignGalleryView);
    auto* layout = new QVBoxLayout(window);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(scroll);

    galleryWindow() = window;
    // Shrunk to a screen that holds less (a laptop at 2x), never placed off it: the page scrolls.
    ScreenPlacement::centre(*window, QSize(720, 720));
    window->show();
    window->raise();
    window->activateWindow();
    return window;
}

QWidget* showForFlags(const QStringList& developerFlags, Support::UserDefaults* defaults) {
    if (!developerFlags.contains(QStringLiteral("--preview-gallery"))) return nullptr;
    return show(developerFlags.contains(QStringLiteral("--dark")), defaults);
}

QWidget* lastWindow() { return galleryWindow(); }

} // namespace DesignGallery

} // namespace BrindlecastApp
