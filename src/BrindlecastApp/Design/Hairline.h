#pragma once

#include <QWidget>
#include <optional>

namespace BrindlecastApp {

// The 1-point rule between controls, in the primary text colour at 0.14. A vertical rule without a
// length is 22 points tall; a horizontal one without a length takes the width it is offered.
class Hairline : public QWidget {
    Q_OBJECT
public:
    explicit Hairline(Qt::Orientation axis, std::optional<double> length = std::nullopt, QWidget* parent = nullptr);

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    Qt::Orientation axis_;
    std::optional<double> length_;
};

} // namespace BrindlecastApp
