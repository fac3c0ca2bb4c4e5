#include "BrindlecastApp/Settings/ManagedTab.h"

#include "BrindlecastApp/Design/IconView.h"
#include "BrindlecastApp/Design/PathBuilder.h"
#include "BrindlecastApp/Design/Symbols.h"
#include "BrindlecastApp/Design/TabularDigits.h"
#include "BrindlecastApp/Design/TextLabel.h"
#include "BrindlecastApp/Design/ThemedRoot.h"
#include "BrindlecastApp/Design/Tokens.h"
#include "BrindlecastApp/Settings/PolicySettings.h"
#include "BrindlecastApp/Settings/SettingsCard.h"
#include "BrindlecastApp/Settings/SettingsControlStyle.h"
#include "BrindlecastApp/Settings/SettingsRowParts.h"

#include <QAbstractButton>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QVBoxLayout>

#include <algorithm>

namespace BrindlecastApp {

using PolicyKit::EffectivePolicy;
using PolicyKit::ExportDestination;
using PolicyKit::PolicySource;
namespace Key = PolicyKit::PolicyKey;

namespace {

QColor chipFill(const Tokens& t) { return t.isDark() ? Design::white(0.09) : Design::black(0.05); }

// A value on a small capsule, in the secondary text colour; its figures are tabular, so counts
// line up from row to row.
class ValueChip : public QWidget {
public:
    explicit ValueChip(QString text) : text_(std::move(text)) {
        setObjectName("valueChip");
        setAccessibleName(text_);
        font_ = SettingsControlStyle::font(12, QFont::Medium);
        const QFontMetricsF m(font_);
        setFixedSize(int(std::ceil(TabularDigits::horizontalAdvance(font_, text_))) + 18, int(std::ceil(m.height())) + 6);
    }

protected:
    void paintEvent(QPaintEvent*) override {
        const Tokens t = tokensFor(this);
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(Qt::NoPen);
        painter.setBrush(chipFill(t));
        painter.drawRoundedRect(QRectF(rect()), height() / 2.0, height() / 2.0);
        painter.setFont(font_);
        painter.setPen(t.secondaryText());
        TabularDigits::draw(painter, QRectF(rect()), text_, Qt::AlignHCenter);
    }

private:
    QString text_;
    QFont font_;
};

// The accent-tinted plate under the "managed" banner.
class Banner : public QWidget {
protected:
    void paintEvent(QPaintEvent*) override {
        const Tokens t = tokensFor(this);
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        QColor fill = t.accent, stroke = t.accent;
        fill.setAlphaF(0.12);
        stroke.setAlphaF(0.35);
        const QRectF bounds = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
        painter.fillPath(continuousRoundedRect(QRectF(rect()), t.radii.button), fill);
        painter.setPen(QPen(stroke, 1));
        painter.drawPath(continuousRoundedRect(bounds, t.radii.button - 0.5));
    }
};

// The "Policy Diagnostics…" link: symbol and title in the accent, no bezel.
class LinkButton : public QAbstractButton {
public:
    LinkButton(QString title, std::function<void()> action) {
        setText(std::move(title));
        setCursor(Qt::PointingHandCursor);
        font_ = SettingsControlStyle::font(12, QFont::Medium);
        const QFontMetricsF m(font_);
        setFixedSize(int(std::ceil(m.horizontalAdvance(text()))) + 20, int(std::ceil(m.height())) + 4);
        connect(this, &QAbstractButton::clicked, this, [action = std::move(action)] {
            if (action) action();
        });
    }

protected:
    void paintEvent(QPaintEvent*) override {
        const Tokens t = tokensFor(this);
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        const double side = Symbols::sideForPointSize(12);
        Symbols::paint(painter, "lock.shield", QRectF(0, (height() - side) / 2, side, side), t.accent);
        painter.setFont(font_);
        painter.setPen(t.accent);
        painter.drawText(QRectF(side + 4, 0, width() - side - 4, height()), Qt::AlignVCenter | Qt::AlignLeft, text());
    }

private:
    QFont font_;
};

QWidget* lockedRow(const QString& title, const QString& value) {
    QWidget* row = makeSettingsRow(12);
    auto* layout = static_cast<QBoxLayout*>(row->layout());
    layout->addWidget(new SettingsSymbol("lock.fill", 12));
    layout->addWidget(makeSettingsText(title, SettingsControlStyle::font(13), TextLabel::Tone::primary), 1);
    layout->addSpacing(1);
    layout->addWidget(new ValueChip(value));
    return row;
}

bool managed(const EffectivePolicy& policy, const char* key) { return policy.source(key) == PolicySource::managed; }

bool contains(const std::vector<ExportDestination>& list, ExportDestination d) {
    return std::find(list.begin(), list.end(), d) != list.end();
}

} // namespace

bool ManagedTab::isManaged(const EffectivePolicy& policy) {
    return std::any_of(policy.sources.begin(), policy.sources.end(),
                       [](const auto& entry) { return entry.second == PolicySource::managed; });
}

std::vector<ManagedTab::Row> ManagedTab::rows(const EffectivePolicy& p) {
    std::vector<Row> rows;
    const auto enforced = [](size_t count) { return QString::number(count) + " enforced"; };
    const bool destinations = managed(p, Key::allowedExportDestinations);
    if (destinations)
        rows.push_back({"Save location", contains(p.allowedExportDestinations, ExportDestination::folder) ? "Enforced" : "Locked"});
    if (managed(p, Key::mandatoryReview)) rows.push_back({"Redact sensitive content", p.mandatoryReview ? "Required" : "Optional"});
    if (destinations)
        rows.push_back({"Upload to company cloud",
                        QString("Locked \u00B7 ") +
                            (contains(p.allowedExportDestinations, ExportDestination::uploadEndpoint) ? "On" : "Off")});
    if (managed(p, Key::blockedBundleIDs)) rows.push_back({"Blocked apps", enforced(size_t(p.blockedBundleIDs.size()))});
    if (managed(p, Key::watermark)) rows.push_back({"Watermark", p.watermark.enabled ? "On" : "Off"});
    if (managed(p, Key::sidecarMode)) {
        QString mode = rawValue(p.sidecarMode);
        mode[0] = mode[0].toUpper();
        rows.push_back({"Annotation storage", mode});
    }
    if (managed(p, Key::piiPatterns)) rows.push_back({"PII detection rules", enforced(p.piiPatterns.size())});
    if (managed(p, Key::lockAgent) && p.lockAgent) rows.push_back({"Agent locked", "Enforced"});
    return rows;
}

ManagedTab::ManagedTab(PolicySettings* policy, std::function<void()> openDiagnostics, QWidget* parent)
    : QWidget(parent), policy_(policy), openDiagnostics_(std::move(openDiagnostics)), layout_(new QVBoxLayout(this)) {
    setAttribute(Qt::WA_TranslucentBackground);
    layout_->setContentsMargins(0, 0, 0, 0);
    if (policy_) connect(policy_, &PolicySettings::changed, this, &ManagedTab::rebuild);
    rebuild();
}

void ManagedTab::rebuild() {
    if (content_) content_->deleteLater();
    card_ = nullptr;
    link_ = nullptr;
    content_ = new QWidget(this);
    content_->setAttribute(Qt::WA_TranslucentBackground);
    auto* column = new QVBoxLayout(content_);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(20);
    const EffectivePolicy policy = policy_ ? policy_->policy() : EffectivePolicy::safeDefaults();
    if (isManaged(policy)) {
        column->addWidget(banner());
        card_ = new SettingsCard;
        QList<QWidget*> rowWidgets;
        for (const Row& row : rows(policy)) rowWidgets << lockedRow(row.title, row.value);
        card_->setRows(rowWidgets);
        column->addWidget(card_);
        link_ = new LinkButton(tr("Policy Diagnostics…"), openDiagnostics_);
        column->addWidget(link_, 0, Qt::AlignLeft);
    } else {
        column->addWidget(notManagedPanel());
    }
    column->addStretch(1);
    layout_->addWidget(content_);
}

QWidget* ManagedTab::banner() {
    auto* banner = new Banner;
    auto* layout = new QHBoxLayout(banner);
    layout->setContentsMargins(14, 12, 14, 12);
    layout->setSpacing(12);
    auto* lock = new QLabel;
    const Tokens t = tokensFor(this);
    const int side = int(std::ceil(Symbols::sideForPointSize(15)));
    QImage image = Symbols::image("lock.fill", side * 2, t.accent);
    image.setDevicePixelRatio(2);
    lock->setPixmap(QPixmap::fromImage(image));
    lock->setFixedSize(side, side);
    layout->addWidget(lock);
    auto* texts = new QVBoxLayout;
    texts->setSpacing(2);
    texts->addWidget(makeSettingsText(tr("Managed by your organization"), SettingsControlStyle::font(13, QFont::DemiBold),
                                      TextLabel::Tone::primary));
    texts->addWidget(makeSettingsText(tr("Profile enforced"), SettingsControlStyle::font(12), TextLabel::Tone::secondary));
    layout->addLayout(texts, 1);
    return banner;
}

QWidget* ManagedTab::notManagedPanel() {
    auto* panel = new QWidget;
    panel->setAttribute(Qt::WA_TranslucentBackground);
    auto* layout = new QVBoxLayout(panel);
    layout->setContentsMargins(0, 18, 0, 18);
    layout->setSpacing(14);
    layout->addWidget(new SettingsIconTile(Icon::Glyph::shield, 34, 72, 18, SettingsIconTile::Ink::secondary), 0,
                      Qt::AlignHCenter);
    layout->addWidget(new TextLabel(tr("Not Managed"), SettingsControlStyle::font(17, QFont::DemiBold), TextLabel::Tone::primary),
                      0, Qt::AlignHCenter);
    auto* paragraph = new QLabel("This device is not currently managed by a mobile device management (MDM) profile. "
                                 "Configuration policies set by your organization would appear here.");
    paragraph->setTextFormat(Qt::PlainText);
    paragraph->setWordWrap(true);
    paragraph->setAlignment(Qt::AlignHCenter);
    paragraph->setFont(SettingsControlStyle::font(12));
    paragraph->setForegroundRole(QPalette::PlaceholderText);
    // Fixed at its wrapped size: a centred item is laid out at its size hint, which would clip it.
    paragraph->setFixedSize(360, paragraph->heightForWidth(360));
    layout->addWidget(paragraph, 0, Qt::AlignHCenter);
    return panel;
}

} // namespace BrindlecastApp
