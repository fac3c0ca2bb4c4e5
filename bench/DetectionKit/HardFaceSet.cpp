#include "HardFaceSet.h"

#include "BenchDrawing.h"
#include "FaceSetDrawing.h"

#include <QDir>
#include <QFile>
#include <QLinearGradient>
#include <QRandomGenerator>
#include <QResource>
#include <opencv2/imgcodecs.hpp>

#include <algorithm>
#include <cmath>

namespace DetectionBench {

namespace {

const char* const kRcc = "unpacked/usr/share/gcompris-qt/rcc/";
const char* const kActivities = ":/gcompris/src/activities/";
const char* const kNovel = "unpacked/usr/share/games/renpy/the_question/";
const char* const kOpenCvExamples = "unpacked/usr/share/doc/opencv-doc/examples/";

// An image of an educational game's resource file (the game keeps its pictures as WebP, which
// OpenCV reads).
QImage resourceImage(const QString& path) {
    QFile file(QString::fromLatin1(kActivities) + path);
    if (!file.open(QIODevice::ReadOnly)) return {};
    const QByteArray bytes = file.readAll();
    const cv::Mat encoded(1, int(bytes.size()), CV_8UC1, const_cast<char*>(bytes.constData()));
    const cv::Mat bgr = cv::imdecode(encoded, cv::IMREAD_COLOR);
    if (bgr.empty()) return {};
    return QImage(bgr.data, bgr.cols, bgr.rows, int(bgr.step), QImage::Format_BGR888).convertToFormat(QImage::Format_RGB32);
}

struct TurnedSource {
    const char* resource;
    QRect face; // brow to chin, cheek to cheek, marked by hand
};

// Musicians (the photograph leans about 15 degrees) and actors, each face turned a third to half
// away from the camera.
const TurnedSource kTurned[] = {
    {"explore_world_music/resource/music/mexico.webp", {134, 128, 62, 64}},
    {"explore_world_music/resource/music/mexico.webp", {370, 132, 70, 82}},
    {"explore_world_music/resource/music/mexico.webp", {826, 262, 156, 178}},
    {"explore_world_music/resource/music/mexico.webp", {722, 268, 110, 114}},
    {"explore_world_music/resource/music/italy.webp", {332, 226, 48, 58}},
    {"explore_world_music/resource/music/italy.webp", {588, 226, 52, 66}},
};

// Animals that look at the camera: the owl, primates, cats, bears.
const char* const kAnimals[] = {
    "explore_farm_animals/resource/animals/owl.webp",  "explore_world_animals/resource/animals/lemur.webp",
    "explore_world_animals/resource/animals/koala.webp", "explore_farm_animals/resource/animals/cat.webp",
    "explore_world_animals/resource/animals/panda.webp", "erase/resource/kitten.webp",
    "erase/resource/macaque.webp",                      "erase/resource/gorilla.webp",
    "erase/resource/red_panda.webp",                    "erase/resource/long_nosed_monkey.webp",
    "explore_world_animals/resource/animals/jaguar.webp", "explore_farm_animals/resource/animals/dog.webp",
    "explore_farm_animals/resource/animals/sheep.webp",  "erase/resource/gibbon.webp",
};

const char* const kSprites[] = {"sylvie green smile.png", "sylvie blue giggle.png", "sylvie green normal.png",
                                "sylvie blue surprised.png", "sylvie green surprised.png", "sylvie blue normal.png"};

int clamped(double v) { return std::clamp(int(std::lround(v)), 0, 255); }

} // namespace

std::optional<HardSources> hardSources(const QString& cacheFolder, QString* whyNot) {
    const QDir cache(cacheFolder);
    for (const char* pack : {"explore_world_music", "explore_farm_animals", "explore_world_animals", "erase"}) {
        const QString file = cache.filePath(QString::fromLatin1(kRcc) + QString::fromLatin1(pack) + ".rcc");
        if (!QResource::registerResource(file)) {
            *whyNot = "cannot read " + file;
            return std::nullopt;
        }
    }
    HardSources sources;
    for (const TurnedSource& t : kTurned) {
        const QImage photo = resourceImage(QString::fromLatin1(t.resource));
        if (photo.isNull()) {
            *whyNot = QStringLiteral("the packages hold no readable %1").arg(t.resource);
            return std::nullopt;
        }
        sources.turned.push_back({QString::fromLatin1(t.resource), photo, t.face});
    }
    for (const char* animal : kAnimals) {
        const QImage photo = resourceImage(QString::fromLatin1(animal));
        if (photo.isNull()) {
            *whyNot = QStringLiteral("the packages hold no readable %1").arg(animal);
            return std::nullopt;
        }
        sources.animals.push_back(photo);
    }
    QStringList drawings = {QString::fromLatin1(kOpenCvExamples) + "fuzzy/input.png", QString::fromLatin1(kNovel) + "ios-launchimage.png"};
    for (const char* sprite : kSprites) drawings.append(QString::fromLatin1(kNovel) + "game/images/" + QString::fromLatin1(sprite));
    for (const QString& drawing : drawings) {
        const QImage image(cache.filePath(drawing));
        if (image.isNull()) {
            *whyNot = "the packages hold no readable " + drawing;
            return std::nullopt;
        }
        sources.illustrations.push_back(image.convertToFormat(QImage::Format_ARGB32_Premultiplied));
    }
    sources.illustrationBackground = QImage(cache.filePath(QString::fromLatin1(kNovel) + "game/images/bg club.jpg"));
    if (sources.illustrationBackground.isNull()) {
        *whyNot = QStringLiteral("the packages hold no readable scene for the sprites");
        return std::nullopt;
    }
    return sources;
}

Portrait masked(const Portrait& portrait, bool cloth) {
    Portrait out = portrait;
    out.photo = portrait.photo.convertToFormat(QImage::Format_RGB32);
    const QRectF f(portrait.face);
    // From the bridge of the nose to under the chin, a little wider than the cheeks.
    const double top = f.top() + 0.47 * f.height(), bottom = f.bottom() + 0.07 * f.height();
    const double left = f.left() - 0.03 * f.width(), right = f.right() + 0.03 * f.width();
    QPainterPath shape;
    shape.moveTo(left, top + 0.12 * f.height());
    shape.quadTo(f.center().x(), top - 0.1 * f.height(), right, top + 0.12 * f.height());
    shape.lineTo(right - 0.04 * f.width(), bottom - 0.18 * f.height());
    shape.quadTo(f.center().x(), bottom + 0.08 * f.height(), left + 0.04 * f.width(), bottom - 0.18 * f.height());
    shape.closeSubpath();

    QPainter p(&out.photo);
    p.setRenderHint(QPainter::Antialiasing);
    // Ear loops first, under the mask's edge.
    p.setPen(QPen(cloth ? QColor(30, 30, 34) : QColor(235, 238, 240), std::max(1.5, f.width() / 60)));
    p.drawLine(QPointF(left + 2, top + 0.14 * f.height()), QPointF(left - 0.06 * f.width(), f.top() + 0.4 * f.height()));
    p.drawLine(QPointF(right - 2, top + 0.14 * f.height()), QPointF(right + 0.06 * f.width(), f.top() + 0.4 * f.height()));
    // Shaded as fabric is: lighter where it faces the camera, darker at the sides and below.
    QLinearGradient shade(left, 0, right, 0);
    const QColor base = cloth ? QColor(44, 44, 50) : QColor(150, 192, 218);
    shade.setColorAt(0, base.darker(135));
    shade.setColorAt(0.45, base.lighter(112));
    shade.setColorAt(1, base.darker(125));
    p.setPen(Qt::NoPen);
    p.fillPath(shape, shade);
    // Pleats across a surgical mask.
    if (!cloth) {
        p.setClipPath(shape);
        for (int i = 1; i <= 3; ++i) {
            const double y = top + i * (bottom - top) / 4.6;
            p.setPen(QPen(base.darker(130), std::max(1.0, f.height() / 70)));
            p.drawLine(QPointF(left, y), QPointF(right, y + 0.02 * f.height()));
            p.setPen(QPen(base.lighter(118), std::max(1.0, f.height() / 90)));
            p.drawLine(QPointF(left, y + 2), QPointF(right, y + 2 + 0.02 * f.height()));
        }
    }
    p.end();
    // The camera's grain over the fabric, as over the rest of the photograph.
    QRandomGenerator grain(uint(portrait.face.x() * 31 + portrait.face.y()));
    const QRect area = shape.boundingRect().toAlignedRect().intersected(out.photo.rect());
    for (int y = area.top(); y <= area.bottom(); ++y) {
        auto* row = reinterpret_cast<QRgb*>(out.photo.scanLine(y));
        for (int x = area.left(); x <= area.right(); ++x) {
            if (!shape.contains(QPointF(x + 0.5, y + 0.5))) continue;
            const int n = int(grain.bounded(13)) - 6;
            row[x] = qRgb(clamped(qRed(row[x]) + n), clamped(qGreen(row[x]) + n), clamped(qBlue(row[x]) + n));
        }
    }
    return out;
}

Portrait backlit(const Portrait& portrait) {
    Portrait out = portrait;
    out.photo = portrait.photo.convertToFormat(QImage::Format_RGB32);
    const QPointF centre = QRectF(portrait.face).center();
    const double rx = portrait.face.width() * 0.8, ry = portrait.face.height() * 0.85;
    for (int y = 0; y < out.photo.height(); ++y) {
        auto* row = reinterpret_cast<QRgb*>(out.photo.scanLine(y));
        for (int x = 0; x < out.photo.width(); ++x) {
            // The camera exposes for the window: everything dark and flat, a little blue from the sky.
            const QRgb c = row[x];
            double r = 8 + 0.3 * qRed(c), g = 9 + 0.3 * qGreen(c), b = 14 + 0.32 * qBlue(c);
            // The window around the head is blown out, bleeding a little over the hair and cheeks.
            const double dx = (x - centre.x()) / rx, dy = (y - centre.y()) / ry;
            const double d = std::sqrt(dx * dx + dy * dy);
            const double t = std::clamp((d - 0.85) / 0.7, 0.0, 1.0);
            const double glow = 245 * t * t * (3 - 2 * t);
            r = 255 - (255 - r) * (255 - glow) / 255;
            g = 255 - (255 - g) * (255 - glow) / 255;
            b = 255 - (255 - b) * (255 - glow * 0.97) / 255;
            row[x] = qRgb(clamped(r), clamped(g), clamped(b));
        }
    }
    return out;
}

namespace {

struct Placed {
    const Portrait* portrait;
    double faceSize;
};

// A call's gallery: tiles of people in a grid with name plates, a control bar below.
FaceScreen gallery(const QString& name, bool dark, int columns, int rows, const std::vector<Placed>& people) {
    const Theme t = themeFor(dark);
    ScreenDrawing d(name, blankImage(1920, 1080, dark ? QColor(24, 24, 26) : QColor(236, 238, 241)));
    QPainter& p = d.painter;
    label(p, sans(15, true), t.text, 24, 18, QStringLiteral("Site visit \u2014 %1 participants").arg(people.size()));
    const int gap = 12, top = 56, bottom = 96;
    const double tileW = (1920.0 - gap * (columns + 1)) / columns;
    const double tileH = (1080.0 - top - bottom - gap * (rows - 1)) / rows;
    for (size_t i = 0; i < people.size() && int(i) < columns * rows; ++i) {
        const int r = int(i) / columns, c = int(i) % columns;
        const QRectF tile(gap + c * (tileW + gap), top + r * (tileH + gap), tileW, tileH);
        p.fillPath(rounded(tile, 10), t.tile);
        const QPointF centre(tile.center().x() + (c % 2 ? 24 : -16), tile.top() + tileH * 0.45);
        const Portrait& who = *people[i].portrait;
        d.screen.faces.push_back(drawPortrait(p, rounded(tile, 10), who.photo, who.face, people[i].faceSize, centre));
        const QRectF plate(tile.left() + 10, tile.bottom() - 36, 150, 26);
        p.fillPath(rounded(plate, 6), QColor(0, 0, 0, 140));
        label(p, sans(13), Qt::white, int(plate.left()) + 10, int(plate.top()) + 5, personName(i));
    }
    for (int i = 0; i < 5; ++i)
        p.fillPath(rounded(QRectF(760 + i * 84, 1080 - 76, 64, 56), 28), i == 4 ? QColor(217, 48, 37) : t.tile);
    return d.finish();
}

// A call seen from a laptop: the speaker large, everyone else in a filmstrip of small camera tiles
// below and a participant list with round avatars on the right, both in grey (cameras in dim
// rooms, or the app's grey for people not speaking).
FaceScreen filmstrip(Composer& speaker, Composer& small, bool dark) {
    const Theme t = themeFor(dark);
    ScreenDrawing d(QStringLiteral("filmstrip-grey-%1").arg(dark ? "dark" : "light"),
                    blankImage(1920, 1080, dark ? QColor(24, 24, 26) : QColor(236, 238, 241)));
    QPainter& p = d.painter;
    FaceScreen& screen = d.screen;
    const QRectF stage(16, 48, 1540, 880);
    p.fillPath(rounded(stage, 10), t.tile);
    screen.faces.push_back(speaker.place(p, rounded(stage, 10), 230, stage.center() - QPointF(0, 40)));
    label(p, sans(15, true), t.text, 24, 16, QStringLiteral("All hands \u2014 48 participants"));
    // The filmstrip: 4:3 camera tiles, head and shoulders.
    static const double kFaces[] = {20, 22, 24, 26, 21, 23, 25, 20, 26, 22, 24, 21, 23, 25, 20, 26, 22, 24, 23, 21};
    for (int i = 0; i < 20; ++i) {
        const QRectF tile(16 + i * 76, 944, 68, 51);
        p.fillPath(rounded(tile, 4), t.tile);
        const double face = kFaces[i];
        screen.faces.push_back(small.place(p, rounded(tile, 4), face, tile.center() + QPointF(i % 3 - 1, -2)));
        p.fillRect(QRectF(tile.left() + 3, tile.bottom() - 9, 30, 6), QColor(0, 0, 0, 120));
    }
    // The participant list: round avatars of 27-34 px, faces 20-26 px.
    p.fillRect(QRectF(1572, 48, 332, 1016), t.panel);
    label(p, sans(14, true), t.text, 1588, 60, QStringLiteral("Participants"));
    for (int i = 0; i < 22; ++i) {
        const double size = 27 + (i * 3) % 8;
        const QRectF circle(1588, 96 + i * 43, size, size);
        QPainterPath round;
        round.addEllipse(circle);
        p.fillPath(round, t.tile);
        screen.faces.push_back(small.place(p, round, size * 0.76, circle.center()));
        label(p, sans(13), t.text, 1640, int(circle.top()) + 6, personName(size_t(i)));
    }
    return d.finish();
}

// A photo gallery: pictures cropped to cells of one size.
FaceScreen photoGrid(const QString& name, bool dark, const std::vector<QImage>& photos, int columns, QSize cell, int gap,
                     int first = 0) {
    const Theme t = themeFor(dark);
    ScreenDrawing d(name, blankImage(1920, 1080, t.window));
    QPainter& p = d.painter;
    label(p, sans(18, true), t.text, 32, 20, QStringLiteral("Photos"));
    const int rows = (1080 - 70) / (cell.height() + gap);
    for (int i = 0; i < columns * rows; ++i) {
        const QImage& photo = photos[size_t(first + i) % photos.size()];
        const QRect at(32 + (i % columns) * (cell.width() + gap), 70 + (i / columns) * (cell.height() + gap), cell.width(),
                       cell.height());
        const QImage scaled = photo.scaled(cell, Qt::KeepAspectRatioByExpanding, Qt::SmoothTransformation);
        p.drawImage(at, scaled, QRect(QPoint((scaled.width() - cell.width()) / 2, (scaled.height() - cell.height()) / 2), cell));
    }
    return d.finish();
}

// A desktop whose wallpaper is a photograph, with a file manager window on the left.
FaceScreen wallpaperOf(const QString& name, const QImage& photo) {
    const Theme t = themeFor(false);
    ScreenDrawing d(name, blankImage(1920, 1080, Qt::black));
    QPainter& p = d.painter;
    const QImage filled = photo.scaled(1920, 1080, Qt::KeepAspectRatioByExpanding, Qt::SmoothTransformation);
    p.drawImage(QPoint(0, 0), filled, QRect((filled.width() - 1920) / 2, (filled.height() - 1080) / 2, 1920, 1080));
    p.fillRect(0, 0, 1920, 30, t.panel);
    label(p, sans(13), t.text, 16, 7, QStringLiteral("Activities      Files      Tue 10:42"));
    const QRectF window(60, 120, 560, 640);
    p.fillPath(rounded(window, 10), t.window);
    p.fillRect(QRectF(60, 120, 560, 44), t.panel);
    label(p, sans(14, true), t.text, 90, 132, QStringLiteral("Pictures"));
    for (int i = 0; i < 12; ++i) label(p, sans(14), t.text, 90, 190 + i * 42, QStringLiteral("IMG_%1.jpg").arg(4120 + i));
    return d.finish();
}

// An image viewer, dark, showing one picture at `scale` with a strip of the folder's others below.
FaceScreen viewer(const QString& name, const QImage& picture, double scale, const std::vector<QImage>& strip) {
    ScreenDrawing d(name, blankImage(1920, 1080, QColor(30, 30, 32)));
    QPainter& p = d.painter;
    label(p, sans(14, true), QColor(230, 230, 230), 24, 14, QStringLiteral("Image Viewer"));
    const QSize size = (QSizeF(picture.size()) * scale).toSize();
    const QImage shown = picture.scaled(size, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    p.drawImage(QPoint((1920 - shown.width()) / 2, 50 + (860 - shown.height()) / 2), shown);
    for (size_t i = 0; i < strip.size() && i < 12; ++i) {
        const QImage thumb = strip[i].scaled(140, 100, Qt::KeepAspectRatio, Qt::SmoothTransformation);
        p.drawImage(QPoint(int(120 + i * 150) + (140 - thumb.width()) / 2, 940 + (100 - thumb.height()) / 2), thumb);
    }
    return d.finish();
}

// A visual novel: the scene, a character in front of it, and the dialogue box.
FaceScreen novel(const QString& name, const QImage& scene, const QImage& sprite, double spriteScale) {
    ScreenDrawing d(name, blankImage(1920, 1080, Qt::black));
    QPainter& p = d.painter;
    p.drawImage(QRect(0, 0, 1920, 1080), scene);
    const QImage shown = sprite.scaled((QSizeF(sprite.size()) * spriteScale).toSize(), Qt::KeepAspectRatio, Qt::SmoothTransformation);
    p.drawImage(QPoint((1920 - shown.width()) / 2, std::max(0, 1080 - shown.height())), shown);
    p.fillPath(rounded(QRectF(160, 800, 1600, 250), 16), QColor(0, 0, 0, 170));
    label(p, sans(26, true), QColor(255, 220, 170), 200, 820, QStringLiteral("Sylvie"));
    label(p, sans(24), Qt::white, 200, 880, QStringLiteral("Do you want to make a visual novel with me?"));
    return d.finish();
}

} // namespace

std::vector<FaceScreen> hardFaceScreens(const std::vector<Portrait>& portraits, const HardSources& sources) {
    // The portraits masked and lit from behind, and the turned faces at sizes their photographs hold.
    std::vector<Portrait> made;
    for (size_t i = 0; i < portraits.size(); ++i) made.push_back(masked(portraits[i], i % 2 == 1));
    for (const Portrait& p : portraits) made.push_back(backlit(p));
    const size_t n = portraits.size();
    auto maskedOf = [&](size_t i) { return &made[i % n]; };
    auto backlitOf = [&](size_t i) { return &made[n + i % n]; };
    auto turnedOf = [&](size_t i) { return &sources.turned[i % sources.turned.size()]; };
    std::vector<FaceScreen> screens;
    screens.push_back(gallery(QStringLiteral("hard-gallery-light"), false, 4, 3,
                              {{maskedOf(0), 110}, {backlitOf(1), 120}, {turnedOf(0), 90}, {maskedOf(1), 130},
                               {turnedOf(2), 150}, {backlitOf(3), 100}, {maskedOf(2), 90}, {turnedOf(1), 100},
                               {backlitOf(0), 140}, {turnedOf(4), 70}, {maskedOf(3), 120}, {turnedOf(3), 120}}));
    screens.push_back(gallery(QStringLiteral("hard-gallery-dark"), true, 4, 3,
                              {{turnedOf(5), 72}, {maskedOf(4), 100}, {backlitOf(2), 110}, {turnedOf(2), 110},
                               {backlitOf(4), 130}, {maskedOf(0), 80}, {turnedOf(3), 140}, {backlitOf(1), 90},
                               {maskedOf(2), 140}, {turnedOf(0), 80}, {backlitOf(3), 120}, {turnedOf(1), 130}}));
    // Nine tiles: the kinds larger, as a call with fewer people shows them.
    screens.push_back(gallery(QStringLiteral("hard-gallery-3x3"), false, 3, 3,
                              {{maskedOf(3), 170}, {backlitOf(2), 180}, {turnedOf(2), 200}, {turnedOf(3), 160},
                               {maskedOf(4), 150}, {backlitOf(0), 190}, {turnedOf(1), 150}, {maskedOf(1), 190},
                               {backlitOf(4), 160}}));
    Composer speaker(portraits, {Tint::colour}, {0});
    Composer small(portraits, {Tint::grey}, {0, -5, 0, 4, 0});
    for (const bool dark : {false, true}) screens.push_back(filmstrip(speaker, small, dark));
    return screens;
}

std::vector<FaceScreen> hardPeopleFreeScreens(const HardSources& sources) {
    const std::vector<QImage>& animals = sources.animals;
    const std::vector<QImage>& drawings = sources.illustrations;
    std::vector<FaceScreen> screens;
    screens.push_back(photoGrid(QStringLiteral("no-people-animals"), false, animals, 4, {450, 310}, 20));
    screens.push_back(photoGrid(QStringLiteral("no-people-animal-thumbnails"), true, animals, 8, {220, 160}, 12, 3));
    screens.push_back(wallpaperOf(QStringLiteral("no-people-owl-wallpaper"), animals.front()));
    for (size_t i = 0; i < 3; ++i)
        screens.push_back(viewer(QStringLiteral("no-people-animal-viewer-%1").arg(i), animals[i * 5 % animals.size()], 1.0, animals));
    screens.push_back(viewer(QStringLiteral("no-people-anime-portrait"), drawings[0], 1.6, drawings));
    screens.push_back(viewer(QStringLiteral("no-people-anime-chibi"), drawings[1], 0.9, drawings));
    for (size_t i = 2; i < drawings.size(); i += 2)
        screens.push_back(novel(QStringLiteral("no-people-anime-novel-%1").arg(i / 2), sources.illustrationBackground, drawings[i],
                                i % 4 == 2 ? 1.5 : 2.6));
    screens.push_back(photoGrid(QStringLiteral("no-people-anime-thumbnails"), false, drawings, 8, {200, 260}, 16));
    return screens;
}

} // namespace DetectionBench
