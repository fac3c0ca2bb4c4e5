#include "FaceSetDrawing.h"

#include "BenchDrawing.h"

#include <QFontMetrics>

#include <algorithm>

namespace DetectionBench {

QFont sans(int px, bool bold) { return fontOf(QStringLiteral("DejaVu Sans"), px, bold); }

QImage tinted(const QImage& photo, Tint tint) {
    if (tint == Tint::colour) return photo;
    QImage out = photo.convertToFormat(QImage::Format_RGB32);
    for (int y = 0; y < out.height(); ++y) {
        auto* row = reinterpret_cast<QRgb*>(out.scanLine(y));
        for (int x = 0; x < out.width(); ++x) {
            const QRgb p = row[x];
            if (tint == Tint::grey) {
                const int g = qGray(p);
                row[x] = qRgb(g, g, g);
            } else {
                row[x] = qRgb(std::min(255, qRed(p) + 18), int(qGreen(p) * 0.86), int(qBlue(p) * 0.62));
            }
        }
    }
    return out;
}

Theme themeFor(bool dark) {
    if (dark) return {QColor(32, 33, 36), QColor(45, 46, 50), QColor(232, 234, 237), QColor(154, 160, 166), QColor(60, 64, 67)};
    return {QColor(255, 255, 255), QColor(241, 243, 244), QColor(32, 33, 36), QColor(95, 99, 104), QColor(218, 220, 224)};
}

QString personName(size_t i) {
    static const char* const kNames[] = {"Ada Whitlock", "Boris Quade", "Carla Ng",    "Dmitri Osei", "Elena Varga",
                                         "Farid Haddad", "Greta Lund",  "Hiro Tanaka", "Ines Moreau", "Jonas Berg"};
    return QString::fromLatin1(kNames[i % std::size(kNames)]);
}

void label(QPainter& p, const QFont& f, const QColor& c, int x, int y, const QString& text) {
    p.setFont(f);
    p.setPen(c);
    p.drawText(QPoint(x, y + QFontMetrics(f).ascent()), text);
}

QPainterPath rounded(const QRectF& r, double radius) {
    QPainterPath path;
    path.addRoundedRect(r, radius, radius);
    return path;
}

Composer::Composer(const std::vector<Portrait>& portraits, std::vector<Tint> tints, std::vector<double> turns)
    : portraits_(portraits), tints_(std::move(tints)), turns_(std::move(turns)) {
    for (const Portrait& p : portraits) {
        std::vector<QImage> variants;
        for (const Tint tint : tints_) variants.push_back(tinted(p.photo, tint));
        variants_.push_back(std::move(variants));
    }
}

QRect Composer::place(QPainter& painter, const QPainterPath& clip, double faceSize, QPointF faceCentre) {
    const size_t index = next_ % portraits_.size();
    const Portrait& portrait = portraits_[index];
    const QImage& photo = variants_[index][(next_ / portraits_.size()) % tints_.size()];
    const double turn = turns_[next_ % turns_.size()];
    ++next_;

    return drawPortrait(painter, clip, photo, portrait.face, faceSize, faceCentre, turn);
}

QRect drawPortrait(QPainter& painter, const QPainterPath& clip, const QImage& photo, const QRect& face, double faceSize,
                   QPointF faceCentre, double turn) {
    const double scale = faceSize / face.width();
    painter.save();
    painter.setClipPath(clip);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.translate(faceCentre);
    painter.rotate(turn);
    painter.scale(scale, scale);
    painter.translate(-QPointF(face.center()) - QPointF(0.5, 0.5));
    painter.drawImage(QPointF(0, 0), photo);
    painter.restore();
    const QSizeF size = QSizeF(face.size()) * scale;
    return QRectF(faceCentre - QPointF(size.width() / 2, size.height() / 2), size).toAlignedRect();
}

ScreenDrawing::ScreenDrawing(QString name, QImage image) : screen{std::move(name), std::move(image), {}} {
    painter.begin(&screen.image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::TextAntialiasing);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
}

FaceScreen ScreenDrawing::finish() {
    painter.end();
    return std::move(screen);
}

} // namespace DetectionBench
