#include "BrindlecastApp/Review/EditorTextField.h"

#include <QApplication>
#include <QKeyEvent>
#include <QPainter>
#include <QProxyStyle>

namespace BrindlecastApp {

namespace {

// Draws Qt's insertion point zero points wide, so that only the field's own shows.
class HiddenCaretStyle : public QProxyStyle {
public:
    int pixelMetric(PixelMetric metric, const QStyleOption* option, const QWidget* widget) const override {
        if (metric == PM_TextCursorWidth) return 0;
        return QProxyStyle::pixelMetric(metric, option, widget);
    }
};

constexpr int kCaretWidth = 2;

} // namespace

EditorTextField::EditorTextField(bool backingIsLight, const QColor& accent, QWidget* parent)
    : QLineEdit(parent), backingIsLight_(backingIsLight), accent_(accent) {
    setFrame(false);
    setAttribute(Qt::WA_MacShowFocusRect, false);
    setAutoFillBackground(false);
    setPlaceholderText(QStringLiteral("Type\u2026"));
    setTextMargins(6, 2, 6, 2);
    QPalette p = palette();
    p.setColor(QPalette::Base, Qt::transparent);
    p.setColor(QPalette::Window, Qt::transparent);
    p.setColor(QPalette::PlaceholderText, backingIsLight ? QColor(0, 0, 0, 110) : QColor(255, 255, 255, 130));
    setPalette(p);

    auto* style = new HiddenCaretStyle;
    style->setParent(this);
    setStyle(style);
    const int flash = QApplication::cursorFlashTime();
    caretBlink_.setInterval(flash > 0 ? flash / 2 : 0);
    connect(&caretBlink_, &QTimer::timeout, this, [this] {
        caretOn_ = !caretOn_;
        update(caretRect());
    });
    // The caret stays on while it moves, as in any text field.
    connect(this, &QLineEdit::cursorPositionChanged, this, &EditorTextField::showCaret);
    connect(this, &QLineEdit::textChanged, this, &EditorTextField::showCaret);
}

void EditorTextField::setTextColor(const QColor& color) {
    QPalette p = palette();
    p.setColor(QPalette::Text, color);
    setPalette(p);
}

QColor EditorTextField::textColor() const { return palette().color(QPalette::Text); }

void EditorTextField::paintEvent(QPaintEvent* event) {
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(QPen(accent_, 1.5));
        painter.setBrush(backingIsLight_ ? QColor::fromRgbF(1, 1, 1, 0.75f) : QColor::fromRgbF(0, 0, 0, 0.55f));
        painter.drawRoundedRect(QRectF(rect()).adjusted(1, 1, -1, -1), 5, 5);
    }
    QLineEdit::paintEvent(event);
    if (caretOn_ && hasFocus() && !isReadOnly() && !hasSelectedText()) {
        QPainter painter(this);
        QColor caret = textColor();
        caret.setAlphaF(1.0f);
        painter.fillRect(caretRect(), caret);
    }
}

QRect EditorTextField::caretRect() const {
    // QLineEdit's cursor rectangle is centred on the insertion point.
    const QRect around = cursorRect();
    return QRect(around.center().x() - kCaretWidth / 2 + 1, around.top(), kCaretWidth, around.height());
}

void EditorTextField::showCaret() {
    caretOn_ = true;
    if (hasFocus() && caretBlink_.interval() > 0) caretBlink_.start();
    update();
}

void EditorTextField::focusInEvent(QFocusEvent* event) {
    QLineEdit::focusInEvent(event);
    showCaret();
}

void EditorTextField::focusOutEvent(QFocusEvent* event) {
    QLineEdit::focusOutEvent(event);
    caretBlink_.stop();
    caretOn_ = false;
    update();
}

void EditorTextField::keyPressEvent(QKeyEvent* event) {
    switch (event->key()) {
    case Qt::Key_Escape:
        emit cancelled();
        event->accept();
        return;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        // QLineEdit commits and then passes the key on, as a dialog's default button expects.
        QLineEdit::keyPressEvent(event);
        event->accept();
        return;
    default:
        QLineEdit::keyPressEvent(event);
    }
}

} // namespace BrindlecastApp
