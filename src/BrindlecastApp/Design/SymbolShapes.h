#pragma once

#include <QHash>
#include <QPainterPath>
#include <QString>
#include <functional>

namespace BrindlecastApp {

// Builds one symbol as a region on the 24-unit grid: strokes and fills are added, cuts removed, in
// the order given, so a later stroke can sit inside an earlier cut.
class SymbolShape {
public:
    explicit SymbolShape(double strokeWidth) : strokeWidth_(strokeWidth) {}

    void fill(const QPainterPath& path) { region_ = region_.united(path); }
    void stroke(const QPainterPath& path, double widthFactor = 1.0);
    void dashedStroke(const QPainterPath& path, double on, double off);
    void cut(const QPainterPath& path) { region_ = region_.subtracted(path); }
    void cutStroke(const QPainterPath& path, double widthFactor = 1.0);

    double strokeWidth() const { return strokeWidth_; }
    const QPainterPath& region() const { return region_; }

private:
    QPainterPath outline(const QPainterPath& path, double width) const;

    double strokeWidth_;
    QPainterPath region_;
};

using SymbolRecipe = std::function<void(SymbolShape&)>;

// Every symbol we draw, by name.
const QHash<QString, SymbolRecipe>& symbolRecipes();

} // namespace BrindlecastApp
