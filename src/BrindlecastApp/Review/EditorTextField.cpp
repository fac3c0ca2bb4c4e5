#include "BrindlecastApp/Review/EditorTextField.h"

#include <QKeyEvent>
#include <QPainter>

namespace BrindlecastApp {

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
}

void EditorTextField::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape) {
        emit cancelled();
        return;
    }
    QLineEdit::keyPressEvent(event);
}

} // namespace BrindlecastApp
