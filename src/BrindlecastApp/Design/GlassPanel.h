#pragma once

#include "BrindlecastApp/Design/Glass.h"
#include "BrindlecastApp/Design/ShadowCaster.h"

#include <QWidget>
#include <optional>

namespace BrindlecastApp {

// A container painted as a glass surface of one variant. Its children are the content; give it a
// layout as usual. It follows the tokens and the reduce-transparency wish of its themed root, and
// shows its material over the blur behind the window where its window's surface has one. Its
// own shadows are painted by its container (a GlassPanel or a ShadowHost); it paints those of its
// children.
class GlassPanel : public QWidget, public ShadowCaster {
    Q_OBJECT
public:
    explicit GlassPanel(GlassVariant variant, std::optional<double> radius = std::nullopt, QWidget* parent = nullptr);

    GlassVariant variant() const { return variant_; }
    double cornerRadius() const; // the given radius, else the variant's token radius
    // A new radius (none: the variant's token radius); the panel and its shadow are drawn again.
    void setRadius(std::optional<double> radius);
    QList<Tokens::Shadow> castShadows() const override;
    QPainterPath shadowShape() const override;
    // Under this panel now: the opaque base (reduce transparency, or the see-through window's
    // first glass where nothing blurs behind it), the window's blur, or clear.
    Glass::Backdrop backdrop() const;
    // No other glass lies between this panel and its window: what it leaves see-through is the
    // desktop behind the window.
    bool isWindowsFirstGlass() const;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    GlassVariant variant_;
    std::optional<double> radius_;
};

} // namespace BrindlecastApp
