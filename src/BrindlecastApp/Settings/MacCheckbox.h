#pragma once

#include <QWidget>

namespace BrindlecastApp {

// The settings' square check box glyph, 17 x 17: an accent plate with a white check mark when
// on, an empty rounded border when off. It shows the value it is handed and has no action: a
// SettingsCheckRow around it takes the clicks.
class MacCheckbox : public QWidget {
    Q_OBJECT
public:
    explicit MacCheckbox(bool isOn, QWidget* parent = nullptr);

    bool isOn() const { return on_; }
    void setOn(bool on);
    // White 0.32 in the dark scheme, black 0.28 otherwise.
    QColor borderColor() const;

    QSize sizeHint() const override { return {17, 17}; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    bool on_;
};

} // namespace BrindlecastApp
