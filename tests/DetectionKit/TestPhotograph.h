#pragma once

#include <QImage>
#include <QString>
#include <optional>

namespace DetectionTests {

// A real photograph of a face (scikit-image's astronaut), taken from the Debian package that
// ships it: downloaded once with `apt-get download` (never installed) into the build's test cache.
// Gives nothing, with the reason in `whyNot`, when the package cannot be fetched.
std::optional<QImage> astronautPhotograph(QString* whyNot);

} // namespace DetectionTests
