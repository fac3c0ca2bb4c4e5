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
// Plain characters, not a QStringList: nothing a worker reads may be torn down at exit before it.
constexpr const char* kExtensions[] = {"png", "svg", "xpm"};

bool isIconExtension(const QString& suffix) {
    return std::any_of(std::begin(kExtensions), std::end(kExtensions),
                       [&](const char* extension) { return suffix.compare(QLatin1String(extension), Qt::CaseInsensitive) == 0; });
}

// The image grown or shrunk to fill a square of `pixels`, centred: a row of icons of every size
// lines up.
QImage fitted(const QImage& image, int pixels) {
    if (image.size() == QSize(pixels, pixels)) return image;
    const QImage scaled = image.scaled(pixels, pixels, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    QImage square(pixels, pixels, QImage::Format_ARGB32_Premultiplied);
    square.fill(Qt::transparent);
    QPainter painter(&square);
    painter.drawImage((pixels - scaled.width()) / 2, (pixels - scaled.height()) / 2, scaled);
    return square;
}

// The image in an icon file filling a square of `pixels`; null when the file is refused or does
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
    const QImage image = reader.read();
    return image.isNull() ? QImage() : fitted(image, pixels);
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

// The size of the icons in one part of a folder's path ("48x48", "48", "48x48@2x"); nothing
// when the part says no size.
std::optional<int> sizeInName(QStringView part) {
    qsizetype i = 0;
    const auto number = [&]() -> int {
        const qsizetype start = i;
        int n = 0;
        while (i < part.size() && part[i].isDigit() && i - start < 5) n = n * 10 + part[i++].digitValue();
        return i > start ? n : -1;
    };
    const int size = number();
    if (size <= 0) return std::nullopt;
    if (i < part.size() && part[i] == u'x' && (++i, number() < 0)) return std::nullopt;
    int scale = 1;
    if (i < part.size() && part[i] == u'@') {
        ++i;
        scale = number();
        if (scale <= 0) return std::nullopt;
        if (i < part.size() && part[i] == u'x') ++i;
    }
    return i == part.size() ? std::optional<int>(size * scale) : std::nullopt;
}

// The size of the icons in a theme's sub-folder, from its path ("48x48/apps", "apps/48",
// "48x48@2/apps"); 0 for "scalable"; nothing when the path says no size.
std::optional<int> folderPixels(const QString& first, const QString& second) {
    for (const QString& part : {first, second}) {
        if (part == u"scalable") return 0;
        if (const std::optional<int> size = sizeInName(part)) return size;
    }
    return std::nullopt;
}

// The files of `name` in one theme, nearest to `pixels` first.
QStringList themeFiles(const QString& theme, const QString& name, int pixels, const QStringList& themeFolders,
                       IconFolders& folders) {
    std::vector<std::pair<int, QString>> found;
    for (const QString& folder : themeFolders) {
        for (const IconFolders::Sized& sized : folders.of(folder + "/" + theme)) {
            for (const char* extension : kExtensions) {
                const QString path = sized.path + "/" + name + "." + QLatin1String(extension);
                if (QFileInfo(path).isFile()) found.emplace_back(distance(sized.pixels, pixels), path);
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

const std::vector<IconFolders::Sized>& IconFolders::of(const QString& themeRoot) {
    const auto known = known_.find(themeRoot);
    if (known != known_.end()) return known->second;
    std::vector<Sized>& sized = known_[themeRoot];
    const QDir root(themeRoot);
    // Icon themes keep their icons two folders down: a size and a context, in either order.
    for (const QString& first : root.entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name)) {
        for (const QString& second : QDir(root.filePath(first)).entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name)) {
            if (const std::optional<int> pixels = folderPixels(first, second))
                sized.push_back({root.filePath(first + "/" + second), *pixels});
        }
    }
    return sized;
}

QImage readApplicationIcon(const QString& iconName, int pixels, const IconSearch& search) {
    IconFolders folders;
    return readApplicationIcon(iconName, pixels, search, folders);
}

QImage readApplicationIcon(const QString& iconName, int pixels, const IconSearch& search, IconFolders& folders) {
    if (iconName.isEmpty() || pixels <= 0) return {};
    if (QDir::isAbsolutePath(iconName)) return readIconFile(iconName, pixels);
    // A theme name is a plain name; an older entry may give it with its extension.
    QString name = iconName;
    if (isIconExtension(QFileInfo(name).suffix())) name = QFileInfo(name).completeBaseName();
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
        if (QImage image = firstReadable(themeFiles(theme, name, pixels, search.themeFolders, folders), pixels);
            !image.isNull())
            return image;
    QStringList loose;
    for (const QString& folder : search.pixmapFolders)
        for (const char* extension : kExtensions) loose << folder + "/" + name + "." + QLatin1String(extension);
    return firstReadable(loose, pixels);
}

QImage genericApplicationIcon(int pixels, const IconSearch& search) {
    IconFolders folders;
    return genericApplicationIcon(pixels, search, folders);
}

QImage genericApplicationIcon(int pixels, const IconSearch& search, IconFolders& folders) {
    QImage themed = readApplicationIcon(QStringLiteral("application-x-executable"), pixels, search, folders);
    return themed.isNull() ? ApplicationIcons::placeholder(pixels) : themed;
}

ApplicationIcons& ApplicationIcons::shared() {
    // Owned by the application, so it goes, its reader finished, while everything the reader
    // uses is still there.
    static QPointer<ApplicationIcons> icons;
    if (!icons) icons = new ApplicationIcons(QCoreApplication::instance());
    return *icons;
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
        // One reader at a time: the folders it lists are only ever touched by it.
        QImage image = readApplicationIcon(iconName, pixels, search, folders_);
        if (image.isNull()) image = genericApplicationIcon(pixels, search, folders_);
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
