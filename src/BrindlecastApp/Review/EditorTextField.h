#pragma once

#include <QLineEdit>

namespace BrindlecastApp {

// The single-line field in which a text annotation is typed over the image: a translucent
// rounded backing (white over light pixels, black over dark ones) edged in the accent colour,
// with the text in the annotation's colour. Return commits, Escape cancels.
class EditorTextField : public QLineEdit {
    Q_OBJECT
public:
    EditorTextField(bool backingIsLight, const QColor& accent, QWidget* parent = nullptr);

    bool backingIsLight() const { return backingIsLight_; }
    void setTextColor(const QColor& color);
    QColor textColor() const;

signals:
    void cancelled();

protected:
    void paintEvent(QPaintEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    bool backingIsLight_;
    QColor accent_;
};

} // namespace BrindlecastApp
