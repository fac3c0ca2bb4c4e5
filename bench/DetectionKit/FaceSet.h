#pragma once

#include <QImage>
#include <QRect>
#include <QString>
#include <optional>
#include <vector>

namespace DetectionBench {

// A screen with people's photographs placed into a rendered interface, and where each face lies.
struct FaceScreen {
    QString name;
    QImage image;
    std::vector<QRect> faces; // brow to chin, cheek to cheek, in image pixels
};

// Portrait photographs shipped in Debian packages (documentation and test data), fetched with
// `apt-get download` into `cacheFolder` and unpacked there, never installed. Fetched once; later
// calls read the cache. Gives nothing, with the reason in `whyNot`, when the packages cannot be had.
struct Portrait {
    QString name;
    QImage photo;
    QRect face; // in the photograph's pixels
};
std::optional<std::vector<Portrait>> fetchPortraits(const QString& cacheFolder, QString* whyNot);

// Photographs without people from the same packages (fruit, buildings, animals, objects).
std::vector<QImage> peopleFreePhotos(const QString& cacheFolder);

// The face set: call tiles, 32-48 px avatars, directory grids, a photo wallpaper, light and dark,
// and a call filled by one face, with the portraits at face sizes from 24 to 520 px, in colour,
// grey and warm-tinted, some slightly turned.
std::vector<FaceScreen> faceScreens(const std::vector<Portrait>& portraits);

// Screens without people: text-dense light and dark, a photo gallery of things, a code editor, a
// chart dashboard, and light and dark team pages of initials avatars, coloured pills and badges and
// sticker sheets of cartoon faces.
std::vector<FaceScreen> peopleFreeScreens(const std::vector<QImage>& photos);

} // namespace DetectionBench
