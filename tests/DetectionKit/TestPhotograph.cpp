#include "TestPhotograph.h"

#include "Support/FileLock.h"
#include "support/TestEnvironment.h"

#include <QDir>
#include <QFile>

namespace DetectionTests {

namespace {

// Downloads the package into a scratch folder, unpacks it there and copies the photograph to $1.
constexpr const char* kFetchScript = R"(set -e
work=$(mktemp -d); trap 'rm -rf "$work"' EXIT; cd "$work"
apt-get download python3-skimage
dpkg-deb -x python3-skimage_*.deb x
found=$(find x -name astronaut.png | head -n 1)
test -n "$found" || { echo "the python3-skimage package holds no astronaut.png" >&2; exit 1; }
cp "$found" "$1")";

} // namespace

std::optional<QImage> astronautPhotograph(QString* whyNot) {
    const QString cache = QStringLiteral(DETECTION_TEST_CACHE);
    const QString photo = cache + QStringLiteral("/astronaut.png");
    if (!QDir().mkpath(cache)) {
        *whyNot = "cannot create the test cache " + cache;
        return std::nullopt;
    }
    // Test processes run in parallel: one fetches, the others wait for it.
    Support::FileLock lock(cache + QStringLiteral("/fetch.lock"));
    if (!QFile::exists(photo)) {
        // Copied beside the photograph and renamed, so a cut-off fetch never passes for the photograph.
        const QString part = photo + QStringLiteral(".part");
        const auto fetch = TestSupport::runProgram("sh", {"-c", kFetchScript, "sh", part}, std::nullopt, 300000);
        if (!fetch || fetch->exitCode != 0 || !QFile::rename(part, photo)) {
            QFile::remove(part);
            *whyNot = "fetching python3-skimage failed: " +
                      (fetch ? QString::fromLocal8Bit(fetch->standardError).trimmed() : QStringLiteral("sh did not run"));
            return std::nullopt;
        }
    }
    QImage image(photo);
    if (image.isNull()) {
        *whyNot = "cannot read " + photo;
        return std::nullopt;
    }
    return image;
}

} // namespace DetectionTests
