#include "BrindlecastApp/Pipeline/LibraryFiles.h"

#include "SidecarKit/SidecarStore.h"
#include "Support/AtomicFile.h"
#include "Support/DateFormatter.h"
#include "Support/FileNames.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

namespace BrindlecastApp::Pipeline {

namespace {

QString joined(const QString& folder, const QString& name) { return QDir(folder).filePath(name); }

} // namespace

QString numberedName(const QString& filename, int n) {
    if (n == 0) return filename;
    const QFileInfo info(filename);
    const QString extension = info.suffix();
    const QString base = extension.isEmpty() ? filename : filename.left(filename.size() - extension.size() - 1);
    return extension.isEmpty() ? QStringLiteral("%1 (%2)").arg(base).arg(n)
                               : QStringLiteral("%1 (%2).%3").arg(base).arg(n).arg(extension);
}

QString screenshotFilename(const QDateTime& date, const QString& extension) {
    // Made afresh each time, as the time zone may have changed since the last capture.
    const auto formatter = Support::DateFormatter::withPattern("yyyy-MM-dd 'at' h.mm.ss a", "en_US_POSIX");
    return "Screenshot " + formatter.format(date.toLocalTime()) + "." + extension;
}

std::optional<QDateTime> timeInScreenshotName(const QString& filename) {
    const QRegularExpression name(
        R"(^Screenshot (\d{4})-(\d{2})-(\d{2}) at (\d{1,2})\.(\d{2})\.(\d{2}) (AM|PM)(?: \(\d+\))?\.[A-Za-z]+$)");
    const QRegularExpressionMatch match = name.match(filename);
    if (!match.hasMatch()) return std::nullopt;
    const auto number = [&](int group) { return match.captured(group).toInt(); };
    const int hour12 = number(4);
    if (hour12 < 1 || hour12 > 12) return std::nullopt;
    const int hour = hour12 % 12 + (match.captured(7) == "PM" ? 12 : 0);
    const QDateTime time(QDate(number(1), number(2), number(3)), QTime(hour, number(5), number(6)));
    if (!time.isValid()) return std::nullopt;
    return time;
}

QString uniquePath(const QString& folder, const QString& filename) {
    for (int n = 0;; ++n) {
        const QString path = joined(folder, numberedName(filename, n));
        if (!Support::FileNames::exists(path)) return path;
    }
}

QString writeNewFile(const QString& folder, const QString& filename, const QByteArray& bytes) {
    return Support::AtomicFile::createNew(folder, [&filename](int n) { return numberedName(filename, n); }, bytes);
}

QString writeCompanion(const QString& workingCopyPath, const QByteArray& png) {
    // Its name is tied to the working copy's, so there is no next name to move on to: a taken
    // name (a link planted in a shared folder, say) means no companion.
    const QFileInfo companion(companionPath(workingCopyPath));
    const QString name = companion.fileName();
    return Support::AtomicFile::createNew(companion.path(), [&name](int n) { return n == 0 ? name : QString(); }, png);
}

QString companionPath(const QString& workingCopyPath) {
    const QFileInfo info(workingCopyPath);
    const QString extension = info.suffix();
    const QString stem = extension.isEmpty() ? workingCopyPath
                                             : workingCopyPath.left(workingCopyPath.size() - extension.size() - 1);
    return stem + ".content.png";
}

QString sidecarPath(const QString& imagePath) { return SidecarKit::SidecarStore::sidecarURL(imagePath); }

} // namespace BrindlecastApp::Pipeline
