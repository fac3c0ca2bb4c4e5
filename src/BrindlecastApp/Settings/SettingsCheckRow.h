#pragma once

#include <QAbstractButton>
#include <functional>

namespace BrindlecastApp {

class MacCheckbox;

// A check box with a title, the whole row one button. It shows the value it is handed and runs
// its action when pressed; the page decides what that does and hands the new value back through
// `setOn`. A locked row shows a lock at its trailing edge, says "Managed by your organization"
// as its tool tip and never runs its action.
class SettingsCheckRow : public QAbstractButton {
    Q_OBJECT
public:
    SettingsCheckRow(const QString& title, bool isOn, bool locked, std::function<void()> action,
                     QWidget* parent = nullptr);

    bool isOn() const;
    void setOn(bool on);
    bool isLocked() const { return locked_; }
    void setLocked(bool locked);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    MacCheckbox* checkbox_;
    QWidget* lock_;
    bool locked_ = false;
};

} // namespace BrindlecastApp
