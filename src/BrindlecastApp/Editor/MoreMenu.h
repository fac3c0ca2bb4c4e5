#pragma once

#include <QWidget>

#include <functional>
#include <optional>

namespace BrindlecastApp {

// One row of the toolbar's More menu: a symbol, a title, an optional key hint at its trailing
// end. A click anywhere on it runs its action with the keyboard modifiers of that click. A
// disabled row is drawn at 0.4, shows no hover and ignores clicks.
class MoreMenuRow : public QWidget {
    Q_OBJECT
public:
    static constexpr int kHeight = 28;

    MoreMenuRow(QString title, QString systemImage, bool enabled, std::optional<QString> shortcutHint, bool destructive,
                std::function<void(Qt::KeyboardModifiers)> action, QWidget* parent = nullptr);

    const QString& title() const { return title_; }
    bool isRowEnabled() const { return enabled_; }
    bool isDestructive() const { return destructive_; }
    const std::optional<QString>& shortcutHint() const { return shortcutHint_; }
    bool isHovering() const { return hovering_; }
    // The rounded fill behind the row now: the hover tint, or clear.
    QColor fill() const;
    // Symbol and title: the system red when destructive, else the primary text.
    QColor foreground() const;

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    QString title_;
    QString systemImage_;
    bool enabled_;
    std::optional<QString> shortcutHint_;
    bool destructive_;
    std::function<void(Qt::KeyboardModifiers)> action_;
    bool hovering_ = false;
    bool pressed_ = false;
};

// The More menu's panel in the glass popover: 200 points wide, or as wide as its widest row
// needs. Each enabled row first asks the menu to close (`closeMenu`), then runs its callback
// once. "Delete Screenshot" asks first unless Shift is held during its click.
class MoreMenuPanel : public QWidget {
    Q_OBJECT
public:
    static constexpr int kWidth = 200;

    struct Actions {
        bool exportEnabled = true;
        std::function<void()> onShowInFinder;
        std::function<void()> onExportFolder;
        std::function<void()> onFlatten;
        std::function<void(bool ask)> onDeleteImage;
        std::function<void()> closeMenu;
    };

    explicit MoreMenuPanel(Actions actions, QWidget* parent = nullptr);

    QList<MoreMenuRow*> rows() const;
    MoreMenuRow* row(const QString& title) const;

private:
    Actions actions_;
};

} // namespace BrindlecastApp
