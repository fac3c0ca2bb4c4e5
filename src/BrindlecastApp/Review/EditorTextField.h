#pragma once

#include <QLineEdit>
#include <QTimer>

namespace BrindlecastApp {

// The single-line field in which a text annotation is typed over the image: a translucent
// rounded backing (white over light pixels, black over dark ones) edged in the accent colour,
// with the text and the insertion point in the annotation's colour. Return commits, Escape
// cancels; neither goes further (the window would take them as Export and Cancel).
class EditorTextField : public QLineEdit {
    Q_OBJECT
public:
    EditorTextField(bool backingIsLight, const QColor& accent, QWidget* parent = nullptr);

    bool backingIsLight() const { return backingIsLight_; }
    // The colour of the text and of the insertion point.
    void setTextColor(const QColor& color);
    QColor textColor() const;

signals:
    void cancelled();

protected:
    void paintEvent(QPaintEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    void showCaret();
    QRect caretRect() const;

    bool backingIsLight_;
    QColor accent_;
    // Qt inverts the pixels under its own insertion point, which reads white on the dark backing;
    // the field hides that one and blinks its own.
    QTimer caretBlink_;
    bool caretOn_ = false;
};

} // namespace BrindlecastApp
