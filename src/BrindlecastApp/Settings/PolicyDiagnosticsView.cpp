#include "BrindlecastApp/Settings/PolicyDiagnosticsView.h"

#include "BrindlecastApp/Design/Symbols.h"
#include "BrindlecastApp/Settings/SettingsControlStyle.h"

#include <QFrame>
#include <QHash>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QResizeEvent>
#include <QScrollArea>
#include <QVBoxLayout>

#include <algorithm>

namespace BrindlecastApp {

using PolicyKit::EffectivePolicy;
using PolicyKit::PolicySource;
namespace Key = PolicyKit::PolicyKey;

namespace {

const QColor kOrange(255, 149, 0);
constexpr int kKeyColumnWidth = 210;

QString onOff(bool on) { return on ? "on" : "off"; }
QString trueFalse(bool on) { return on ? "true" : "false"; }

constexpr int kCalloutLinesHeight = 104; // about six lines; the rest scroll
constexpr int kMaxValueLength = 4000;    // a value is a line of the table, not the file

QString cut(const QString& text, int length) { return text.size() <= length ? text : text.left(length - 1) + u'…'; }

QString joined(const QStringList& parts, const QString& whenEmpty) {
    return parts.isEmpty() ? whenEmpty : parts.join(", ");
}

QColor secondary(const QPalette& palette) { return palette.color(QPalette::PlaceholderText); }

// The source as a small capsule: outlined grey for the default, tinted for the user, filled in the
// accent for the organisation.
class SourceCapsule : public QWidget {
public:
    explicit SourceCapsule(PolicySource source, QWidget* parent = nullptr)
        : QWidget(parent), source_(source), label_(PolicyDiagnosticsView::capsuleLabel(source)) {
        font_ = SettingsControlStyle::font(9, QFont::Bold);
        font_.setLetterSpacing(QFont::AbsoluteSpacing, 0.5);
        setAccessibleName(label_);
        const QFontMetricsF metrics(font_);
        setFixedSize(int(std::ceil(metrics.horizontalAdvance(label_))) + 14, int(std::ceil(metrics.height())) + 6);
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        const QPalette& p = palette();
        QColor text = secondary(p), fill = Qt::transparent, outline = Qt::transparent;
        if (source_ == PolicySource::default_) {
            outline = secondary(p);
            outline.setAlphaF(0.4);
        } else if (source_ == PolicySource::user) {
            text = p.color(QPalette::Text);
            fill = secondary(p);
            fill.setAlphaF(0.25);
        } else {
            text = Qt::white;
            fill = p.color(QPalette::Highlight);
        }
        const QRectF bounds = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5); // the outline lies inside
        const double radius = bounds.height() / 2;
        painter.setPen(outline.alpha() ? QPen(outline, 1) : Qt::NoPen);
        painter.setBrush(fill);
        painter.drawRoundedRect(bounds, radius, radius);
        painter.setFont(font_);
        painter.setPen(text);
        painter.drawText(rect(), Qt::AlignCenter, label_);
    }

private:
    PolicySource source_;
    QString label_;
    QFont font_;
};

// The callout's scrolling lines: as tall as the wrapped lines need at the width it is given, up
// to a cap, past which they scroll.
class CalloutLines : public QScrollArea {
public:
    CalloutLines(QWidget* lines, int cap) : cap_(cap) {
        setObjectName("diagnosticsScroll");
        setWidgetResizable(true);
        setFrameShape(QFrame::NoFrame);
        setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
        setStyleSheet("QScrollArea, QScrollArea > QWidget > QWidget { background: transparent; }");
        setWidget(lines);
    }

    QSize sizeHint() const override {
        const int width = viewport()->width();
        const int height = width > 0 && widget()->hasHeightForWidth() ? widget()->heightForWidth(width)
                                                                         : widget()->sizeHint().height();
        return {widget()->sizeHint().width(), std::min(height, cap_)};
    }
    QSize minimumSizeHint() const override { return {0, sizeHint().height()}; }

protected:
    void resizeEvent(QResizeEvent* event) override {
        QScrollArea::resizeEvent(event);
        if (event->oldSize().width() != event->size().width()) updateGeometry(); // the lines wrap anew
    }

private:
    int cap_;
};

QLabel* symbolLabel(const QString& name, int side, const QColor& color, qreal scale) {
    auto* label = new QLabel;
    QImage image = Symbols::image(name, int(side * scale), color);
    image.setDevicePixelRatio(scale);
    label->setPixmap(QPixmap::fromImage(image));
    label->setFixedSize(side, side);
    return label;
}

QLabel* plainText(const QString& text, const QFont& font) {
    auto* label = new QLabel(text);
    label->setTextFormat(Qt::PlainText);
    label->setFont(font);
    return label;
}

} // namespace

std::vector<PolicyDiagnosticsRow> PolicyDiagnosticsView::rows(const EffectivePolicy& policy) {
    QStringList patterns;
    for (const PolicyKit::PIIPattern& p : policy.piiPatterns) patterns << p.name + ": " + rawValue(p.action);
    QStringList destinations;
    for (PolicyKit::ExportDestination d : policy.allowedExportDestinations) destinations << rawValue(d);
    const PolicyKit::WatermarkConfig& w = policy.watermark;
    const QString watermark = w.enabled ? QString("enabled (user: %1, device: %2, timestamp: %3)")
                                              .arg(trueFalse(w.includeUser), trueFalse(w.includeDevice),
                                                   trueFalse(w.includeTimestamp))
                                        : QString("disabled");
    const auto source = [&](const char* key) { return policy.source(QString::fromLatin1(key)); };
    const PolicySource storageSource =
        source(Key::allowSidecars) == PolicySource::managed ? PolicySource::managed : source(Key::sidecarMode);
    return {
        {Key::blockedBundleIDs, joined(policy.blockedBundleIDs, "none"), source(Key::blockedBundleIDs)},
        {Key::blockedAppBehavior, rawValue(policy.blockedAppBehavior), source(Key::blockedAppBehavior)},
        {Key::piiPatterns, joined(patterns, "builtins at defaults"), source(Key::piiPatterns)},
        {Key::mandatoryReview, onOff(policy.mandatoryReview), source(Key::mandatoryReview)},
        {Key::watermark, watermark, source(Key::watermark)},
        {Key::allowedExportDestinations, destinations.join(", "), source(Key::allowedExportDestinations)},
        {Key::auditWebhookURL, policy.auditWebhookURL ? policy.auditWebhookURL->toString(QUrl::FullyEncoded) : "none",
         source(Key::auditWebhookURL)},
        {Key::sidecarMode, rawValue(policy.sidecarMode), storageSource},
        {Key::lockAgent, onOff(policy.lockAgent), source(Key::lockAgent)},
    };
}

QStringList PolicyDiagnosticsView::calloutLines(const QStringList& diagnostics) {
    QHash<QString, int> seen; // line -> index in `order`
    std::vector<std::pair<QString, int>> order;
    for (const QString& line : diagnostics) {
        const auto it = seen.constFind(line);
        if (it != seen.constEnd()) {
            ++order[size_t(*it)].second;
            continue;
        }
        seen.insert(line, int(order.size()));
        order.emplace_back(line, 1);
    }
    QStringList lines;
    qsizetype shown = 0;
    for (const auto& [line, count] : order) {
        if (lines.size() == kMaxCalloutLines) break;
        const QString text = cut(line, kMaxLineLength);
        lines << (count == 1 ? text : tr("%1 (×%2)").arg(text).arg(count));
        shown += count;
    }
    if (shown < diagnostics.size()) lines << tr("…and %1 more").arg(diagnostics.size() - shown);
    return lines;
}

int PolicyDiagnosticsView::managedCount(const std::vector<PolicyDiagnosticsRow>& rows) {
    return int(std::count_if(rows.begin(), rows.end(), [](const auto& r) { return r.source == PolicySource::managed; }));
}

QString PolicyDiagnosticsView::subtitle(const std::vector<PolicyDiagnosticsRow>& rows) {
    const int managed = managedCount(rows);
    if (managed == 0) return tr("No managed settings — defaults and user preferences only");
    return tr("%1 of %2 settings managed by your organization").arg(managed).arg(rows.size());
}

QString PolicyDiagnosticsView::capsuleLabel(PolicySource source) {
    switch (source) {
    case PolicySource::user: return "USER";
    case PolicySource::managed: return "MANAGED";
    case PolicySource::default_: break;
    }
    return "DEFAULT";
}

PolicyDiagnosticsView::PolicyDiagnosticsView(EffectivePolicy policy, QStringList diagnostics, QWidget* parent)
    : QWidget(parent), policy_(std::move(policy)), diagnostics_(std::move(diagnostics)) {
    setMinimumSize(640, 440);
    const std::vector<PolicyDiagnosticsRow> table = rows(policy_);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(header(table));
    if (!diagnostics_.isEmpty()) {
        auto* padded = new QWidget;
        auto* paddedLayout = new QVBoxLayout(padded);
        paddedLayout->setContentsMargins(20, 0, 20, 0);
        callout_ = makeCallout();
        paddedLayout->addWidget(callout_);
        layout->addWidget(padded);
    }
    auto* list = new QWidget;
    auto* listLayout = new QVBoxLayout(list);
    listLayout->setContentsMargins(20, 10, 20, 10);
    listLayout->setSpacing(0);
    for (const PolicyDiagnosticsRow& row : table) listLayout->addWidget(rowWidget(row));
    listLayout->addStretch(1);
    auto* scroll = new QScrollArea;
    scroll->setWidgetResizable(true);
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setWidget(list);
    layout->addWidget(scroll, 1);
}

QWidget* PolicyDiagnosticsView::header(const std::vector<PolicyDiagnosticsRow>& table) {
    auto* header = new QWidget;
    auto* row = new QHBoxLayout(header);
    row->setContentsMargins(20, 20, 20, 20);
    row->setSpacing(12);
    row->addWidget(symbolLabel("lock.shield.fill", 32, palette().color(QPalette::Highlight), devicePixelRatioF()));
    auto* titles = new QVBoxLayout;
    titles->setSpacing(2);
    QFont titleFont = SettingsControlStyle::font(15, QFont::DemiBold);
    titles->addWidget(plainText(tr("Effective Policy"), titleFont));
    QLabel* subtitle = plainText(PolicyDiagnosticsView::subtitle(table), SettingsControlStyle::font(10));
    subtitle->setForegroundRole(QPalette::PlaceholderText);
    subtitle->setObjectName("subtitle");
    titles->addWidget(subtitle);
    row->addLayout(titles);
    row->addStretch(1);
    return header;
}

QWidget* PolicyDiagnosticsView::makeCallout() {
    auto* callout = new QFrame;
    callout->setObjectName("diagnosticsCallout");
    QColor tint = kOrange;
    tint.setAlphaF(0.12);
    callout->setStyleSheet(QString("#diagnosticsCallout { background: %1; border-radius: 8px; }").arg(tint.name(QColor::HexArgb)));
    auto* layout = new QVBoxLayout(callout);
    layout->setContentsMargins(10, 10, 10, 10);
    layout->setSpacing(4);
    QPalette orange = callout->palette();
    orange.setColor(QPalette::WindowText, kOrange);
    auto* title = new QHBoxLayout;
    title->setSpacing(4);
    title->addWidget(symbolLabel("exclamationmark.triangle.fill", 12, kOrange, devicePixelRatioF()));
    QLabel* heading = plainText(tr("Policy diagnostics"), SettingsControlStyle::font(10, QFont::DemiBold));
    heading->setPalette(orange);
    title->addWidget(heading);
    title->addStretch(1);
    layout->addLayout(title);
    auto* lines = new QWidget;
    lines->setObjectName("diagnosticLines");
    auto* linesLayout = new QVBoxLayout(lines);
    linesLayout->setContentsMargins(0, 0, 0, 0);
    linesLayout->setSpacing(4);
    for (const QString& line : calloutLines(diagnostics_)) {
        QLabel* text = plainText(line, SettingsControlStyle::font(10));
        text->setObjectName("diagnosticLine");
        text->setWordWrap(true);
        text->setPalette(orange);
        linesLayout->addWidget(text);
    }
    // The lines scroll inside the callout, which stays a few lines tall, so the table below
    // keeps its room whatever the resolver reported.
    layout->addWidget(new CalloutLines(lines, kCalloutLinesHeight));
    return callout;
}

QWidget* PolicyDiagnosticsView::rowWidget(const PolicyDiagnosticsRow& entry) {
    auto* row = new QWidget;
    row->setObjectName("row:" + entry.key);
    auto* outer = new QVBoxLayout(row);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->setSpacing(0);
    auto* line = new QHBoxLayout;
    line->setContentsMargins(4, 5, 4, 5);
    line->setSpacing(12);
    QLabel* key = plainText(entry.key, SettingsControlStyle::monospacedFont(12, QFont::Medium));
    key->setFixedWidth(kKeyColumnWidth);
    line->addWidget(key, 0, Qt::AlignTop);
    QLabel* value = plainText(cut(entry.value, kMaxValueLength), SettingsControlStyle::font(12));
    value->setObjectName("value");
    value->setForegroundRole(QPalette::PlaceholderText);
    value->setTextInteractionFlags(Qt::TextSelectableByMouse);
    value->setWordWrap(true);
    line->addWidget(value, 1, Qt::AlignTop);
    line->addSpacing(8);
    line->addWidget(new SourceCapsule(entry.source), 0, Qt::AlignTop);
    outer->addLayout(line);
    auto* separator = new QFrame;
    separator->setFrameShape(QFrame::HLine);
    separator->setFrameShadow(QFrame::Plain);
    separator->setForegroundRole(QPalette::Mid);
    outer->addWidget(separator);
    return row;
}

} // namespace BrindlecastApp
