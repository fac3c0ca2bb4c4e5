#include "BrindlecastApp/Library/CaptureLibrary.h"

#include "BrindlecastApp/Library/WholeImage.h"
#include "Support/DateFormatter.h"
#include "Support/FileNames.h"
#include "Support/Folders.h"
#include "Support/ImageFiles.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QRunnable>
#include <QTimeZone>

#include <algorithm>
#include <cmath>
#include <map>
#include <memory>
#include <mutex>
#include <optional>

#include <malloc.h>

namespace BrindlecastApp {

namespace {

// Hidden files (a capture being written among them) are no captures.
bool isListed(const QString& name) {
    return !name.startsWith('.') && name.endsWith(".png", Qt::CaseInsensitive) && !name.endsWith(".content.png", Qt::CaseInsensitive);
}

// The entry of one file without its thumbnail; nothing when the file does not read as an image
// (a PNG whose writing never finished has a readable header but no pixels). Opened as every image
// is: a pipe or a link in a capture's place gives no entry and never waits.
std::optional<CaptureEntry> makeEntry(const QString& path, const std::optional<QDateTime>& modified) {
    const std::unique_ptr<QFile> device = Support::ImageFiles::openImageFile(path);
    if (!device) return std::nullopt;
    QImageReader reader(device.get());
    if (!reader.canRead()) return std::nullopt;
    const QSize size = reader.size();
    if (isCutShortPNG(*device)) return std::nullopt;
    CaptureEntry entry;
    entry.url = QUrl::fromLocalFile(path);
    entry.filename = QFileInfo(path).fileName();
    entry.timestamp = modified.value_or(QDateTime::currentDateTime());
    entry.dimensions = QSize(std::max(size.width(), 0), std::max(size.height(), 0));
    return entry;
}

// The folder's whole images, newest first, at most `limit`; empty for a folder that cannot be read.
// Listed byte for byte (FileNames), as a folder named in another encoding is still the user's.
QList<CaptureEntry> listFolder(const QString& folder, int limit) {
    struct File {
        QString path;
        std::optional<QDateTime> modified;
    };
    std::vector<File> files;
    for (const QString& name : Support::Folders::files(folder)) {
        if (!isListed(name)) continue;
        const QString path = QDir(folder).filePath(name);
        files.push_back({path, Support::FileNames::modified(path)});
    }
    // The sort reads each file's time once; entries are only made for as many files as are kept.
    std::stable_sort(files.begin(), files.end(), [](const File& a, const File& b) { return a.modified > b.modified; });
    QList<CaptureEntry> entries;
    for (const File& file : files) {
        if (entries.size() == limit) break;
        if (std::optional<CaptureEntry> entry = makeEntry(file.path, file.modified)) entries.append(std::move(*entry));
    }
    return entries;
}

// The whole image, turned as its orientation says, scaled to fit `maxPixel`; never enlarged.
QImage thumbnailOf(const QImage& image, int maxPixel) {
    if (image.isNull()) return {};
    const int longer = std::max(image.width(), image.height());
    if (longer <= maxPixel) return image;
    const double scale = double(maxPixel) / longer;
    const QSize size(std::max(1, int(std::lround(image.width() * scale))), std::max(1, int(std::lround(image.height() * scale))));
    return image.scaled(size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
}

QString pendingKey(const QUrl& url, const QDateTime& timestamp) {
    return url.toString() + '\n' + QString::number(timestamp.toMSecsSinceEpoch());
}

struct DayFormatters {
    Support::DateFormatter time;
    Support::DateFormatter day;
};

// Made once per locale and shared.
const DayFormatters& dayFormatters(const QString& localeId) {
    static std::mutex mutex;
    static std::map<QString, DayFormatters> byLocale;
    std::lock_guard guard(mutex);
    auto it = byLocale.find(localeId);
    if (it == byLocale.end()) {
        it = byLocale
                 .emplace(localeId, DayFormatters{Support::DateFormatter::withPattern("h:mm a", localeId),
                                                  Support::DateFormatter::withTemplate("MMM d", localeId)})
                 .first;
    }
    return it->second;
}

QDateTime inZoneOf(const QDateTime& date, const QDateTime& now) {
    return now.timeSpec() == Qt::LocalTime ? date.toLocalTime() : date.toTimeZone(now.timeZone());
}

} // namespace

CaptureLibrary::CaptureLibrary(QString folder, QObject* parent) : QObject(parent), folder_(std::move(folder)) {
    // Each thumbnail decodes a whole capture: one at a time keeps the idle app small.
    workers_.setMaxThreadCount(1);
    // Listings run in the order asked, so the last one asked is the last one published.
    lister_.setMaxThreadCount(1);
}

CaptureLibrary::~CaptureLibrary() {
    lister_.clear();
    lister_.waitForDone();
    workers_.clear();
    workers_.waitForDone();
}

void CaptureLibrary::reload() {
    // A file deleted or moved away leaves the list at once; the folder is listed on a worker.
    const qsizetype before = entries_.size();
    entries_.removeIf([](const CaptureEntry& entry) { return !Support::FileNames::exists(entry.path()); });
    if (entries_.size() != before) emit entriesChanged();

    ++listingsPending_;
    lister_.start(QRunnable::create([this, folder = folder_] {
        QList<CaptureEntry> listed = listFolder(folder, limit);
        // The destructor waits for the lister, so `this` outlives the call being queued.
        QMetaObject::invokeMethod(
            this, [this, listed = std::move(listed)]() mutable { publishListing(std::move(listed)); },
            Qt::QueuedConnection);
    }));
}

void CaptureLibrary::publishListing(QList<CaptureEntry> listed) {
    --listingsPending_;
    // Files added while the folder was being listed stay first, as add() put them.
    for (const CaptureEntry& added : std::as_const(addedWhileListing_)) {
        listed.removeIf([&](const CaptureEntry& entry) { return entry.url == added.url; });
        listed.prepend(added);
    }
    if (listingsPending_ == 0) addedWhileListing_.clear();
    if (listed.size() > limit) listed.resize(limit);
    // A file that did not change keeps the thumbnail it already has.
    for (CaptureEntry& entry : listed) {
        const auto known = std::find(entries_.cbegin(), entries_.cend(), entry);
        if (known != entries_.cend()) entry.thumbnail = known->thumbnail;
    }
    entries_ = std::move(listed);
    emit entriesChanged();
    for (const CaptureEntry& entry : std::as_const(entries_)) {
        if (entry.thumbnail.isNull()) requestThumbnail(entry);
    }
}

void CaptureLibrary::waitUntilListed() {
    lister_.waitForDone();
    QCoreApplication::sendPostedEvents(this, QEvent::MetaCall);
}

void CaptureLibrary::add(const QString& imagePath, const QImage& written) {
    std::optional<CaptureEntry> entry = makeEntry(imagePath, Support::FileNames::modified(imagePath));
    if (!entry) return;
    entries_.removeIf([&](const CaptureEntry& listed) { return listed.url == entry->url; });
    entries_.prepend(*entry);
    if (listingsPending_ > 0) {
        addedWhileListing_.removeIf([&](const CaptureEntry& added) { return added.url == entry->url; });
        addedWhileListing_.append(*entry);
    }
    if (entries_.size() > limit) entries_.resize(limit);
    emit entriesChanged();
    requestThumbnail(*entry, written);
}

void CaptureLibrary::requestThumbnail(const CaptureEntry& entry, const QImage& written) {
    const QString key = pendingKey(entry.url, entry.timestamp);
    if (pending_.contains(key)) return;
    pending_.insert(key);
    workers_.start(QRunnable::create([this, url = entry.url, timestamp = entry.timestamp, written] {
        const QImage thumbnail = thumbnailOf(
            written.isNull() ? Support::ImageFiles::readOwnImage(url.toLocalFile(), nullptr, true) : written, thumbnailMaxPixel);
        // The destructor waits for the workers, so `this` outlives the call being queued.
        QMetaObject::invokeMethod(
            this, [this, url, timestamp, thumbnail] { deliverThumbnail(url, timestamp, thumbnail); },
            Qt::QueuedConnection);
    }));
}

void CaptureLibrary::deliverThumbnail(const QUrl& url, const QDateTime& timestamp, const QImage& thumbnail) {
    pending_.remove(pendingKey(url, timestamp));
    // Each thumbnail decoded a whole capture on a worker; the C library keeps those freed pages
    // in the workers' arenas unless asked to give them back.
    if (pending_.isEmpty()) malloc_trim(0);
    if (thumbnail.isNull()) return;
    for (CaptureEntry& entry : entries_) {
        if (entry.url != url || entry.timestamp != timestamp) continue;
        entry.thumbnail = thumbnail;
        emit thumbnailReady(url);
        return;
    }
}

void CaptureLibrary::waitForThumbnails() {
    workers_.waitForDone();
    QCoreApplication::sendPostedEvents(this, QEvent::MetaCall);
}

QString CaptureLibrary::relativeTime(const QDateTime& date, const QDateTime& now, const QLocale& locale) {
    const DayFormatters& formatters = dayFormatters(Support::DateFormatter::localeId(locale));
    const QDateTime local = inZoneOf(date, now);
    if (local.date() == now.date()) return QString::fromUtf8("Today \u00B7 ") + formatters.time.format(local);
    if (local.date() == now.date().addDays(-1)) return QStringLiteral("Yesterday");
    return formatters.day.format(local);
}

} // namespace BrindlecastApp
