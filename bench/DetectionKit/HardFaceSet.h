#pragma once

#include "FaceSet.h"

#include <QImage>
#include <QString>
#include <optional>
#include <vector>

namespace DetectionBench {

// Harder kinds than the face set's: people turned three-quarter away, masked, lit from behind, and
// small grey faces in the filmstrip of a call; and pictures whose faces are nobody's: photographs
// of animals (an owl among them) and anime illustrations. From the Debian packages that
// `fetchPortraits` unpacked into the cache.
struct HardSources {
    std::vector<Portrait> turned;      // three-quarter faces in photographs of musicians and a play
    std::vector<QImage> animals;       // animals facing the camera; the owl first
    std::vector<QImage> illustrations; // anime drawings: shaded portraits, cel-coloured sprites
    QImage illustrationBackground;     // a drawn scene the sprites stand in
};
std::optional<HardSources> hardSources(const QString& cacheFolder, QString* whyNot);

// A portrait with a surgical (`cloth` false) or a dark cloth mask over nose, mouth and chin.
Portrait masked(const Portrait& portrait, bool cloth);
// A portrait lit from behind: the face dark, the window around the head blown out.
Portrait backlit(const Portrait& portrait);

// Call galleries of masked, backlit and turned people, light and dark, and calls whose filmstrip
// and participant list show grey faces 20-26 px wide.
std::vector<FaceScreen> hardFaceScreens(const std::vector<Portrait>& portraits, const HardSources& sources);

// Animal galleries, an owl wallpaper and photo viewer, thumbnails of animals, and anime
// illustrations in a viewer, a visual novel and thumbnails.
std::vector<FaceScreen> hardPeopleFreeScreens(const HardSources& sources);

} // namespace DetectionBench
