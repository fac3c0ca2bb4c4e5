#include "FaceSet.h"

#include "BenchDrawing.h"
#include "FaceSetDrawing.h"
#include "ScreenRenderer.h"

#include <QDir>
#include <QFile>
#include <QFontMetrics>
#include <QPainter>
#include <QPainterPath>
#include <QProcess>
#include <QRandomGenerator>

#include <array>
#include <cmath>

namespace DetectionBench {

namespace {

// Downloads each package that the cache does not hold yet, unpacks it there and removes the
// archive; a package is held once it was unpacked whole. A cache unpacked before packages were
// marked (no .marks) holds the first two whole.
constexpr const char* kFetchScript = R"(set -e
cd "$1"; shift
if [ -d unpacked ] && [ ! -e unpacked/.marks ]; then touch unpacked/.held-opencv-doc unpacked/.held-python3-skimage; fi
mkdir -p unpacked; touch unpacked/.marks
for package in "$@"; do
  name=${package%%=*}
  [ -e "unpacked/.held-$name" ] && continue
  rm -f "$name"_*.deb
  apt-get download "$package" >/dev/null
  dpkg-deb -x "$name"_*.deb unpacked
  rm -f "$name"_*.deb
  touch "unpacked/.held-$name"
done)";

// The portraits and the things come from the first two; the harder kinds of faces and pictures
// without people from the others, at the versions their face boxes were marked on.
const char* const kPackages[] = {"opencv-doc", "python3-skimage", "gcompris-qt-data=3.1-2", "renpy-thequestion=8.0.3+dfsg-1"};

const char* const kHtml = "unpacked/usr/share/doc/opencv-doc/opencv4/html/";
const char* const kExamples = "unpacked/usr/share/doc/opencv-doc/examples/data/";
const char* const kSkimage = "unpacked/usr/lib/python3/dist-packages/skimage/data/";

struct PortraitSource {
    const char* folder;
    const char* file;
    QRect crop; // empty: the whole file
    QRect face;
};

// Face boxes marked by hand in each photograph, brow to chin and cheek to cheek.
const PortraitSource kPortraits[] = {
    {kSkimage, "astronaut.png", {}, {178, 72, 88, 92}},
    {kHtml, "227943776_1.jpg", {}, {150, 135, 140, 155}},
    {kHtml, "230501201_1.jpg", {}, {190, 315, 300, 285}},
    {kHtml, "face_swapped.jpg", {}, {103, 100, 100, 102}},
    {kHtml, "example.jpg", {0, 0, 387, 580}, {50, 235, 275, 250}},
};

const char* const kThings[] = {"fruits.jpg", "building.jpg", "butterfly.jpg", "home.jpg", "orange.jpg",
                               "apple.jpg",  "aero1.jpg",    "squirrel_cls.jpg", "starry_night.jpg"};

// A video call: tiles of people in a grid, names in the corners, a control bar below.
FaceScreen callTiles(Composer& composer, bool dark, int columns, int rows, std::vector<double> faceSizes) {
    const Theme t = themeFor(dark);
    ScreenDrawing d(QStringLiteral("call-%1x%2-%3").arg(columns).arg(rows).arg(dark ? "dark" : "light"),
                      blankImage(1920, 1080, dark ? QColor(24, 24, 26) : QColor(236, 238, 241)));
    QPainter& p = d.painter;
    FaceScreen& screen = d.screen;
    const int gap = 12, top = 56, bottom = 96;
    label(p, sans(15, true), t.text, 24, 18, "Weekly sync \u2014 12 participants");
    const double tileW = (1920.0 - gap * (columns + 1)) / columns;
    const double tileH = (1080.0 - top - bottom - gap * (rows - 1)) / rows;
    for (int r = 0; r < rows; ++r) {
        for (int c = 0; c < columns; ++c) {
            const int i = r * columns + c;
            const QRectF tile(gap + c * (tileW + gap), top + r * (tileH + gap), tileW, tileH);
            p.fillPath(rounded(tile, 10), t.tile);
            const double face = faceSizes[size_t(i) % faceSizes.size()];
            const QPointF centre(tile.center().x() + (c % 2 ? 30 : -20), tile.top() + tileH * 0.46);
            screen.faces.push_back(composer.place(p, rounded(tile, 10), face, centre));
            const QRectF plate(tile.left() + 10, tile.bottom() - 36, 150, 26);
            p.fillPath(rounded(plate, 6), QColor(0, 0, 0, 140));
            label(p, sans(13), Qt::white, int(plate.left()) + 10, int(plate.top()) + 5, personName(size_t(i)));
        }
    }
    // Control bar
    for (int i = 0; i < 5; ++i)
        p.fillPath(rounded(QRectF(760 + i * 84, 1080 - 76, 64, 56), 28), i == 4 ? QColor(217, 48, 37) : t.tile);
    return d.finish();
}

// A round avatar of `size` pixels with its top-left at `at`; returns the face's box.
QRect avatar(QPainter& p, Composer& composer, const Theme& t, QPointF at, int size) {
    const QRectF area(at, QSizeF(size, size));
    QPainterPath circle;
    circle.addEllipse(area);
    p.fillPath(circle, t.tile);
    return composer.place(p, circle, size * 0.75, area.center());
}

// A chat app: a conversation list with round avatars beside names and messages.
FaceScreen chatList(Composer& composer, bool dark) {
    const Theme t = themeFor(dark);
    ScreenDrawing d(QStringLiteral("avatars-%1").arg(dark ? "dark" : "light"), blankImage(1920, 1080, t.window));
    QPainter& p = d.painter;
    FaceScreen& screen = d.screen;
    p.fillRect(0, 0, 420, 1080, t.panel);
    label(p, sans(18, true), t.text, 24, 20, "Chats");
    static const int kAvatar[] = {32, 36, 40, 44, 48, 40};
    int y = 70;
    for (int i = 0; i < 14; ++i) {
        const int size = kAvatar[i % std::size(kAvatar)];
        screen.faces.push_back(avatar(p, composer, t, {20, double(y)}, size));
        label(p, sans(14, true), t.text, 20 + size + 14, y + 2, personName(size_t(i)));
        label(p, sans(13), t.secondary, 20 + size + 14, y + 24, "Sounds good, see you at the review tomorrow");
        y += std::max(size, 44) + 22;
    }
    // The open conversation, with small avatars beside messages.
    y = 90;
    for (int i = 0; i < 8; ++i) {
        screen.faces.push_back(avatar(p, composer, t, {460, double(y)}, 36));
        p.fillPath(rounded(QRectF(510, y, 620, 48), 12), t.panel);
        label(p, sans(14), t.text, 526, y + 14, "Can you send the numbers before the meeting starts?");
        y += 110;
    }
    return d.finish();
}

// A people directory: cards with a square photograph, a name and a role.
FaceScreen directory(Composer& composer, bool dark) {
    const Theme t = themeFor(dark);
    ScreenDrawing d(QStringLiteral("directory-%1").arg(dark ? "dark" : "light"), blankImage(1920, 1080, t.window));
    QPainter& p = d.painter;
    FaceScreen& screen = d.screen;
    label(p, sans(20, true), t.text, 40, 24, "People");
    static const int kPhoto[] = {72, 88, 104, 120, 96};
    for (int i = 0; i < 15; ++i) {
        const int c = i % 5, r = i / 5;
        const QRectF card(40 + c * 370, 80 + r * 330, 340, 300);
        p.fillPath(rounded(card, 12), t.panel);
        const int size = kPhoto[i % std::size(kPhoto)];
        const QRectF photo(card.center().x() - size / 2.0, card.top() + 24, size, size);
        p.fillPath(rounded(photo, 8), t.tile);
        screen.faces.push_back(composer.place(p, rounded(photo, 8), size * 0.6, photo.center() + QPointF(0, 4)));
        label(p, sans(16, true), t.text, int(card.left()) + 24, int(photo.bottom()) + 20, personName(size_t(i)));
        label(p, sans(13), t.secondary, int(card.left()) + 24, int(photo.bottom()) + 46, "Product design, Berlin");
    }
    return d.finish();
}

// A desktop whose wallpaper is a portrait, with a file manager window beside the face.
FaceScreen wallpaper(Composer& composer, bool dark, double faceSize) {
    const Theme t = themeFor(dark);
    ScreenDrawing d(QStringLiteral("wallpaper-%1-%2").arg(dark ? "dark" : "light").arg(int(faceSize)),
                      blankImage(1920, 1080, Qt::black));
    QPainter& p = d.painter;
    FaceScreen& screen = d.screen;
    QPainterPath all;
    all.addRect(0, 0, 1920, 1080);
    screen.faces.push_back(composer.place(p, all, faceSize, {1400, 470}));
    p.fillRect(0, 0, 1920, 30, t.panel);
    label(p, sans(13), t.text, 16, 7, "Activities      Files      Tue 10:42");
    const QRectF window(80, 120, 820, 700);
    p.fillPath(rounded(window, 10), t.window);
    p.fillRect(QRectF(80, 120, 820, 44), t.panel);
    label(p, sans(14, true), t.text, 110, 132, "Documents");
    for (int i = 0; i < 14; ++i)
        label(p, sans(14), i % 3 ? t.text : t.secondary, 110, 190 + i * 42, QStringLiteral("report-%1.pdf").arg(2010 + i));
    return d.finish();
}

FaceScreen galleryOfThings(const std::vector<QImage>& photos) {
    const Theme t = themeFor(false);
    ScreenDrawing d(QStringLiteral("no-people-gallery"), blankImage(1920, 1080, t.window));
    QPainter& p = d.painter;
    label(p, sans(18, true), t.text, 32, 20, "Photos");
    for (size_t i = 0; i < photos.size() && i < 12; ++i) {
        const QRect cell(32 + int(i % 4) * 470, 70 + int(i / 4) * 330, 450, 310);
        p.drawImage(cell, photos[i].scaled(cell.size(), Qt::KeepAspectRatioByExpanding, Qt::SmoothTransformation),
                    QRect(QPoint(0, 0), cell.size()));
    }
    return d.finish();
}

FaceScreen codeEditor() {
    ScreenDrawing d(QStringLiteral("no-people-editor"), blankImage(1920, 1080, QColor(30, 30, 30)));
    QPainter& p = d.painter;
    p.fillRect(0, 0, 260, 1080, QColor(37, 37, 38));
    QFont mono(QStringLiteral("DejaVu Sans Mono"));
    mono.setPixelSize(14);
    static const char* const kLines[] = {
        "#include <vector>", "", "namespace app {", "", "// Collects the rows that changed since the last sync.",
        "std::vector<Row> changedRows(const Table& table, Revision since) {", "    std::vector<Row> rows;",
        "    for (const Row& row : table.rows())", "        if (row.revision > since) rows.push_back(row);",
        "    return rows;", "}", "", "} // namespace app"};
    for (int i = 0; i < 60; ++i) {
        label(p, mono, QColor(133, 133, 133), 280, 40 + i * 17, QString::number(i + 1));
        label(p, mono, i % 5 == 4 ? QColor(106, 153, 85) : QColor(212, 212, 212), 330, 40 + i * 17,
              kLines[size_t(i) % std::size(kLines)]);
    }
    for (int i = 0; i < 30; ++i) label(p, sans(13), QColor(204, 204, 204), 20, 40 + i * 24, QStringLiteral("src/module%1.cpp").arg(i));
    return d.finish();
}

FaceScreen dashboard() {
    const Theme t = themeFor(false);
    ScreenDrawing d(QStringLiteral("no-people-dashboard"), blankImage(1920, 1080, t.panel));
    QPainter& p = d.painter;
    QRandomGenerator rng(11);
    // Below the charts, a headline in large type: big glyphs can pass for faces.
    label(p, sans(160), t.text, 40, 560, QStringLiteral("Value 98%"));
    for (int i = 0; i < 3; ++i) {
        const QRectF card(30 + i * 630, 40, 600, 490);
        p.fillPath(rounded(card, 12), Qt::white);
        label(p, sans(16, true), t.text, int(card.left()) + 20, int(card.top()) + 16, QStringLiteral("Requests per hour"));
        QPolygonF line;
        for (int x = 0; x <= 40; ++x) line << QPointF(card.left() + 30 + x * 13.5, card.bottom() - 60 - rng.bounded(300));
        p.setPen(QPen(QColor(26, 115, 232), 2));
        if (i % 2) {
            p.drawPolyline(line);
        } else {
            for (const QPointF& pt : line)
                p.fillRect(QRectF(pt.x(), pt.y(), 9, card.bottom() - 60 - pt.y()), QColor(52, 168, 83));
        }
        // Round icons with letters, as dashboards show them.
        for (int k = 0; k < 4; ++k) {
            QPainterPath circle;
            circle.addEllipse(QRectF(card.right() - 200 + k * 44, card.top() + 12, 32, 32));
            p.fillPath(circle, QColor::fromHsv((k * 70 + i * 30) % 360, 120, 220));
            label(p, sans(14, true), Qt::white, int(card.right()) - 190 + k * 44, int(card.top()) + 19, QString(QChar('A' + k)));
        }
    }
    return d.finish();
}

// A team page without photographs: initials avatars of many sizes, coloured status pills, count
// badges and role badges beside names.
FaceScreen badgesAndPills(bool dark) {
    const Theme t = themeFor(dark);
    ScreenDrawing d(QStringLiteral("no-people-badges-%1").arg(dark ? "dark" : "light"), blankImage(1920, 1080, t.window));
    QPainter& p = d.painter;
    label(p, sans(20, true), t.text, 40, 24, "Team");
    static const int kAvatar[] = {24, 32, 40, 48, 64, 80, 96, 128};
    static const char* const kPills[] = {"Online", "Away", "Admin", "Guest", "3 new", "On call", "Beta"};
    for (int i = 0; i < 24; ++i) {
        const int c = i % 4, r = i / 4;
        const int size = kAvatar[i % std::size(kAvatar)];
        const QRectF circle(40 + c * 470, 80 + r * 165, size, size);
        QPainterPath round;
        round.addEllipse(circle);
        p.fillPath(round, QColor::fromHsv((i * 47) % 360, 110 + (i % 3) * 40, dark ? 170 : 215));
        const QString name = personName(size_t(i));
        const QString initials = QString(name.at(0)) + name.at(name.indexOf(' ') + 1);
        p.setFont(sans(std::max(10, size * 2 / 5), true));
        p.setPen(Qt::white);
        p.drawText(circle, Qt::AlignCenter, i % 5 == 4 ? initials.left(1) : initials);
        // A count badge on the avatar's shoulder.
        if (i % 3 == 0) {
            const QRectF badge(circle.right() - 12, circle.top() - 4, 20, 20);
            QPainterPath dot;
            dot.addEllipse(badge);
            p.fillPath(dot, QColor(217, 48, 37));
            p.setFont(sans(11, true));
            p.drawText(badge, Qt::AlignCenter, QString::number(i % 9 + 1));
        }
        const int x = int(circle.right()) + 16;
        label(p, sans(15, true), t.text, x, int(circle.top()) + 2, name);
        const QString pill = QString::fromLatin1(kPills[i % std::size(kPills)]);
        const QRectF pillBox(x, circle.top() + 28, QFontMetrics(sans(12, true)).horizontalAdvance(pill) + 20, 22);
        p.fillPath(rounded(pillBox, 11), QColor::fromHsv((i * 83) % 360, 90, dark ? 120 : 235));
        label(p, sans(12, true), dark ? Qt::white : QColor(32, 33, 36), int(pillBox.left()) + 10, int(pillBox.top()) + 4, pill);
        // A shield-shaped role badge with a star.
        if (i % 4 == 1) {
            const QPointF at(pillBox.right() + 14, pillBox.top());
            QPainterPath shield;
            shield.moveTo(at + QPointF(11, 0));
            shield.lineTo(at + QPointF(22, 4));
            shield.quadTo(at + QPointF(22, 18), at + QPointF(11, 24));
            shield.quadTo(at + QPointF(0, 18), at + QPointF(0, 4));
            shield.closeSubpath();
            p.fillPath(shield, QColor(26, 115, 232));
            label(p, sans(12, true), Qt::white, int(at.x()) + 6, int(at.y()) + 4, QStringLiteral("\u2605"));
        }
    }
    return d.finish();
}

// A cartoon face: a round head, eyes with highlights, brows, a nose and a smile; with hair when
// `hair` is valid. The kind of drawing illustrations, stickers and mascots show.
void cartoonFace(QPainter& p, QPointF centre, double size, const QColor& skin, const QColor& hair, int mood) {
    const double r = size / 2;
    p.save();
    p.translate(centre);
    p.setPen(QPen(QColor(60, 40, 30), std::max(1.0, size / 40)));
    if (hair.isValid()) {
        p.setBrush(hair);
        p.drawEllipse(QRectF(-r * 1.08, -r * 1.15, r * 2.16, r * 1.6));
    }
    p.setBrush(skin);
    p.drawEllipse(QRectF(-r * 0.9, -r, r * 1.8, r * 2));
    for (const double side : {-1.0, 1.0}) {
        p.setBrush(Qt::white);
        p.drawEllipse(QPointF(side * r * 0.35, -r * 0.15), r * 0.2, r * 0.24);
        p.setBrush(QColor(40, 30, 25));
        p.drawEllipse(QPointF(side * r * 0.33, -r * 0.12), r * 0.1, r * 0.12);
        p.setBrush(Qt::white);
        p.drawEllipse(QPointF(side * r * 0.3, -r * 0.17), r * 0.03, r * 0.03);
        p.drawLine(QPointF(side * r * 0.15, -r * 0.5), QPointF(side * r * 0.55, -r * (mood == 2 ? 0.4 : 0.55)));
    }
    p.setBrush(Qt::NoBrush);
    p.drawArc(QRectF(-r * 0.08, -r * 0.05, r * 0.16, r * 0.3), 180 * 16, 180 * 16);
    if (mood == 1)
        p.drawEllipse(QRectF(-r * 0.15, r * 0.45, r * 0.3, r * 0.2));
    else
        p.drawArc(QRectF(-r * 0.4, r * 0.2, r * 0.8, r * 0.45), 200 * 16, 140 * 16);
    p.restore();
}

// Stickers, emoji-like smileys, mascots and an illustrated banner: drawn faces, no people.
FaceScreen cartoons(bool dark) {
    const Theme t = themeFor(dark);
    ScreenDrawing d(QStringLiteral("no-people-cartoons-%1").arg(dark ? "dark" : "light"), blankImage(1920, 1080, t.window));
    QPainter& p = d.painter;
    label(p, sans(20, true), t.text, 40, 24, "Sticker packs");
    static const QColor kSkins[] = {QColor(255, 205, 64), QColor(241, 194, 160), QColor(198, 134, 96), QColor(141, 85, 54),
                                    QColor(120, 200, 120), QColor(170, 190, 255)};
    static const QColor kHair[] = {QColor(), QColor(90, 56, 30), QColor(20, 20, 24), QColor(230, 190, 90), QColor(180, 60, 40)};
    static const double kSizes[] = {24, 32, 48, 64, 96, 140, 200};
    double x = 60, y = 90, rowHeight = 0;
    for (int n = 0; n < 34; ++n) {
        const double size = kSizes[n % std::size(kSizes)];
        if (x + size > 1880) {
            x = 60;
            y += rowHeight + 40;
            rowHeight = 0;
        }
        if (y + size > 1060) break;
        const bool smiley = n % 3 == 0;
        cartoonFace(p, QPointF(x + size / 2, y + size / 2), size, smiley ? QColor(255, 205, 64) : kSkins[n % std::size(kSkins)],
                    smiley ? QColor() : kHair[n % std::size(kHair)], n % 3);
        x += size + 50;
        rowHeight = std::max(rowHeight, size);
    }
    return d.finish();
}

} // namespace

std::optional<std::vector<Portrait>> fetchPortraits(const QString& cacheFolder, QString* whyNot) {
    if (!QDir().mkpath(cacheFolder)) {
        *whyNot = "cannot create " + cacheFolder;
        return std::nullopt;
    }
    const QDir cache(cacheFolder);
    QStringList arguments = {QStringLiteral("-c"), QString::fromLatin1(kFetchScript), QStringLiteral("sh"), cache.absolutePath()};
    for (const char* package : kPackages) arguments.append(QString::fromLatin1(package));
    QProcess fetch;
    fetch.start(QStringLiteral("sh"), arguments);
    if (!fetch.waitForFinished(600000) || fetch.exitCode() != 0) {
        *whyNot = "fetching the photographs failed: " + QString::fromLocal8Bit(fetch.readAllStandardError()).trimmed();
        return std::nullopt;
    }
    std::vector<Portrait> portraits;
    for (const PortraitSource& source : kPortraits) {
        QImage photo(cache.filePath(QString::fromLatin1(source.folder) + QString::fromLatin1(source.file)));
        if (photo.isNull()) {
            *whyNot = QStringLiteral("the packages hold no readable %1").arg(source.file);
            return std::nullopt;
        }
        if (!source.crop.isEmpty()) photo = photo.copy(source.crop);
        portraits.push_back({QString::fromLatin1(source.file), photo.convertToFormat(QImage::Format_RGB32), source.face});
    }
    return portraits;
}

std::vector<QImage> peopleFreePhotos(const QString& cacheFolder) {
    std::vector<QImage> photos;
    for (const char* file : kThings) {
        QImage photo(QDir(cacheFolder).filePath(QString::fromLatin1(kExamples) + QString::fromLatin1(file)));
        if (!photo.isNull()) photos.push_back(photo);
    }
    for (const char* file : {"coffee.png", "chelsea.png", "rocket.jpg"}) {
        QImage photo(QDir(cacheFolder).filePath(QString::fromLatin1(kSkimage) + QString::fromLatin1(file)));
        if (!photo.isNull()) photos.push_back(photo);
    }
    return photos;
}

std::vector<FaceScreen> faceScreens(const std::vector<Portrait>& portraits) {
    Composer composer(portraits);
    std::vector<FaceScreen> screens;
    for (const bool dark : {false, true}) {
        screens.push_back(callTiles(composer, dark, 3, 3, {56, 72, 90, 110, 130, 64, 100, 80, 120}));
        screens.push_back(callTiles(composer, dark, 2, 2, {160, 200, 240, 260}));
        screens.push_back(chatList(composer, dark));
        screens.push_back(directory(composer, dark));
        screens.push_back(wallpaper(composer, dark, dark ? 260 : 220));
    }
    // One person close to the camera, the call filling the screen.
    screens.push_back(callTiles(composer, false, 1, 1, {520}));
    return screens;
}

std::vector<FaceScreen> peopleFreeScreens(const std::vector<QImage>& photos) {
    std::vector<FaceScreen> screens;
    for (const bool dark : {false, true}) {
        RenderedScreen dense = renderTextDense(1920, 1080, dark);
        screens.push_back({QStringLiteral("no-people-text-%1").arg(dark ? "dark" : "light"), dense.image, {}});
    }
    screens.push_back(galleryOfThings(photos));
    screens.push_back(codeEditor());
    screens.push_back(dashboard());
    for (const bool dark : {false, true}) {
        screens.push_back(badgesAndPills(dark));
        screens.push_back(cartoons(dark));
    }
    return screens;
}

} // namespace DetectionBench
