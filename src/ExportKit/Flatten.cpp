#include "ExportKit/BitmapCoordinates.h"
#include "ExportKit/DeviceCoverage.h"
#include "ExportKit/Exporter.h"
#include "ExportKit/Shadow.h"
#include "ExportKit/TextFonts.h"
#include "ExportKit/WorkingImage.h"

#include "Support/HexColor.h"

#include <QFontMetricsF>
#include <QGlyphRun>
#include <QPainter>
#include <QRawFont>
#include <QTextLayout>

#include <algorithm>
#include <cmath>
#include <numbers>

namespace ExportKit::Exporter {

using SidecarKit::Annotation;
using namespace DeviceCoverage;

namespace {

// Geometry read back from a stored document can be anything; beyond this it draws nothing.
constexpr double kLargestCoordinate = RedactionPattern::kLargestCoordinate;

bool usable(double v) { return std::isfinite(v) && std::fabs(v) <= kLargestCoordinate; }
bool usable(const Support::Point& p) { return usable(p.x) && usable(p.y); }
bool usable(const Support::Rect& r) { return !r.isNull() && usable(r.x()) && usable(r.y()) && usable(r.width()) && usable(r.height()); }

QPointF toPainter(const Support::Point& p) { return {p.x, p.y}; }

// A size read from a document (line width, text size, badge radius), drawn at most twice the
// diagonal of the painter's device across: a stroke, glyph or disc that large already covers the
// whole device from any point on it, and anything larger only costs time (a text size of 1e7
// took minutes to flatten). In the painter's own units, so a scaled painter gets the same bound.
double drawableSize(const QPainter& painter, double size) {
    const QPaintDevice* device = painter.device();
    double limit = 2 * std::hypot(double(device->width()), double(device->height()));
    const double scale = std::sqrt(std::fabs(painter.transform().determinant()));
    if (scale > 0) limit /= scale;
    return std::min(size, limit);
}

// A drop shadow's offset below the mark, blur radius and black's alpha, in device pixels.
struct ShadowLook {
    double downwards;
    double blur;
    double alpha;
};

// The look is in image pixels; a painter that scales the image (the review canvas) scales it too.
Shadow::Parameters shadowParameters(const QPainter& painter, const ShadowLook& shadow) {
    const double scale = std::sqrt(std::abs(painter.transform().determinant()));
    return {BitmapCoordinates::shadowOffsetDownwards(shadow.downwards * scale), shadow.blur * scale,
            QColor::fromRgbF(0, 0, 0, float(shadow.alpha))};
}

void paintMaybeShadowed(QPainter& painter, const std::optional<ShadowLook>& shadow, const QRectF& localBounds,
                        const std::function<void(QPainter&)>& draw) {
    if (!shadow) {
        draw(painter);
        return;
    }
    Shadow::paintWithShadow(painter, shadowParameters(painter, *shadow), painter.transform().mapRect(localBounds), draw);
}

QColor outlineColor(const Annotation::Style& style) {
    return style.outlineColorHex ? colorFromHex(*style.outlineColorHex) : contrastColorForHex(style.colorHex);
}

QPen roundPen(const QColor& color, double width) {
    QPen pen(color, width);
    pen.setCapStyle(Qt::RoundCap);
    pen.setJoinStyle(Qt::RoundJoin);
    return pen;
}

// The style as stroked: never thinner than the minimum.
Annotation::Style stroked(const Annotation::Style& style, const DrawingMinimums& minimums) {
    Annotation::Style result = style;
    if (std::isfinite(result.lineWidth)) result.lineWidth = std::max(result.lineWidth, minimums.minimumLineWidth);
    return result;
}

double outlineWidthFor(double lineWidth) { return lineWidth + std::max(0.55 * lineWidth, 3.0); }

// One pass of a decorated stroke. A stroke over all of the device paints it one colour: an
// opaque one hides the shadow it casts, which is then not made, and a translucent one needs no
// layer of its own above its shadow.
void strokeShadowed(QPainter& painter, const QPainterPath& path, const QPen& pen, std::optional<ShadowLook> shadow,
                    const QRectF& bounds) {
    const auto stroke = [&](QPainter& p) { strokeOnDevice(p, path, pen); };
    if (shadow && strokeCoversDevice(painter, path, pen.widthF())) {
        if (!paintsOpaque(pen.color())) {
            Shadow::paintShadowOnly(painter, shadowParameters(painter, *shadow), painter.transform().mapRect(bounds), stroke);
        }
        fillDevice(painter, pen.brush());
        return;
    }
    paintMaybeShadowed(painter, shadow, bounds, stroke);
}

// Whether a decorated stroke alone paints every pixel of the device opaquely.
bool strokeHidesDevice(const QPainter& painter, const QPainterPath& path, const Annotation::Style& style) {
    const double w = drawableSize(painter, style.lineWidth);
    if (!std::isfinite(w)) return false;
    // Coverage first: it is the cheaper test, and almost never met.
    if (style.outline && strokeCoversDevice(painter, path, outlineWidthFor(w)) && paintsOpaque(outlineColor(style))) {
        return true;
    }
    return strokeCoversDevice(painter, path, w) && paintsOpaque(effectiveColor(style.colorHex, style.opacity));
}

// Applies a clockwise rotation about `pivot` for the duration of `draw`.
void withRotation(QPainter& painter, QPointF pivot, double rotation, const std::function<void()>& draw) {
    if (rotation == 0 || !std::isfinite(rotation)) {
        draw();
        return;
    }
    painter.save();
    BitmapCoordinates::rotateClockwise(painter, pivot, rotation);
    draw();
    painter.restore();
}

std::optional<QPainterPath> arrowPath(const QPainter& painter, const Annotation::Arrow& arrow) {
    if (!usable(arrow.from) || !usable(arrow.to) || (arrow.control && !usable(*arrow.control))) return std::nullopt;
    const QPointF from = toPainter(arrow.from);
    const QPointF to = toPainter(arrow.to);
    QPainterPath path(from);
    QPointF reference = from;
    if (arrow.control) {
        reference = toPainter(*arrow.control);
        path.quadTo(reference, to);
    } else {
        path.lineTo(to);
    }
    // The wings sit symmetrically either side of the direction of travel, so mirroring the y
    // axis maps them onto each other: the angle may be taken in painter coordinates directly.
    const double theta = std::atan2(to.y() - reference.y(), to.x() - reference.x());
    const double length = std::max(4 * drawableSize(painter, arrow.style.lineWidth), 10.0);
    for (double side : {+1.0, -1.0}) {
        const double wing = theta + side * 5 * std::numbers::pi / 6;
        path.moveTo(to);
        path.lineTo(to + length * QPointF(std::cos(wing), std::sin(wing)));
    }
    return path;
}

QPainterPath shapeOutline(const QRectF& rect, bool ellipse) {
    QPainterPath outline;
    if (ellipse) {
        outline.addEllipse(rect);
    } else {
        outline.addRect(rect);
    }
    return outline;
}

template <typename Shape>
void drawShape(QPainter& painter, const Shape& shape, bool ellipse, const DrawingMinimums& minimums) {
    if (!usable(shape.rect)) return;
    const QRectF rect = shape.rect.toQRectF();
    withRotation(painter, rect.center(), shape.rotation, [&] {
        const QPainterPath outline = shapeOutline(rect, ellipse);
        if (shape.fill) {
            painter.save();
            painter.setRenderHint(QPainter::Antialiasing, true);
            painter.fillPath(outline, effectiveColor(shape.fill->colorHex, shape.fill->opacity));
            painter.restore();
        }
        strokeDecorated(painter, outline, stroked(shape.style, minimums));
    });
}

// A region the user asked to hide is refused rather than left off when it cannot be drawn.
void checkBlurDrawable(const Annotation::Blur& blur) {
    if (!usable(blur.rect) || !std::isfinite(blur.rotation)) {
        throw ExportError::invalidRegion("a blur annotation's region must be finite and within +/-2^53");
    }
}

void drawBlur(QPainter& painter, const Annotation::Blur& blur, double height) {
    checkBlurDrawable(blur);
    const Support::Rect bottomLeft = BitmapCoordinates::toBottomLeft(blur.rect, height);
    const QPointF pivot = BitmapCoordinates::painterRect(bottomLeft, height).center();
    withRotation(painter, pivot, blur.rotation, [&] { fillRedaction(painter, bottomLeft, height, blur.style); });
}

std::optional<QPainterPath> freeformPath(const Annotation::Freeform& freeform) {
    if (freeform.points.size() < 2) return std::nullopt;
    if (!std::all_of(freeform.points.begin(), freeform.points.end(), [](const auto& p) { return usable(p); })) {
        return std::nullopt;
    }
    QPainterPath path(toPainter(freeform.points.front()));
    for (std::size_t i = 1; i < freeform.points.size(); ++i) path.lineTo(toPainter(freeform.points[i]));
    if (freeform.closed) path.closeSubpath();
    return path;
}

constexpr double kMostDashes = 1 << 20;

// The dashes of a segment, each a piece of its own: 3w on, 2.2w off, starting with a dash at
// `from`. Only the dashes that can reach `visible` are made.
QPainterPath dashedSegment(QPointF from, QPointF to, double width, const QRectF& visible) {
    QPainterPath dashes;
    const QPointF delta = to - from;
    const double length = std::hypot(delta.x(), delta.y());
    const double on = 3 * width;
    const double period = on + 2.2 * width;
    if (!(length > 0) || !(width > 0)) return dashes;
    const QPointF unit = delta / length;
    // The stretch of the segment inside `visible`, by clipping its parameter (Liang-Barsky).
    double t0 = 0;
    double t1 = length;
    const double dirs[2] = {unit.x(), unit.y()};
    const double starts[2] = {from.x(), from.y()};
    const double lows[2] = {visible.left(), visible.top()};
    const double highs[2] = {visible.right(), visible.bottom()};
    for (int axis = 0; axis < 2; ++axis) {
        if (dirs[axis] == 0) {
            if (starts[axis] < lows[axis] || starts[axis] > highs[axis]) return dashes;
            continue;
        }
        double a = (lows[axis] - starts[axis]) / dirs[axis];
        double b = (highs[axis] - starts[axis]) / dirs[axis];
        if (a > b) std::swap(a, b);
        t0 = std::max(t0, a);
        t1 = std::min(t1, b);
    }
    if (t0 > t1) return dashes;
    const double first = std::floor(t0 / period);
    const double count = std::ceil(t1 / period) - first;
    if (!(count <= kMostDashes)) {
        // Dashes far finer than a pixel look like the line itself.
        dashes.moveTo(from + unit * t0);
        dashes.lineTo(from + unit * t1);
        return dashes;
    }
    for (double k = 0; k < count; ++k) {
        const double start = (first + k) * period;
        dashes.moveTo(from + unit * start);
        dashes.lineTo(from + unit * std::min(start + on, length));
    }
    return dashes;
}

std::optional<QPainterPath> linePath(const QPainter& painter, const Annotation::Line& line,
                                     const DrawingMinimums& minimums = {}) {
    if (!usable(line.from) || !usable(line.to)) return std::nullopt;
    const QPointF from = toPainter(line.from);
    const QPointF to = toPainter(line.to);
    if (!line.dashed) {
        QPainterPath path(from);
        path.lineTo(to);
        return path;
    }
    const double w = drawableSize(painter, line.style.lineWidth);
    if (!(w > 0) || !usable(w)) return std::nullopt; // dashes of no length draw nothing
    const double unit = std::max(w, minimums.minimumDashUnit);
    const QPaintDevice* device = painter.device();
    const double reach = 2 * std::max(unit, w) + 16; // room for caps, outline and shadow
    const QRectF visible = painter.transform().inverted().mapRect(
        QRectF(-reach, -reach, device->width() + 2 * reach, device->height() + 2 * reach));
    return dashedSegment(from, to, unit, visible);
}

// The glyph outlines of a laid-out text.
QPainterPath glyphOutlines(const QTextLayout& layout, QPointF position) {
    QPainterPath outlines;
    for (const QGlyphRun& run : layout.glyphRuns()) {
        const QRawFont font = run.rawFont();
        const QList<quint32> glyphs = run.glyphIndexes();
        const QList<QPointF> positions = run.positions();
        for (qsizetype i = 0; i < glyphs.size() && i < positions.size(); ++i) {
            outlines.addPath(font.pathForGlyph(glyphs[i]).translated(position + positions[i]));
        }
    }
    return outlines;
}

void drawBadge(QPainter& painter, const Annotation::Badge& badge) {
    if (!usable(badge.center) || !usable(badge.radius)) return;
    const QPointF centre = toPainter(badge.center);
    const double r = drawableSize(painter, badge.radius);
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing, true);
    painter.setPen(Qt::NoPen);
    painter.setBrush(effectiveColor(badge.style.colorHex, badge.style.opacity));
    painter.drawEllipse(centre, r, r);
    if (r > 0) {
        const QString number = QString::number(badge.number);
        const QFont font = BitmapCoordinates::systemFont(1.1 * r, true);
        const QFontMetricsF metrics(font, painter.device());
        const double w = metrics.horizontalAdvance(number);
        const double h = metrics.ascent() + metrics.descent();
        // The string's box, w by h, is centred on the badge.
        const QPointF baseline(centre.x() - w / 2, centre.y() - h / 2 + metrics.ascent());
        if (widerThanDevice(painter, r)) {
            QTextLayout layout(number, font, painter.device());
            layout.beginLayout();
            const QTextLine line = layout.createLine();
            layout.endLayout();
            fillCutToDevice(painter, glyphOutlines(layout, baseline - QPointF(0, line.ascent())), Qt::white);
        } else {
            painter.setFont(font);
            painter.setPen(Qt::white);
            painter.drawText(baseline, number);
        }
    }
    painter.restore();
}

void drawText(QPainter& painter, const Annotation::Text& text, double height) {
    if (!usable(text.origin) || text.string.isEmpty()) return;
    const Annotation::Style& style = text.style;
    const double size =
        (style.lineWidth >= 6 && usable(style.lineWidth)) ? drawableSize(painter, style.lineWidth) : 16.0;
    QFont font = BitmapCoordinates::systemFont(size);
    if (const std::optional<QString> family = text.fontFamily ? TextFonts::installedFamily(*text.fontFamily) : std::nullopt) {
        font = QFont(*family);
        font.setPointSizeF(size);
    }

    // Lay the lines out unconstrained, then align each within the widest.
    QString body = text.string;
    body.replace("\r\n", "\n").replace(u'\r', u'\n').replace(u'\n', QChar::LineSeparator);
    QTextLayout layout(body, font, painter.device());
    QTextOption option;
    option.setWrapMode(QTextOption::NoWrap);
    option.setAlignment(text.alignment == Annotation::TextAlignment::center  ? Qt::AlignHCenter
                        : text.alignment == Annotation::TextAlignment::right ? Qt::AlignRight
                                                                             : Qt::AlignLeft);
    layout.setTextOption(option);
    double widest = 0;
    layout.beginLayout();
    for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
        line.setLineWidth(1e7);
        widest = std::max(widest, line.naturalTextWidth());
    }
    layout.endLayout();
    double y = 0;
    layout.beginLayout();
    for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
        line.setLineWidth(widest);
        line.setPosition(QPointF(0, y));
        y += line.height();
    }
    layout.endLayout();
    const QRectF frame(toPainter(text.origin), QSizeF(widest, y)); // `origin` is the block's top-left corner

    // The pivot lies half a pixel right of the origin and half the text size below it.
    const QPointF pivot = BitmapCoordinates::painterPoint({text.origin.x + 0.5, height - text.origin.y - size / 2}, height);
    withRotation(painter, pivot, text.rotation, [&] {
        std::optional<ShadowLook> shadow;
        if (style.shadow) shadow = ShadowLook{std::max(0.05 * size, 1.0), std::max(0.12 * size, 3.0), 0.45};
        const QRectF bounds = frame.adjusted(-size, -size, size, size);
        painter.setRenderHint(QPainter::Antialiasing, true);
        painter.setRenderHint(QPainter::TextAntialiasing, true);
        // Glyphs wider than the image are drawn as their outlines cut down to it.
        const bool cut = widerThanDevice(painter, size);
        const QPainterPath outlines = style.outline || cut ? glyphOutlines(layout, frame.topLeft()) : QPainterPath();
        if (style.outline) {
            paintMaybeShadowed(painter, shadow, bounds, [&](QPainter& p) {
                strokeOnDevice(p, outlines, QPen(outlineColor(style), 0.09 * size), cut);
            });
            shadow.reset(); // only the outline casts the shadow
        }
        const QColor fillColor = effectiveColor(style.colorHex, style.opacity);
        paintMaybeShadowed(painter, shadow, bounds, [&](QPainter& p) {
            if (cut) {
                fillCutToDevice(p, outlines, fillColor);
            } else {
                p.setPen(fillColor);
                layout.draw(&p, frame.topLeft());
            }
        });
    });
}

// Whether drawing `annotation` alone paints every pixel of the image opaquely, whatever lies
// beneath. Conservative: text, blurs and dashed lines are never counted.
bool hidesEverythingBeneath(QPainter& painter, const Annotation& annotation) {
    return std::visit(
        [&](const auto& kind) {
            using Kind = std::decay_t<decltype(kind)>;
            if constexpr (std::is_same_v<Kind, Annotation::Arrow>) {
                const auto path = arrowPath(painter, kind);
                return path && strokeHidesDevice(painter, *path, kind.style);
            } else if constexpr (std::is_same_v<Kind, Annotation::Box> || std::is_same_v<Kind, Annotation::Ellipse>) {
                if (!usable(kind.rect)) return false;
                constexpr bool ellipse = std::is_same_v<Kind, Annotation::Ellipse>;
                const QRectF rect = kind.rect.toQRectF();
                bool hides = false;
                withRotation(painter, rect.center(), kind.rotation, [&] {
                    const bool filled = kind.fill &&
                                        (ellipse ? ellipseCoversDevice(painter, rect) : rectCoversDevice(painter, rect)) &&
                                        paintsOpaque(effectiveColor(kind.fill->colorHex, kind.fill->opacity));
                    hides = filled || strokeHidesDevice(painter, shapeOutline(rect, ellipse), kind.style);
                });
                return hides;
            } else if constexpr (std::is_same_v<Kind, Annotation::Freeform>) {
                const auto path = freeformPath(kind);
                return path && strokeHidesDevice(painter, *path, kind.style);
            } else if constexpr (std::is_same_v<Kind, Annotation::Line>) {
                if (kind.dashed) return false;
                const auto path = linePath(painter, kind);
                return path && strokeHidesDevice(painter, *path, kind.style);
            } else if constexpr (std::is_same_v<Kind, Annotation::Badge>) {
                if (!usable(kind.center) || !usable(kind.radius)) return false;
                const double r = drawableSize(painter, kind.radius);
                const QPointF centre = toPainter(kind.center);
                return ellipseCoversDevice(painter, QRectF(centre - QPointF(r, r), QSizeF(2 * r, 2 * r))) &&
                       paintsOpaque(effectiveColor(kind.style.colorHex, kind.style.opacity));
            } else {
                return false;
            }
        },
        annotation.kind);
}

} // namespace

QColor colorFromHex(QStringView hex) {
    if (auto parsed = Support::HexColor::parse(hex)) return *parsed;
    return QColor::fromRgbF(1, 0, 0, 1);
}

QColor contrastColorForHex(QStringView hex) {
    const QColor c = colorFromHex(hex);
    const double luminance = 0.299 * c.redF() + 0.587 * c.greenF() + 0.114 * c.blueF();
    return luminance > 0.6 ? QColor(Qt::black) : QColor(Qt::white);
}

QColor effectiveColor(QStringView hex, double opacity) {
    QColor c = colorFromHex(hex);
    const double alpha = std::isnan(opacity) ? 0.0 : std::clamp(opacity * c.alphaF(), 0.0, 1.0);
    c.setAlphaF(float(alpha));
    return c;
}

void strokeDecorated(QPainter& painter, const QPainterPath& path, const Annotation::Style& style) {
    const double w = drawableSize(painter, style.lineWidth);
    if (!std::isfinite(w)) return;
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing, true);
    std::optional<ShadowLook> shadow;
    if (style.shadow) shadow = ShadowLook{std::max(0.5 * w, 2.0), std::max(w, 4.0), 0.4};
    const double outlineWidth = outlineWidthFor(w);
    const QRectF bounds = path.controlPointRect().adjusted(-outlineWidth, -outlineWidth, outlineWidth, outlineWidth);
    if (style.outline) {
        strokeShadowed(painter, path, roundPen(outlineColor(style), outlineWidth), shadow, bounds);
        shadow.reset(); // the shadow is cast by the outline only
    }
    strokeShadowed(painter, path, roundPen(effectiveColor(style.colorHex, style.opacity), w), shadow, bounds);
    painter.restore();
}

void drawAnnotation(QPainter& painter, const Annotation& annotation, double height, const DrawingMinimums& minimums) {
    std::visit(
        [&](const auto& kind) {
            using Kind = std::decay_t<decltype(kind)>;
            if constexpr (std::is_same_v<Kind, Annotation::Arrow>) {
                if (const auto path = arrowPath(painter, kind)) strokeDecorated(painter, *path, stroked(kind.style, minimums));
            } else if constexpr (std::is_same_v<Kind, Annotation::Box>) {
                drawShape(painter, kind, false, minimums);
            } else if constexpr (std::is_same_v<Kind, Annotation::Ellipse>) {
                drawShape(painter, kind, true, minimums);
            } else if constexpr (std::is_same_v<Kind, Annotation::Text>) {
                drawText(painter, kind, height);
            } else if constexpr (std::is_same_v<Kind, Annotation::Blur>) {
                drawBlur(painter, kind, height);
            } else if constexpr (std::is_same_v<Kind, Annotation::Freeform>) {
                if (const auto path = freeformPath(kind)) strokeDecorated(painter, *path, stroked(kind.style, minimums));
            } else if constexpr (std::is_same_v<Kind, Annotation::Line>) {
                if (const auto path = linePath(painter, kind, minimums)) {
                    strokeDecorated(painter, *path, stroked(kind.style, minimums));
                }
            } else if constexpr (std::is_same_v<Kind, Annotation::Badge>) {
                drawBadge(painter, kind);
            }
            // Unknown kinds draw nothing.
        },
        annotation.kind);
}

QImage flatten(const QImage& image, const std::vector<Annotation>& annotations) {
    std::vector<const Annotation*> ordered;
    ordered.reserve(annotations.size());
    for (const Annotation& a : annotations) ordered.push_back(&a);
    std::stable_sort(ordered.begin(), ordered.end(),
                     [](const Annotation* a, const Annotation* b) { return a->zIndex < b->zIndex; });

    QImage result = WorkingImage::copyOf(image);
    const double height = result.height();
    QPainter painter(&result);
    // Nothing beneath an annotation that paints the whole image opaquely can show: a damaged
    // document may hold dozens of strokes each wider than the image.
    std::size_t first = 0;
    for (std::size_t i = ordered.size(); i-- > 0;) {
        if (hidesEverythingBeneath(painter, *ordered[i])) {
            first = i;
            break;
        }
    }
    for (std::size_t i = 0; i < first; ++i) {
        if (const auto* blur = std::get_if<Annotation::Blur>(&ordered[i]->kind)) checkBlurDrawable(*blur);
    }
    for (std::size_t i = first; i < ordered.size(); ++i) drawAnnotation(painter, *ordered[i], height);
    painter.end();
    return result;
}

} // namespace ExportKit::Exporter
