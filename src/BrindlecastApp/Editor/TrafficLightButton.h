#pragma once

#include <QAbstractButton>

namespace BrindlecastApp {

// One of the three round window buttons, 12 points wide, in its token colour; while the pointer
// is over it, it shows its mark (cross, bar or plus).
class TrafficLightButton : public QAbstractButton {
    Q_OBJECT
public:
    enum class Kind { close, minimize, zoom };

    explicit TrafficLightButton(Kind kind, QWidget* parent = nullptr);

    Kind kind() const { return kind_; }
    QSize sizeHint() const override { return {12, 12}; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;

private:
    Kind kind_;
    bool hovering_ = false;
};

} // namespace BrindlecastApp
