#pragma once

#include <QHash>
#include <QImage>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QThreadPool>

#include <functional>
#include <map>
#include <vector>

namespace BrindlecastApp {

// Where icon files are looked for, as Qt's icon settings and the XDG folders say now. Made on the
// GUI thread, used on a worker.
struct IconSearch {
    QStringList themes;        // the icon theme first, then Qt's fallback theme and "hicolor"
    QStringList themeFolders;  // folders holding icon themes (~/.icons, <data folder>/icons)
    QStringList pixmapFolders; // folders of loose icons (<data folder>/pixmaps)

    static IconSearch current();
};

// The sized sub-folders of icon themes, each theme listed once: looking up a hundred icons lists
// each theme's folders once. Used by one thread at a time.
class IconFolders {
public:
    struct Sized {
        QString path;
        int pixels = 0; // 0: scalable
    };
    const std::vector<Sized>& of(const QString& themeRoot);

private:
    std::map<QString, std::vector<Sized>> known_;
};

// The icon an entry's Icon= value names, filling a square of `pixels`: an absolute path is the
// file itself; any other name is looked up in the icon themes (and their parents) and then among
// the loose icons. A desktop entry may come from any program running as the user, so only
// regular files of a few megabytes are read, a pipe or a device is never opened, and nothing
// waits on one. A null image when the name leads to nothing readable. Reads files: any thread.
QImage readApplicationIcon(const QString& iconName, int pixels, const IconSearch& search);
QImage readApplicationIcon(const QString& iconName, int pixels, const IconSearch& search, IconFolders& folders);

// The generic application icon at `pixels`: the themes' "application-x-executable", else a
// window symbol. Any thread.
QImage genericApplicationIcon(int pixels, const IconSearch& search);
QImage genericApplicationIcon(int pixels, const IconSearch& search, IconFolders& folders);

// The icons of the settings window's applications: read on a worker of their own, so no icon
// file holds up the window, and kept for the session. GUI thread only.
class ApplicationIcons : public QObject {
    Q_OBJECT
public:
    static ApplicationIcons& shared();

    // Hands `ready` the icon of `iconName` (the generic one when it leads to nothing readable),
    // filling a square of `pixels`: at once when it is known, else on the GUI thread once read,
    // as long as `context` lives.
    void request(const QString& iconName, int pixels, QObject* context, std::function<void(const QImage&)> ready);

    // What stands for an icon until it is read: the window symbol, drawn without reading a file.
    static QImage placeholder(int pixels);

    // Blocks until every icon asked for so far is read and handed over.
    void waitForIcons();

private:
    explicit ApplicationIcons(QObject* parent) : QObject(parent) {}
    ~ApplicationIcons() override;
    void deliver(const QString& key, const QImage& image);

    struct Waiting {
        QPointer<QObject> context;
        std::function<void(const QImage&)> ready;
    };
    QHash<QString, QImage> known_;
    QHash<QString, std::vector<Waiting>> waiting_;
    IconFolders folders_; // the reader's own
    QThreadPool reader_;
};

} // namespace BrindlecastApp
