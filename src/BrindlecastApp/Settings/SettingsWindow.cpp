#include "BrindlecastApp/Settings/SettingsWindow.h"

#include "BrindlecastApp/Design/Hairline.h"
#include "BrindlecastApp/Design/PathBuilder.h"
#include "BrindlecastApp/Design/SpringHover.h"
#include "BrindlecastApp/Design/TextLabel.h"
#include "BrindlecastApp/Design/Theme.h"
#include "BrindlecastApp/Design/ThemedRoot.h"
#include "BrindlecastApp/Design/Tokens.h"
#include "BrindlecastApp/Design/Window/EditorWindowChrome.h"
#include "BrindlecastApp/Design/Window/ScreenPlacement.h"
#include "BrindlecastApp/Design/Window/WindowDragArea.h"
#include "BrindlecastApp/Settings/AppSettings.h"
#include "BrindlecastApp/Settings/AppearanceTab.h"
#include "BrindlecastApp/Settings/ExportTab.h"
#include "BrindlecastApp/Settings/ManagedTab.h"
#include "BrindlecastApp/Settings/OverlayScrollBar.h"
#include "BrindlecastApp/Settings/PolicySettings.h"
#include "BrindlecastApp/Settings/SettingsControlStyle.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QScrollArea>
#include <QVBoxLayout>
#include <QWindowStateChangeEvent>

#include <algorithm>

namespace BrindlecastApp {

namespace {

constexpr double kStripHeight = 44;


} // namespace

// --- Tabs -----------------------------------------------------------------------------------------

const QList<SettingsTab>& SettingsTabs::all() {
    static const QList<SettingsTab> tabs{SettingsTab::general, SettingsTab::appearance, SettingsTab::privacy,
                                         SettingsTab::export_, SettingsTab::managed};
    return tabs;
}

QString SettingsTabs::rawValue(SettingsTab tab) {
    switch (tab) {
    case SettingsTab::general: return "general";
    case SettingsTab::appearance: return "appearance";
    case SettingsTab::privacy: return "privacy";
    case SettingsTab::export_: return "export";
    case SettingsTab::managed: break;
    }
    return "managed";
}

std::optional<SettingsTab> SettingsTabs::fromRawValue(const QString& raw) {
    for (SettingsTab tab : all())
        if (rawValue(tab) == raw) return tab;
    return std::nullopt;
}

QString SettingsTabs::label(SettingsTab tab) {
    switch (tab) {
    case SettingsTab::general: return "General";
    case SettingsTab::appearance: return "Appearance";
    case SettingsTab::privacy: return "Privacy";
    case SettingsTab::export_: return "Export";
    case SettingsTab::managed: break;
    }
    return "MDM";
}

Icon::Glyph SettingsTabs::glyph(SettingsTab tab) {
    switch (tab) {
    case SettingsTab::general: return Icon::Glyph::gear;
    case SettingsTab::appearance: return Icon::Glyph::fillRing;
    case SettingsTab::privacy: return Icon::Glyph::detectPII;
    case SettingsTab::export_: return Icon::Glyph::folder;
    case SettingsTab::managed: break;
    }
    return Icon::Glyph::shield;
}

SettingsTabButton::SettingsTabButton(SettingsTab item, QWidget* parent)
    : QAbstractButton(parent), item_(item), hover_(new SpringHover(this)) {
    setFixedSize(76, 56);
    setText(SettingsTabs::label(item));
    setAccessibleName(text());
}

void SettingsTabButton::setSelected(bool selected) {
    selected_ = selected;
    update();
}

QColor SettingsTabButton::plateFill() const {
    const Tokens t = tokensFor(this);
    QColor fill = t.isDark() ? Design::white(0.09) : Design::black(0.05);
    // The spring overshoots its ends; the fill's opacity may not.
    if (!selected_) fill.setAlphaF(fill.alphaF() * 0.6 * std::clamp(hover_->amount(), 0.0, 1.0));
    return fill;
}

void SettingsTabButton::paintEvent(QPaintEvent*) {
    const Tokens t = tokensFor(this);
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.fillPath(continuousRoundedRect(QRectF(rect()), t.radii.button), plateFill());
    const QColor ink = selected_ ? t.primaryText() : t.secondaryText();
    const QFont font = SettingsControlStyle::font(11, QFont::Medium);
    const QFontMetricsF metrics(font);
    const double stack = 22 + 4 + metrics.height();
    const double top = (height() - stack) / 2;
    Icon::paint(painter, SettingsTabs::glyph(item_), QPointF((width() - 22) / 2.0, top), 22, ink);
    painter.setFont(font);
    painter.setPen(ink);
    painter.drawText(QRectF(0, top + 26, width(), metrics.height()), Qt::AlignHCenter | Qt::AlignTop, text());
}

// --- The view -------------------------------------------------------------------------------------

SettingsView::SettingsView(AppSettings* settings, SettingsTab tab, SettingsWindowOptions options, QWidget* parent)
    : GlassPanel(GlassVariant::window, std::nullopt, parent), settings_(settings), options_(std::move(options)),
      store_(options_.store ? *options_.store : PolicyKit::PreferenceStore::live("app.brindlecast")),
      policy_(std::make_unique<PolicySettings>(store_)), tab_(tab), scroll_(new QScrollArea) {
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);

    // The strip shares its line with the window buttons and moves the window when dragged.
    auto* strip = new WindowDragArea;
    strip->setFixedHeight(int(kStripHeight));
    auto* stripLayout = new QHBoxLayout(strip);
    stripLayout->setContentsMargins(16, 0, 16, 0);
    auto* title = new TextLabel(tr("Settings"), SettingsControlStyle::font(13, QFont::DemiBold), TextLabel::Tone::primary);
    title->setAttribute(Qt::WA_TransparentForMouseEvents);
    stripLayout->addWidget(title, 0, Qt::AlignCenter);
    column->addWidget(strip);

    auto* bar = new QHBoxLayout;
    bar->setContentsMargins(0, 0, 0, 14);
    bar->setSpacing(8);
    bar->addStretch(1);
    for (SettingsTab item : SettingsTabs::all()) {
        auto* button = new SettingsTabButton(item);
        button->setSelected(item == tab_);
        connect(button, &QAbstractButton::clicked, this, [this, item] { setTab(item); });
        buttons_ << button;
        bar->addWidget(button);
    }
    bar->addStretch(1);
    column->addLayout(bar);
    column->addWidget(new Hairline(Qt::Horizontal));

    scroll_->setFrameShape(QFrame::NoFrame);
    scroll_->setWidgetResizable(true);
    scroll_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    // Over the page's right margin, so a page that scrolls keeps the width of one that does not.
    new OverlayScrollBar(scroll_);
    scroll_->viewport()->setAutoFillBackground(false);
    scroll_->setAutoFillBackground(false);
    column->addWidget(scroll_, 1);
    setTab(tab_);
}

SettingsView::~SettingsView() {
    // The pages hold the model; they go first, deleted where they are (taken out of the scroll
    // area, the page would become a window of its own on the way).
    delete scroll_->widget();
}

SettingsTabButton* SettingsView::tabButton(SettingsTab tab) const {
    for (SettingsTabButton* button : buttons_)
        if (button->item() == tab) return button;
    return nullptr;
}

void SettingsView::setTab(SettingsTab tab) {
    if (page_ && tab == tab_) return;
    tab_ = tab;
    for (SettingsTabButton* button : buttons_) button->setSelected(button->item() == tab);
    auto* holder = new QWidget;
    holder->setAttribute(Qt::WA_TranslucentBackground);
    auto* layout = new QVBoxLayout(holder);
    layout->setContentsMargins(26, 24, 26, 26);
    page_ = buildPage(tab);
    layout->addWidget(page_);
    if (QWidget* old = scroll_->takeWidget()) old->deleteLater();
    scroll_->setWidget(holder);
    holder->setAutoFillBackground(false); // the scroll area fills what it is given; the glass shows through
}

QWidget* SettingsView::buildPage(SettingsTab tab) {
    switch (tab) {
    case SettingsTab::general: {
        const PolicyKit::PreferenceStore store = store_;
        return new GeneralTab(
            settings_, [store] { return PolicyKit::EffectivePolicy::resolve(store).policy; },
            [store](const std::string& key) { return store.managedValue(key).has_value(); }, options_.folderChooser);
    }
    case SettingsTab::appearance: return new AppearanceTab;
    case SettingsTab::privacy: return new PrivacyTab(policy_.get(), options_.applicationChooser);
    case SettingsTab::export_: return new ExportTab(settings_, policy_.get());
    case SettingsTab::managed: break;
    }
    return new ManagedTab(policy_.get(), options_.openDiagnostics);
}

// --- The window -----------------------------------------------------------------------------------

SettingsWindowController::SettingsWindowController(Theme* theme, AppSettings* settings, SettingsTab tab,
                                                   SettingsWindowOptions options, QObject* parent)
    : QObject(parent), theme_(theme), window_(new EditorWindowChrome) {
    window_->setWindowTitle(tr("Settings"));
    window_->setObjectName("settingsWindow");
    window_->setStripHeight(kStripHeight);
    window_->setCornerInset(0);
    ThemedRoot::install(window_, theme);
    view_ = new SettingsView(settings, tab, std::move(options));
    auto* layout = new QVBoxLayout(window_);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(view_);
    window_->keepRounding(view_);
    window_->setFixedSizeMode(QSize(kWidth, kHeight), /*minimisable=*/true);
    ScreenPlacement::centre(*window_, QSize(kWidth, kHeight));
    window_->installEventFilter(this);
}

SettingsWindowController::~SettingsWindowController() {
    window_->removeEventFilter(this);
    delete window_;
}

SettingsWindowController* SettingsWindowController::presentPreview(bool dark, SettingsTab tab, SettingsWindowOptions options) {
    auto theme = std::make_unique<Theme>();
    theme->setMode(dark ? ThemeMode::dark : ThemeMode::light);
    auto settings = std::make_unique<AppSettings>();
    auto* controller = new SettingsWindowController(theme.get(), settings.get(), tab, std::move(options), qApp);
    controller->ownTheme_ = std::move(theme);
    controller->ownSettings_ = std::move(settings);
    // Widgets go before the application object does: the window is deleted once the event loop
    // has ended, not with the application's children.
    QObject::connect(qApp, &QCoreApplication::aboutToQuit, controller, &QObject::deleteLater);
    controller->present();
    return controller;
}

bool SettingsWindowController::isShowing() const { return window_->isVisible() && !window_->isMinimized(); }

void SettingsWindowController::present() {
    window_->show();
    window_->raise();
    window_->activateWindow();
}

void SettingsWindowController::refreshPolicy() {
    view_->policySettings()->refresh();
    emit activated();
}

bool SettingsWindowController::eventFilter(QObject* watched, QEvent* event) {
    if (watched == window_) {
        switch (event->type()) {
        case QEvent::Show:
        case QEvent::WindowActivate: refreshPolicy(); break;
        case QEvent::WindowStateChange: {
            const auto* change = static_cast<QWindowStateChangeEvent*>(event);
            if (change->oldState() & Qt::WindowMinimized && !window_->isMinimized()) refreshPolicy();
            break;
        }
        default: break;
        }
    }
    return QObject::eventFilter(watched, event);
}

} // namespace BrindlecastApp
