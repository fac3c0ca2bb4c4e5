#include "BrindlecastApp/Settings/SettingsRowParts.h"

#include "BrindlecastApp/Design/PathBuilder.h"
#include "BrindlecastApp/Design/Symbols.h"
#include "BrindlecastApp/Design/ThemedRoot.h"
#include "BrindlecastApp/Design/ToolTip.h"
#include "BrindlecastApp/Settings/SettingsControlStyle.h"

#include <QFontMetricsF>
#include "BrindlecastApp/Settings/SettingsSectionHeader.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>
#include <QPainter>

#include <cmath>

namespace BrindlecastApp {

namespace {

constexpr double kAddSymbolSize = 14;
constexpr double kAddTitleSize = 13;
constexpr int kRowSide = 14;
constexpr int kItemSpacing = 11;
constexpr int kAddRowVertical = 11;

QSize symbolSize(double pointSize) {
    const int side = int(std::ceil(Symbols::sideForPointSize(pointSize)));
    return {side, side};
}

void paintCentred(QPainter& painter, const QWidget& widget, const QString& symbol, double pointSize, const QColor& color) {
    const double side = Symbols::sideForPointSize(pointSize);
    const QRectF box((widget.width() - side) / 2, (widget.height() - side) / 2, side, side);
    painter.setRenderHint(QPainter::Antialiasing);
    Symbols::paint(painter, symbol, box, color);
}

} // namespace

SettingsSymbol::SettingsSymbol(QString symbol, double pointSize, const QString& help, QWidget* parent)
    : QWidget(parent), symbol_(std::move(symbol)), pointSize_(pointSize) {
    setFixedSize(symbolSize(pointSize));
    setAttribute(Qt::WA_TranslucentBackground);
    setToolTip(help);
    if (!help.isEmpty()) ToolTip::install(this);
}

QSize SettingsSymbol::sizeHint() const { return symbolSize(pointSize_); }

void SettingsSymbol::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    paintCentred(painter, *this, symbol_, pointSize_, tokensFor(this).secondaryText());
}

SettingsSymbolButton::SettingsSymbolButton(QString symbol, double pointSize, const QString& help,
                                           std::function<void()> action, QWidget* parent)
    : QAbstractButton(parent), symbol_(std::move(symbol)), pointSize_(pointSize) {
    setFixedSize(symbolSize(pointSize));
    setToolTip(help);
    ToolTip::install(this);
    setCursor(Qt::ArrowCursor);
    if (action) connect(this, &QAbstractButton::clicked, this, [action = std::move(action)] { action(); });
}

QSize SettingsSymbolButton::sizeHint() const { return symbolSize(pointSize_); }

void SettingsSymbolButton::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    paintCentred(painter, *this, symbol_, pointSize_, tokensFor(this).secondaryText());
}

SettingsAddRow::SettingsAddRow(const QString& title, std::function<void()> action, QWidget* parent)
    : QAbstractButton(parent) {
    setText(title);
    setFont(SettingsControlStyle::font(kAddTitleSize));
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    if (action) connect(this, &QAbstractButton::clicked, this, [action = std::move(action)] { action(); });
}

QSize SettingsAddRow::sizeHint() const {
    const QFontMetricsF metrics(font());
    const double side = Symbols::sideForPointSize(kAddSymbolSize);
    const double width = kRowSide + side + kItemSpacing + metrics.horizontalAdvance(text()) + kRowSide;
    const double height = std::max(side, metrics.height()) + 2 * kAddRowVertical;
    return {int(std::ceil(width)), int(std::ceil(height))};
}

QSize SettingsAddRow::minimumSizeHint() const { return sizeHint(); }

void SettingsAddRow::paintEvent(QPaintEvent*) {
    const QColor accent = tokensFor(this).accent;
    const double side = Symbols::sideForPointSize(kAddSymbolSize);
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    Symbols::paint(painter, "plus.circle", QRectF(kRowSide, (height() - side) / 2, side, side), accent);
    painter.setFont(font());
    painter.setPen(accent);
    const double textX = kRowSide + side + kItemSpacing;
    painter.drawText(QRectF(textX, 0, width() - textX - kRowSide, height()), Qt::AlignLeft | Qt::AlignVCenter, text());
}

TextLabel* makeSettingsText(const QString& text, const QFont& font, TextLabel::Tone tone) {
    auto* label = new TextLabel(text, font, tone);
    label->setElided();
    return label;
}

SettingsIconTile::SettingsIconTile(Icon::Glyph glyph, double glyphSize, int side, double radius, Ink ink, QWidget* parent)
    : QWidget(parent), glyph_(glyph), glyphSize_(glyphSize), radius_(radius), ink_(ink) {
    setFixedSize(side, side);
}

void SettingsIconTile::paintEvent(QPaintEvent*) {
    // The glyph is drawn here, in the colour the tokens give now: a paint changes nothing, so it
    // never asks for another (and the tile follows a change of scheme or accent with the rest).
    const Tokens t = tokensFor(this);
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.fillPath(continuousRoundedRect(QRectF(rect()), radius_), t.isDark() ? Design::white(0.09) : Design::black(0.05));
    const QPointF origin((width() - glyphSize_) / 2, (height() - glyphSize_) / 2);
    Icon::paint(painter, glyph_, origin, glyphSize_, ink_ == Ink::accent ? t.accent : t.secondaryText());
}

QWidget* makeSettingsSection(const QString& title, QWidget* card, const QString& caption) {
    auto* section = new QWidget;
    section->setAttribute(Qt::WA_TranslucentBackground);
    auto* layout = new QVBoxLayout(section);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(new SettingsSectionHeader(title));
    layout->addWidget(card);
    if (caption.isNull()) return section;
    auto* text = new QLabel(caption);
    text->setObjectName("caption");
    text->setTextFormat(Qt::PlainText);
    text->setWordWrap(true);
    text->setFont(SettingsControlStyle::font(11.5));
    text->setForegroundRole(QPalette::PlaceholderText); // the secondary text colour of the scheme
    text->setContentsMargins(2, 6, 2, 0);
    layout->addWidget(text);
    return section;
}

QWidget* makeSettingsRow(int verticalPadding, QWidget* parent) {
    auto* row = new QWidget(parent);
    row->setAttribute(Qt::WA_TranslucentBackground);
    auto* layout = new QHBoxLayout(row);
    layout->setContentsMargins(kRowSide, verticalPadding, kRowSide, verticalPadding);
    layout->setSpacing(kItemSpacing);
    return row;
}

} // namespace BrindlecastApp
