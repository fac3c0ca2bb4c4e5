#include "BrindlecastApp/Settings/ApplicationIcons.h"

#include "BrindlecastApp/Design/Symbols.h"
#include "Support/SafeFile.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QIcon>
#include <QImageReader>
#include <QPainter>
#include <QRegularExpression>
#include <QRunnable>
#include <QStandardPaths>

#include <algorithm>

namespace BrindlecastApp {

namespace {

// The largest icon file read: a large scalable icon is a few hundred kilobytes.
constexpr qint64 kMaximumIconBytes = 4 * 1024 * 1024;
// A theme's index is a few kilobytes even with every directory listed.
constexpr qint64 kMaximumIndexBytes = 256 * 1024;
// Themes inheriting themes: a chain longer than this is a loop.
constexpr int kMaximumThemes = 8;
const QStringList kExtensions{"png", "svg", "xpm"};

// The image in an icon file, `pixels` on its longer side; null when the file is refused or does
// not decode (a scalable icon without Qt's SVG reader, for one).
QImage readIconFile(const QString& path, int pixels) {
    std::optional<QByteArray> bytes = Support::SafeFile::read(path, kMaximumIconBytes, Support::SafeFile::Links::follow);
    if (!bytes) return {};
    QBuffer buffer(&*bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer, QFileInfo(path).suffix().toLower().toLatin1());
    reader.setDecideFormatFromContent(true);
    const QSize size = reader.size();
    if (size.isValid() && std::max(size.width(), size.height()) > pixels)
        reader.setScaledSize(size.scaled(pixels, pixels, Qt::KeepAspectRatio).expandedTo(QSize(1, 1)));
    QImage image = reader.read();
    if (image.isNull()) return {};
    if (std::max(image.width(), image.height()) > pixels)
        image = image.scaled(pixels, pixels, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    return image;
}

// The theme that `theme` names as its parents in its index.
QStringList inheritedThemes(const QString& theme, const QStringList& themeFolders) {
    for (const QString& folder : themeFolders) {
        const std::optional<QByteArray> index =
            Support::SafeFile::read(folder + "/" + theme + "/index.theme", kMaximumIndexBytes, Support::SafeFile::Links::follow);
        if (!index) continue;
        for (const QByteArray& line : index->split('\n')) {
            const QByteArray trimmed = line.trimmed();
            if (!trimmed.startsWith("Inherits")) continue;
            const qsizetype equals = trimmed.indexOf('=');
            if (equals < 0 || trimmed.left(equals).trimmed() != "Inherits") continue;
            QStringList parents;
            for (const QString& parent : QString::fromUtf8(trimmed.mid(equals + 1)).split(',', Qt::SkipEmptyParts))
                parents << parent.trimmed();
            return parents;
        }
        return {};
    }
    return {};
}

// How near a file in a folder of icons of `folderPixels` comes to `pixels` (lower is nearer): a
// scalable icon fits any size, a larger icon shrinks better than a smaller one grows.
int distance(int folderPixels, int pixels) {
    if (folderPixels == 0) return 0;
    return folderPixels >= pixels ? folderPixels - pixels : 2 * (pixels - folderPixels);
}

// The size of the icons in a theme's sub-folder, from its path ("48x48/apps", "apps/48",
// "48x48@2/apps"); 0 for "scalable"; nothing when the path says no size.
std::optional<int> folderPixels(const QString& relative) {
    static const QRegularExpression sized(R"(^(\d+)(?:x\d+)?(?:@(\d+)x?)?$)");
    for (const QString& part : relative.split('/')) {
        if (part == "scalable") return 0;
        const QRegularExpressionMatch match = sized.match(part);
        if (match.hasMatch()) return match.captured(1).toInt() * std::max(1, match.captured(2).toInt());
    }
    return std::nullopt;
}

// The files of `name` in one theme, nearest to `pixels` first.
QStringList themeFiles(const QString& theme, const QString& name, int pixels, const QStringList& themeFolders) {
    std::vector<std::pair<int, QString>> found;
    for (const QString& folder : themeFolders) {
        const QDir root(folder + "/" + theme);
        if (!root.exists()) continue;
        // Icon themes keep their icons two folders down: a size and a context, in either order.
        for (const QString& first : root.entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name)) {
            for (const QString& second : QDir(root.filePath(first)).entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name)) {
                const QString relative = first + "/" + second;
                const std::optional<int> size = folderPixels(relative);
                if (!size) continue;
                for (const QString& extension : kExtensions) {
                    const QString path = root.filePath(relative + "/" + name + "." + extension);
                    if (QFileInfo(path).isFile()) found.emplace_back(distance(*size, pixels), path);
                }
            }
        }
    }
    std::stable_sort(found.begin(), found.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    QStringList paths;
    for (const auto& [ignored, path] : found) paths << path;
    return paths;
}

QImage firstReadable(const QStringList& paths, int pixels) {
    for (const QString& path : paths)
        if (QImage image = readIconFile(path, pixels); !image.isNull()) return image;
    return {};
}

QString cacheKey(const QString& iconName, int pixels) { return QString::number(pixels) + '\n' + iconName; }

} // namespace

IconSearch IconSearch::current() {
    IconSearch search;
    QStringList themes{QIcon::themeName(), QIcon::fallbackThemeName(), QStringLiteral("hicolor")};
    themes.removeAll(QString());
    themes.removeDuplicates();
    search.themes = themes;
    search.themeFolders << QDir::homePath() + "/.icons";
    for (const QString& data : QStandardPaths::standardLocations(QStandardPaths::GenericDataLocation)) {
        search.themeFolders << data + "/icons";
        search.pixmapFolders << data + "/pixmaps";
    }
    search.themeFolders.removeDuplicates();
    search.pixmapFolders.removeDuplicates();
    return search;
}

QImage readApplicationIcon(const QString& iconName, int pixels, const IconSearch& search) {
    if (iconName.isEmpty() || pixels <= 0) return {};
    if (QDir::isAbsolutePath(iconName)) return readIconFile(iconName, pixels);
    // A theme name is a plain name; an older entry may give it with its extension.
    QString name = iconName;
    if (kExtensions.contains(QFileInfo(name).suffix().toLower())) name = QFileInfo(name).completeBaseName();
    if (name.contains('/') || name.startsWith('.')) return {};

    // Each theme with the themes it inherits, "hicolor" last; the first of them with the icon.
    QStringList themes;
    for (const QString& start : search.themes) {
        QStringList queue{start};
        while (!queue.isEmpty() && themes.size() < kMaximumThemes) {
            const QString theme = queue.takeFirst();
            if (themes.contains(theme) || (theme == "hicolor" && start != "hicolor")) continue;
            themes << theme;
            queue << inheritedThemes(theme, search.themeFolders);
        }
    }
    for (const QString& theme : std::as_const(themes))
        if (QImage image = firstReadable(themeFiles(theme, name, pixels, search.themeFolders), pixels); !image.isNull())
            return image;
    QStringList loose;
    for (const QString& folder : search.pixmapFolders)
        for (const QString& extension : kExtensions) loose << folder + "/" + name + "." + extension;
    return firstReadable(loose, pixels);
}

QImage genericApplicationIcon(int pixels, const IconSearch& search) {
    QImage themed = readApplicationIcon(QStringLiteral("application-x-executable"), pixels, search);
    return themed.isNull() ? ApplicationIcons::placeholder(pixels) : themed;
}

ApplicationIcons& ApplicationIcons::shared() {
    static ApplicationIcons icons;
    return icons;
}

ApplicationIcons::~ApplicationIcons() {
    reader_.clear();
    reader_.waitForDone();
}

QImage ApplicationIcons::placeholder(int pixels) {
    QImage image(pixels, pixels, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    const double inset = pixels / 16.0;
    Symbols::paint(painter, "macwindow", QRectF(inset, inset, pixels - 2 * inset, pixels - 2 * inset),
                   QColor::fromRgb(142, 142, 147));
    return image;
}

void ApplicationIcons::request(const QString& iconName, int pixels, QObject* context,
                               std::function<void(const QImage&)> ready) {
    const QString key = cacheKey(iconName, pixels);
    if (const auto known = known_.constFind(key); known != known_.cend()) return ready(*known);
    std::vector<Waiting>& waiting = waiting_[key];
    waiting.push_back({context, std::move(ready)});
    if (waiting.size() > 1) return; // already being read
    // One reader: icons come one after the other, and a slow one holds up only the icons.
    reader_.setMaxThreadCount(1);
    reader_.start(QRunnable::create([this, key, iconName, pixels, search = IconSearch::current()] {
        QImage image = readApplicationIcon(iconName, pixels, search);
        if (image.isNull()) image = genericApplicationIcon(pixels, search);
        // The destructor waits for the reader, so `this` outlives the call being queued.
        QMetaObject::invokeMethod(this, [this, key, image] { deliver(key, image); }, Qt::QueuedConnection);
    }));
}

void ApplicationIcons::deliver(const QString& key, const QImage& image) {
    known_.insert(key, image);
    const std::vector<Waiting> waiting = waiting_.take(key);
    for (const Waiting& w : waiting)
        if (w.context) w.ready(image);
}

void ApplicationIcons::waitForIcons() {
    reader_.waitForDone();
    QCoreApplication::sendPostedEvents(this, QEvent::MetaCall);
}

} // namespace BrindlecastApp
