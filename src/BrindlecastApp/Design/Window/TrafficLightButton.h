#pragma once

#include <QAbstractButton>

#include <array>

namespace BrindlecastApp {

// One of the three round window buttons, 12 points wide. In an active window it wears its token
// colour; in an inactive one it is a neutral grey until the pointer is over the group. Its mark
// (cross, bar or plus) shows while the pointer is over any button of the group, which sets it.
class TrafficLightButton : public QAbstractButton {
    Q_OBJECT
public:
    enum class Kind { close, minimize, zoom };

    explicit TrafficLightButton(Kind kind, QWidget* parent = nullptr);

    Kind kind() const { return kind_; }
    QSize sizeHint() const override { return {12, 12}; }

    void setShowsMark(bool shows);
    bool showsMark() const { return showsMark_; }
    // The colour of the disc as drawn now.
    QColor fillColor() const;

protected:
    void paintEvent(QPaintEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    Kind kind_;
    bool showsMark_ = false;
};

// Tracks the pointer over the three buttons and the gaps between them, as one area: while it is
// inside, every button shows its mark.
class TrafficLightGroup : public QWidget {
    Q_OBJECT
public:
    TrafficLightGroup(std::array<TrafficLightButton*, 3> buttons, QWidget* parent);

    // Covers the buttons' frames (call after moving them) and stays just beneath them.
    void follow();
    bool isHovered() const { return insideArea_ || insideButtons_ > 0; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;

private:
    void refresh();

    std::array<TrafficLightButton*, 3> buttons_;
    bool insideArea_ = false;
    int insideButtons_ = 0;
};

} // namespace BrindlecastApp
