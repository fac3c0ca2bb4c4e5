#pragma once

#include "BrindlecastApp/Design/ShadowCaster.h"
#include "BrindlecastApp/Design/Tokens.h"

#include <QAbstractButton>
#include <functional>
#include <optional>

namespace BrindlecastApp {

class SpringHover;

// A 34-point-tall text button with an optional symbol before its title. Prominent: accent fill,
// white text and an accent glow 4 points below; plain: a neutral tint and no shadow. Hovering
// brightens the accent by 0.05 or deepens the tint. It draws the same whether enabled or not.
class GlassButton : public QAbstractButton, public ShadowCaster {
    Q_OBJECT
public:
    enum class Role { prominent, plain };

    GlassButton(QString title, std::optional<QString> systemImage, Role role, std::function<void()> action,
                QWidget* parent = nullptr);

    Role role() const { return role_; }
    bool isHovering() const;
    QColor background() const;      // the fill at the current hover state
    Tokens::Shadow shadow() const; // the glow of the role
    QFont titleFont() const;

    QList<Tokens::Shadow> castShadows() const override;
    QPainterPath shadowShape() const override;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QColor backgroundAt(double hover) const;
    double horizontalPadding() const { return role_ == Role::prominent ? 15 : 12; }

    std::optional<QString> systemImage_;
    Role role_;
    SpringHover* hover_;
};

} // namespace BrindlecastApp
