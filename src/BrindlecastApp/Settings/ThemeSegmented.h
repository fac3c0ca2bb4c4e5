#pragma once

#include "BrindlecastApp/Design/ThemeMode.h"
#include "BrindlecastApp/Settings/SettingsControlStyle.h"

#include <QList>
#include <QString>
#include <QWidget>

#include <utility>
#include <vector>

namespace BrindlecastApp {

class SpringValue;

// The Light / Dark / System picker: segments on the settings track, the one whose mode the theme
// holds drawn raised. A click sets the theme's mode (which stores it); the raised plate follows
// the theme, wherever the change came from, with the quick spring.
class ThemeSegmented : public QWidget {
    Q_OBJECT
public:
    using Item = std::pair<ThemeMode, QString>;

    explicit ThemeSegmented(std::vector<Item> items, QWidget* parent = nullptr);
    // "Light", "Dark", "System".
    static std::vector<Item> standardItems();

    const std::vector<Item>& items() const { return items_; }
    QRectF segmentRect(int index) const;
    // How raised segment `index` is drawn now, from 0 to 1.
    double selectionAmount(int index) const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

private:
    QList<QRectF> segments() const;
    int segmentAt(const QPointF& point) const;
    // Moves each plate towards the theme's mode; the first call places them without motion.
    void followTheme();

    std::vector<Item> items_;
    QList<SpringValue*> amounts_;
    bool placed_ = false;
    int pressed_ = -1;
    ShapeShadow plateShadow_;
};

} // namespace BrindlecastApp
