#include "CaptureKit/DesktopEntry.h"

#include "Support/FileNames.h"
#include "Support/SafeFile.h"

#include <QSet>
#include <QTextStream>

#include <algorithm>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

namespace CaptureKit::DesktopEntry {

namespace {

// A desktop entry is a few kilobytes; its translations make the largest a few hundred.
constexpr qint64 kMaximumEntryBytes = 4 * 1024 * 1024;

QString unescaped(const QString& value) {
    QString result;
    result.reserve(value.size());
    for (qsizetype i = 0; i < value.size(); ++i) {
        const QChar c = value[i];
        if (c != '\\' || i + 1 == value.size()) {
            result += c;
            continue;
        }
        const QChar next = value[++i];
        switch (next.unicode()) {
        case 's': result += ' '; break;
        case 'n': result += '\n'; break;
        case 't': result += '\t'; break;
        case 'r': result += '\r'; break;
        case '\\': result += '\\'; break;
        default: result += c; result += next; break;
        }
    }
    return result;
}

// Adds the desktop entries below `root + relative` ("kde/org.app.desktop"), by their bytes: a
// folder named in another encoding than UTF-8 is listed as it is. Links to entries count (the
// installed ones often are); folders reached through a link are not entered, as no loop can be.
void collectEntries(const QByteArray& root, const QByteArray& relative, std::vector<QByteArray>& found) {
    DIR* listing = ::opendir((root + relative).constData());
    if (!listing) return;
    while (const dirent* entry = ::readdir(listing)) {
        const QByteArray name(entry->d_name);
        if (name == "." || name == "..") continue;
        struct stat itself {};
        struct stat target {};
        if (::fstatat(::dirfd(listing), entry->d_name, &itself, AT_SYMLINK_NOFOLLOW) != 0) continue;
        if (S_ISDIR(itself.st_mode)) {
            collectEntries(root, relative + name + '/', found);
        } else if (name.endsWith(".desktop") && ::fstatat(::dirfd(listing), entry->d_name, &target, 0) == 0 &&
                   S_ISREG(target.st_mode)) {
            found.push_back(relative + name);
        }
    }
    ::closedir(listing);
}

} // namespace

std::vector<DesktopEntryFile> files(const QStringList& dataFolders) {
    std::vector<DesktopEntryFile> result;
    QSet<QString> seen;
    for (const QString& folder : dataFolders) {
        QByteArray applications = Support::FileNames::encode(folder);
        while (applications.endsWith('/')) applications.chop(1);
        applications += "/applications/";
        std::vector<QByteArray> relativePaths;
        collectEntries(applications, {}, relativePaths);
        std::vector<DesktopEntryFile> inFolder;
        for (const QByteArray& relative : relativePaths) {
            QString id = Support::FileNames::decode(relative);
            id.chop(int(qstrlen(".desktop")));
            id.replace('/', '-');
            inFolder.push_back({id, Support::FileNames::decode(applications + relative)});
        }
        // Directory order is the file system's; keep the result the same from run to run.
        std::sort(inFolder.begin(), inFolder.end(), [](const auto& a, const auto& b) { return a.path < b.path; });
        for (DesktopEntryFile& file : inFolder) {
            if (seen.contains(file.id)) continue;
            seen.insert(file.id);
            result.push_back(std::move(file));
        }
    }
    return result;
}

std::optional<QHash<QString, QString>> mainGroup(const QString& path) {
    // Any program may put a file among the desktop entries: a pipe there, or a file without end,
    // is passed over instead of read. Installed entries are often links, which are followed.
    const std::optional<QByteArray> bytes = Support::SafeFile::read(path, kMaximumEntryBytes, Support::SafeFile::Links::follow);
    if (!bytes) return std::nullopt;
    QTextStream in(*bytes);
    QHash<QString, QString> keys;
    bool inMainGroup = false;
    while (!in.atEnd()) {
        const QString line = in.readLine().trimmed();
        if (line.isEmpty() || line.startsWith('#')) continue;
        if (line.startsWith('[')) {
            inMainGroup = line == "[Desktop Entry]";
            continue;
        }
        if (!inMainGroup) continue;
        const qsizetype equals = line.indexOf('=');
        if (equals <= 0) continue;
        const QString key = line.left(equals).trimmed();
        if (key.contains('[') || keys.contains(key)) continue; // localised variants; the first of a key counts
        keys.insert(key, unescaped(line.mid(equals + 1).trimmed()));
    }
    return keys;
}

bool isTrue(const QHash<QString, QString>& keys, const QString& key) { return keys.value(key) == "true"; }

QStringList commandWords(const QString& exec) {
    QStringList words;
    QString word;
    bool inWord = false, quoted = false;
    for (qsizetype i = 0; i < exec.size(); ++i) {
        const QChar c = exec[i];
        if (quoted) {
            if (c == '"') quoted = false;
            else if (c == '\\' && i + 1 < exec.size()) word += exec[++i];
            else word += c;
        } else if (c == '"') {
            quoted = inWord = true;
        } else if (c.isSpace()) {
            if (inWord) words << word;
            word.clear();
            inWord = false;
        } else {
            word += c;
            inWord = true;
        }
    }
    if (inWord) words << word;
    return words;
}

QStringList programs(const QHash<QString, QString>& keys) {
    QStringList result;
    if (const QString tryExec = keys.value("TryExec").trimmed(); !tryExec.isEmpty()) result << tryExec;
    QStringList words = commandWords(keys.value("Exec"));
    const auto isAssignment = [](const QString& word) { return word.indexOf('=') > 0 && !word.startsWith('-'); };
    if (!words.isEmpty() && (words.front() == "env" || words.front().endsWith("/env"))) {
        words.removeFirst();
        while (!words.isEmpty() && isAssignment(words.front())) words.removeFirst();
    }
    if (words.isEmpty()) return result;
    const auto isOptionOrFieldCode = [](const QString& word) {
        return word.startsWith('-') || (word.size() == 2 && word.front() == '%');
    };
    if (std::all_of(words.begin() + 1, words.end(), isOptionOrFieldCode) && !result.contains(words.front()))
        result << words.front();
    return result;
}

} // namespace CaptureKit::DesktopEntry
