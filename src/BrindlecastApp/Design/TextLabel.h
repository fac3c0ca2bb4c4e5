#pragma once

#include <QFont>
#include <QWidget>

namespace BrindlecastApp {

// A line of text in one of the token text colours, following its themed root. The text is drawn,
// never read as markup.
class TextLabel : public QWidget {
    Q_OBJECT
public:
    enum class Tone { primary, secondary };

    TextLabel(QString text, QFont font, Tone tone, QWidget* parent = nullptr);

    const QString& text() const { return text_; }
    void setText(const QString& text);
    QColor color() const;
    // Figures all of one width from now on, so that a number that changes does not shift.
    void setTabularDigits();
    // Where the text sits across a label wider than it: centred unless told otherwise.
    void setAlignment(Qt::Alignment alignment);
    // From now on the text starts at the leading edge and, when the row is too narrow, is cut with
    // an ellipsis instead of widening it: for values that come from stored or managed data. Line
    // breaks in the text are shown as spaces.
    void setElided();
    // The text as drawn at the current width.
    QString shownText() const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QString text_;
    QFont font_;
    Tone tone_;
    bool elided_ = false;
    bool tabular_ = false;
    Qt::Alignment alignment_ = Qt::AlignHCenter;
};

} // namespace BrindlecastApp
