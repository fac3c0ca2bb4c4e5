#pragma once

#include <QWidget>

namespace BrindlecastApp {

class WrappedText;

// One step of the walkthrough: its number on an accent disc, its title, its caption wrapped to as
// many lines as it needs, and its picture below them, on a faint rounded card.
class StepCard : public QWidget {
    Q_OBJECT
public:
    // `picture` becomes the card's child; a picture that keeps its natural width stays at the left.
    StepCard(int number, const QString& title, const QString& caption, QWidget* picture, QWidget* parent = nullptr);

    int number() const { return number_; }
    WrappedText* caption() const { return caption_; }
    QWidget* picture() const { return picture_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    int number_;
    WrappedText* caption_;
    QWidget* picture_;
};

} // namespace BrindlecastApp
