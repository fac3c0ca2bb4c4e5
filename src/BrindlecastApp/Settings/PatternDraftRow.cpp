#include "BrindlecastApp/Settings/PatternDraftRow.h"

#include "BrindlecastApp/Design/GlassButton.h"
#include "BrindlecastApp/Design/ThemedRoot.h"
#include "BrindlecastApp/Settings/SettingsControlStyle.h"
#include "Support/IcuRegex.h"

#include <QGraphicsOpacityEffect>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QShortcut>
#include <QVBoxLayout>

namespace BrindlecastApp {

namespace {

constexpr double kFieldTextSize = 12;
constexpr int kNameWidth = 132;
constexpr double kDisabledAddOpacity = 0.45;

QHBoxLayout* line(QVBoxLayout* column) {
    auto* layout = new QHBoxLayout;
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(8);
    column->addLayout(layout);
    return layout;
}

// The system red of the scheme.
class InvalidLabel : public QLabel {
public:
    using QLabel::QLabel;

protected:
    void paintEvent(QPaintEvent* event) override {
        const QColor red = tokensFor(this).isDark() ? QColor::fromRgb(255, 69, 58) : QColor::fromRgb(255, 59, 48);
        if (palette().color(QPalette::WindowText) != red) {
            QPalette tinted = palette();
            tinted.setColor(QPalette::WindowText, red);
            setPalette(tinted);
        }
        QLabel::paintEvent(event);
    }
};

} // namespace

PatternDraftRow::PatternDraftRow(std::function<bool(const PatternDraft&)> isValid, QWidget* parent)
    : QWidget(parent), isValid_(std::move(isValid)), name_(new QLineEdit), expression_(new QLineEdit),
      choice_(new MiniSegmented<bool>({{tr("Suggested"), false}, {tr("Required"), true}}, false, false,
                                      [this](const bool& mandatory) { setMandatory(mandatory); })),
      invalid_(new InvalidLabel(tr("Invalid expression"))),
      cancel_(new GlassButton(tr("Cancel"), std::nullopt, GlassButton::Role::plain, [this] { emit cancelRequested(); })),
      add_(new GlassButton(tr("Add"), std::nullopt, GlassButton::Role::plain, [this] { emit commitRequested(); })) {
    setAttribute(Qt::WA_TranslucentBackground);
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(14, 10, 14, 10);
    column->setSpacing(8);

    name_->setPlaceholderText(tr("Name"));
    name_->setFont(SettingsControlStyle::font(kFieldTextSize));
    name_->setFixedWidth(kNameWidth);
    expression_->setPlaceholderText(tr("Regular expression (ICU)"));
    expression_->setFont(SettingsControlStyle::monospacedFont(kFieldTextSize));
    QHBoxLayout* fields = line(column);
    fields->addWidget(name_);
    fields->addWidget(expression_, 1);

    invalid_->setTextFormat(Qt::PlainText);
    invalid_->setFont(SettingsControlStyle::font(11));
    auto* dim = new QGraphicsOpacityEffect(add_);
    add_->setGraphicsEffect(dim);
    QHBoxLayout* actions = line(column);
    actions->addWidget(choice_);
    actions->addWidget(invalid_);
    actions->addStretch(1);
    actions->addSpacing(8);
    actions->addWidget(cancel_);
    actions->addWidget(add_);

    connect(name_, &QLineEdit::textChanged, this, [this](const QString& text) {
        draft_.name = text;
        revalidate();
    });
    connect(expression_, &QLineEdit::textChanged, this, [this](const QString& text) {
        draft_.regex = text;
        revalidate();
    });
    connect(expression_, &QLineEdit::returnPressed, this, [this] { emit commitRequested(); });
    auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    escape->setContext(Qt::WidgetWithChildrenShortcut);
    connect(escape, &QShortcut::activated, this, [this] { emit cancelRequested(); });
    revalidate();
}

bool PatternDraftRow::isInvalidExpression(const QString& regex) {
    return !regex.isEmpty() && !Support::IcuRegex::compile(regex);
}

void PatternDraftRow::setMandatory(bool mandatory) {
    draft_.mandatory = mandatory;
    choice_->setSelected(mandatory);
}

void PatternDraftRow::revalidate() {
    invalid_->setVisible(isInvalidExpression(draft_.regex));
    const bool valid = isValid_ && isValid_(draft_);
    add_->setEnabled(valid);
    static_cast<QGraphicsOpacityEffect*>(add_->graphicsEffect())->setOpacity(valid ? 1.0 : kDisabledAddOpacity);
}

void PatternDraftRow::reset() {
    name_->clear();
    expression_->clear();
    setMandatory(false);
    draft_ = PatternDraft{};
    revalidate();
}

void PatternDraftRow::focusName() { name_->setFocus(Qt::OtherFocusReason); }

} // namespace BrindlecastApp
