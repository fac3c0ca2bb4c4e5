#pragma once

#include "BrindlecastApp/Design/Animation.h"

#include <QObject>
#include <optional>

class QWidget;

namespace BrindlecastApp {

class SpringValue;

// Makes any widget report whether the pointer is over it: `hovering()` flips at once on enter and
// leave, and `amount()` moves between 0 and 1 with the tokens' quick spring (or the animation given),
// repainting the widget on each step. Adds nothing visible of its own.
class SpringHover : public QObject {
    Q_OBJECT
public:
    explicit SpringHover(QWidget* target, std::optional<Animation> animation = std::nullopt);

    bool hovering() const { return hovering_; }
    double amount() const;

signals:
    void hoveringChanged(bool hovering);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void setHovering(bool hovering);

    QWidget* target_;
    std::optional<Animation> animation_;
    SpringValue* amount_;
    bool hovering_ = false;
};

} // namespace BrindlecastApp
