#include "TestPhotograph.h"

#include "Support/FileLock.h"
#include "support/TestEnvironment.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>

namespace DetectionTests {

namespace {

QString shellQuoted(const QString& s) {
    QString quoted = s;
    quoted.replace(QLatin1String("'"), QLatin1String("'\\''"));
    return QLatin1Char('\'') + quoted + QLatin1Char('\'');
}

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
        for (const char* tool : {"apt-get", "dpkg-deb"}) {
            if (!TestSupport::hasProgram(tool)) {
                *whyNot = QStringLiteral("%1 is not available to fetch the photograph").arg(tool);
                return std::nullopt;
            }
        }
        const QString work = cache + QStringLiteral("/fetch");
        QDir(work).removeRecursively();
        QDir().mkpath(work);
        const auto download = TestSupport::runProgram(
            "sh", {"-c", "cd " + shellQuoted(work) + " && apt-get download python3-skimage"}, std::nullopt, 300000);
        const QStringList debs = QDir(work).entryList({"python3-skimage_*.deb"}, QDir::Files);
        if (!download || download->exitCode != 0 || debs.isEmpty()) {
            *whyNot = "apt-get download python3-skimage failed: " +
                      (download ? QString::fromLocal8Bit(download->standardError).trimmed() : QStringLiteral("did not run"));
            QDir(work).removeRecursively();
            return std::nullopt;
        }
        const auto extract = TestSupport::runProgram("dpkg-deb", {"-x", work + "/" + debs.first(), work + "/x"});
        QString found;
        QDirIterator it(work + "/x", {"astronaut.png"}, QDir::Files, QDirIterator::Subdirectories);
        if (it.hasNext()) found = it.next();
        if (!extract || extract->exitCode != 0 || found.isEmpty() || !QFile::copy(found, photo)) {
            *whyNot = QStringLiteral("the python3-skimage package holds no astronaut.png");
            QDir(work).removeRecursively();
            return std::nullopt;
        }
        QDir(work).removeRecursively();
    }
    QImage image(photo);
    if (image.isNull()) {
        *whyNot = "cannot read " + photo;
        return std::nullopt;
    }
    return image;
}

} // namespace DetectionTests
