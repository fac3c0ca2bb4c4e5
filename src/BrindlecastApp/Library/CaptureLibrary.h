#pragma once

#include "BrindlecastApp/Library/CaptureEntry.h"

#include <QList>
#include <QLocale>
#include <QObject>
#include <QSet>
#include <QThreadPool>

namespace BrindlecastApp {

// The captures kept in the library folder, newest first, at most `limit` of them. A file added
// changes the list at once; the folder is listed on a worker, and its list follows (whatever the
// folder holds, the GUI thread never reads it); each entry's thumbnail is made on a worker and
// follows with thumbnailReady. Every image is opened as Support::ImageFiles opens them. GUI
// thread only.
class CaptureLibrary : public QObject {
    Q_OBJECT
public:
    static constexpr int limit = 200;
    static constexpr int thumbnailMaxPixel = 120;

    // `folder` stays fixed: a later change of the library location does not move this library.
    explicit CaptureLibrary(QString folder, QObject* parent = nullptr);
    ~CaptureLibrary() override;

    const QString& folder() const { return folder_; }
    const QList<CaptureEntry>& entries() const { return entries_; }

    // Lists the folder again: its PNG files (any letter case) that are neither hidden nor
    // desktop-less companions (".content.png") and read as whole images, newest first; files with
    // equal times keep the folder's order. An unreadable or missing folder gives an empty list.
    // Entries whose files are gone leave the list at once (entriesChanged when there were any);
    // the new list is published with entriesChanged once listed, files added meanwhile first.
    void reload();
    // Puts the file's entry first (removing an earlier entry of the same file) and drops the
    // oldest past the limit. A file that does not read as an image changes nothing. The file may
    // lie in any folder. `written`, the pixels just written to the file, spares reading them back
    // for the entry's thumbnail.
    void add(const QString& imagePath, const QImage& written = QImage());
    void add(const QUrl& imageUrl) { add(imageUrl.toLocalFile()); }

    // A time as the recents list shows it, in the user's locale: "Today · 3:07 PM" on the day of
    // `now`, "Yesterday" on the day before, else the month and day ("Mar 5").
    static QString relativeTime(const QDateTime& date, const QDateTime& now, const QLocale& locale = QLocale());

    // Blocks until every listing asked for so far is published.
    void waitUntilListed();
    // Blocks until every thumbnail asked for so far is made and delivered.
    void waitForThumbnails();

signals:
    void entriesChanged();
    // The entry of this file got its thumbnail.
    void thumbnailReady(const QUrl& url);

private:
    void publishListing(QList<CaptureEntry> listed);
    void requestThumbnail(const CaptureEntry& entry, const QImage& written = QImage());
    void deliverThumbnail(const QUrl& url, const QDateTime& timestamp, const QImage& thumbnail);

    QString folder_;
    QList<CaptureEntry> entries_;
    QSet<QString> pending_; // thumbnails being made, by path and time
    int listingsPending_ = 0;
    QList<CaptureEntry> addedWhileListing_; // in the order added
    QThreadPool lister_;
    QThreadPool workers_;
};

} // namespace BrindlecastApp
