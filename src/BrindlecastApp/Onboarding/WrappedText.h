#pragma once

#include <QFont>
#include <QWidget>

namespace BrindlecastApp {

// Text in a token colour that wraps at word boundaries to the width it is given and asks for the
// height that takes, so it is never cut; `maximumLines` (0 for no limit) ends it with an ellipsis.
class WrappedText : public QWidget {
    Q_OBJECT
public:
    enum class Tone { primary, secondary };

    WrappedText(QString text, QFont font, Tone tone, Qt::Alignment alignment = Qt::AlignLeft, int maximumLines = 0,
                QWidget* parent = nullptr);

    const QString& text() const { return text_; }
    QColor color() const;
    // The lines the text takes at `width`, after the line limit.
    QStringList linesAt(int width) const;

    bool hasHeightForWidth() const override { return true; }
    int heightForWidth(int width) const override;
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QString text_;
    QFont font_;
    Tone tone_;
    Qt::Alignment alignment_;
    int maximumLines_;
};

} // namespace BrindlecastApp
