#pragma once

#include "FaceSet.h"

#include <QColor>
#include <QFont>
#include <QImage>
#include <QPainter>
#include <QPainterPath>

#include <array>
#include <vector>

namespace DetectionBench {

// What the face set's screens are drawn with: the interface's fonts and colours, and portraits
// placed into it with their face boxes.

QFont sans(int px, bool bold = false);

enum class Tint { colour, grey, warm };
QImage tinted(const QImage& photo, Tint tint);

struct Theme {
    QColor window, panel, text, secondary, tile;
};
Theme themeFor(bool dark);

// Ten made-up names for name plates and lists.
QString personName(size_t i);

void label(QPainter& p, const QFont& f, const QColor& c, int x, int y, const QString& text);
QPainterPath rounded(const QRectF& r, double radius);

// Draws `photo` clipped to `clip`, turned by `turn` degrees, so that its face (`face`, in the
// photo's pixels) is `faceSize` pixels wide with its centre at `faceCentre`; returns the face's box.
QRect drawPortrait(QPainter& painter, const QPainterPath& clip, const QImage& photo, const QRect& face, double faceSize,
                   QPointF faceCentre, double turn = 0);

// Places portraits into screens, turning through the portraits, the tints and small turns so every
// screen mixes them.
class Composer {
public:
    explicit Composer(const std::vector<Portrait>& portraits, std::vector<Tint> tints = {Tint::colour, Tint::grey, Tint::warm},
                      std::vector<double> turns = {0, -7, 0, 5, 0, 8, -4});

    // Draws the next portrait clipped to `clip`, its face `faceSize` pixels wide with its centre at
    // `faceCentre`, and returns the face's box.
    QRect place(QPainter& painter, const QPainterPath& clip, double faceSize, QPointF faceCentre);

private:
    const std::vector<Portrait>& portraits_;
    std::vector<Tint> tints_;
    std::vector<double> turns_;
    std::vector<std::vector<QImage>> variants_; // per portrait, per tint
    size_t next_ = 0;
};

// A screen being drawn, with antialiased shapes and text.
struct ScreenDrawing {
    ScreenDrawing(QString name, QImage image);
    FaceScreen finish();
    FaceScreen screen;
    QPainter painter;
};

} // namespace DetectionBench
