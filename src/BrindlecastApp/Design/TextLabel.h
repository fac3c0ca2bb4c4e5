#pragma once

#include <QFont>
#include <QWidget>

namespace BrindlecastApp {

// A line of text in one of the token text colours, following its themed root.
class TextLabel : public QWidget {
    Q_OBJECT
public:
    enum class Tone { primary, secondary };

    TextLabel(QString text, QFont font, Tone tone, QWidget* parent = nullptr);

    const QString& text() const { return text_; }
    QColor color() const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QString text_;
    QFont font_;
    Tone tone_;
};

} // namespace BrindlecastApp
