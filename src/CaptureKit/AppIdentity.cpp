#include "CaptureKit/AppIdentity.h"

#include "CaptureKit/DesktopEntry.h"

#include "Support/FileNames.h"
#include "Support/Folders.h"
#include "Support/SafeFile.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSet>
#include <QStandardPaths>

#include <algorithm>
#include <climits>
#include <mutex>

#include <sys/stat.h>
#include <unistd.h>

namespace CaptureKit {

namespace {

std::optional<QString> nonEmpty(const std::optional<QString>& value) {
    if (value && !value->isEmpty()) return value;
    return std::nullopt;
}

// When the folder at `path` (where a link leads) last changed; an invalid time when it is missing.
QDateTime lastChanged(const QString& path) {
    struct stat info {};
    if (::stat(Support::FileNames::encode(path).constData(), &info) != 0) return {};
    return QDateTime::fromSecsSinceEpoch(info.st_mtim.tv_sec).addMSecs(info.st_mtim.tv_nsec / 1000000);
}

} // namespace

void DesktopEntryIndex::add(QHash<QString, QStringList>& index, const QString& key, const QString& id) {
    if (key.isEmpty()) return;
    QStringList& ids = index[key];
    if (!ids.contains(id)) ids << id;
}

DesktopEntryIndex::DesktopEntryIndex(const QStringList& dataFolders) {
    for (const DesktopEntryFile& file : DesktopEntry::files(dataFolders)) {
        const std::optional<QHash<QString, QString>> keys = DesktopEntry::mainGroup(file.path);
        if (!keys) continue;
        const QString windowClass = keys->value("StartupWMClass");
        add(idsByWindowClass_, windowClass, file.id);
        add(idsByName_, windowClass.toCaseFolded(), file.id);
        add(idsByName_, file.id.toCaseFolded(), file.id);
        if (file.id.contains('.')) add(idsByName_, file.id.section('.', -1).toCaseFolded(), file.id);
        for (const QString& program : DesktopEntry::programs(*keys)) {
            const QString path = program.contains('/') ? program : QStandardPaths::findExecutable(program);
            // `TryExec=python3`, or an Exec through a link to an interpreter, would tie every
            // window the interpreter runs to this entry.
            if (isInterpreterOrLauncher(program) || (!path.isEmpty() && isInterpreterOrLauncher(path))) continue;
            add(idsByName_, QFileInfo(program).fileName().toCaseFolded(), file.id);
            if (!path.isEmpty()) add(idsByProgram_, QFileInfo(path).canonicalFilePath(), file.id);
        }
    }
}

QStringList DesktopEntryIndex::standardDataFolders() {
    QStringList folders;
    // Byte for byte, as every folder of the user's is named: a home in Latin-1 keeps its entries.
    folders << Support::Folders::dataHome();
    QString dirs = Support::FileNames::decode(qgetenv("XDG_DATA_DIRS"));
    if (dirs.isEmpty()) dirs = "/usr/local/share:/usr/share";
    for (const QString& dir : dirs.split(':', Qt::SkipEmptyParts)) folders << dir;
    return folders;
}

std::shared_ptr<const DesktopEntryIndex> DesktopEntryIndex::standard() {
    static std::mutex mutex;
    static QStringList cachedFolders;
    static QList<QDateTime> cachedTimes;
    static std::shared_ptr<const DesktopEntryIndex> cached;

    const QStringList folders = standardDataFolders();
    QList<QDateTime> times;
    for (const QString& folder : folders) times << lastChanged(folder + "/applications");
    std::lock_guard lock(mutex);
    if (!cached || folders != cachedFolders || times != cachedTimes) {
        cached = std::make_shared<const DesktopEntryIndex>(folders);
        cachedFolders = folders;
        cachedTimes = times;
    }
    return cached;
}

std::optional<QString> DesktopEntryIndex::idForWindowClass(const QString& windowClass) const {
    const QStringList ids = idsForWindowClass(windowClass);
    if (ids.isEmpty()) return std::nullopt;
    return ids.front();
}

QStringList DesktopEntryIndex::idsForWindowClass(const QString& windowClass) const {
    return idsByWindowClass_.value(windowClass);
}

QStringList DesktopEntryIndex::idsForWindow(const WindowIdentityProperties& properties) const {
    QStringList ids;
    const auto addAll = [&](const QStringList& more) {
        for (const QString& id : more)
            if (!ids.contains(id)) ids << id;
    };
    const std::optional<QString> windowClass = nonEmpty(properties.windowClass);
    const std::optional<QString> instance = nonEmpty(properties.windowInstance);
    const std::optional<QString> program = nonEmpty(properties.program);
    if (windowClass) addAll(idsForWindowClass(*windowClass));
    if (instance) addAll(idsForWindowClass(*instance));
    if (windowClass) addAll(idsByName_.value(windowClass->toCaseFolded()));
    if (instance) addAll(idsByName_.value(instance->toCaseFolded()));
    if (program && !isInterpreterOrLauncher(*program)) {
        addAll(idsByName_.value(QFileInfo(*program).fileName().toCaseFolded()));
        addAll(idsByProgram_.value(*program));
    }
    return ids;
}

QStringList DesktopEntryIndex::idsResembling(const QStringList& names) const {
    QStringList ids;
    for (const QString& name : names)
        for (const QString& form : nameForms(name, true))
            for (const QString& id : idsByName_.value(form))
                if (!ids.contains(id)) ids << id;
    return ids;
}

namespace {

std::optional<QString> desktopFileID(const WindowIdentityProperties& properties) {
    std::optional<QString> file = nonEmpty(properties.kdeDesktopFile);
    // Some toolkits publish the file name with its extension.
    if (file && file->endsWith(".desktop")) file->chop(int(qstrlen(".desktop")));
    return nonEmpty(file);
}

} // namespace

std::optional<QString> applicationID(const WindowIdentityProperties& properties, const DesktopEntryIndex& entries) {
    if (auto id = nonEmpty(properties.gtkApplicationID)) return id;
    if (auto file = desktopFileID(properties)) return file;
    if (const QStringList ids = entries.idsForWindow(properties); !ids.isEmpty()) return ids.front();
    return nonEmpty(properties.windowClass);
}

QStringList applicationIdentities(const WindowIdentityProperties& properties, const DesktopEntryIndex& entries) {
    QStringList ids;
    const auto add = [&](const std::optional<QString>& id) {
        if (id && !id->isEmpty() && !ids.contains(*id)) ids << *id;
    };
    add(properties.gtkApplicationID);
    add(desktopFileID(properties));
    for (const QString& id : entries.idsForWindow(properties)) add(id);
    add(properties.windowClass);
    add(properties.windowInstance);
    if (!isProcessKnown(properties)) {
        const QStringList names = ids;
        for (const QString& id : entries.idsResembling(names)) add(id);
    }
    return ids;
}

bool isProcessKnown(const WindowIdentityProperties& properties) {
    const std::optional<QString> program = nonEmpty(properties.program);
    return program && !isRelay(*program);
}

namespace {

// The file name of `program` and of the file its links lead to, when that differs.
QStringList programNames(const QString& program) {
    QStringList names{QFileInfo(program).fileName()};
    if (program.contains('/')) {
        const QString target = QFileInfo(QFileInfo(program).canonicalFilePath()).fileName();
        if (!target.isEmpty() && !names.contains(target)) names << target;
    }
    return names;
}

bool anyNameMatches(const QString& program, const QRegularExpression& pattern) {
    const QStringList names = programNames(program);
    return std::any_of(names.begin(), names.end(), [&](const QString& name) { return pattern.match(name).hasMatch(); });
}

} // namespace

bool isInterpreterOrLauncher(const QString& program) {
    // Language runtimes, with or without their version ("python3.11", "ruby3.1", "node18"),
    // shells, and the programs that start another program given to them.
    static const QRegularExpression pattern(QStringLiteral(
        "^(?:(?:python|pypy|perl|ruby|node|nodejs|java|javaw|lua|luajit|php|tclsh|wish|gjs|cjs|mono|dotnet|"
        "guile|Rscript|R|wine|wine64|electron|qemu-[a-z0-9_]+)[0-9.]*"
        "|sh|bash|dash|zsh|ksh|mksh|csh|tcsh|fish|busybox|env|nohup|nice|ionice|taskset|setsid|chrt|timeout|"
        "stdbuf|sudo|doas|pkexec|su|runuser|setpriv|unshare|nsenter|chroot|flatpak|flatpak-spawn|bwrap|"
        "firejail|snap|systemd-run|xdg-open|gtk-launch|gio|exo-open|kioclient|kioclient5|dbus-launch|"
        "dbus-run-session|xvfb-run|wine-preloader|wine64-preloader|npx|pipx|uv|uvx|bun|deno)$"));
    return anyNameMatches(program, pattern);
}

bool isRelay(const QString& program) {
    static const QRegularExpression pattern(QStringLiteral("^(?:ssh|sshd|xpra|x2goagent|nxagent|nxproxy|socat|xwayland-satellite)$"));
    return anyNameMatches(program, pattern);
}

QStringList nameForms(const QString& name, bool withWords) {
    QStringList forms;
    const auto add = [&](const QString& form) {
        const QString folded = form.toCaseFolded();
        if (!folded.isEmpty() && !forms.contains(folded)) forms << folded;
    };
    const auto addWithLastPart = [&](const QString& word) {
        add(word);
        if (word.contains('.')) add(word.section('.', -1));
    };
    addWithLastPart(name);
    if (withWords) {
        static const QRegularExpression separators(QStringLiteral("[^\\w.-]+"),
                                                   QRegularExpression::UseUnicodePropertiesOption);
        for (const QString& word : name.split(separators, Qt::SkipEmptyParts)) addWithLastPart(word);
    }
    return forms;
}

QStringList blockedIdentities(const QStringList& identities, bool processKnown, const QStringList& blockedIDs) {
    QStringList blocked;
    if (blockedIDs.isEmpty()) return blocked;
    for (const QString& id : identities)
        if (blockedIDs.contains(id, Qt::CaseSensitive) && !blocked.contains(id)) blocked << id;
    if (processKnown) return blocked;
    if (identities.isEmpty()) return {unidentifiedWindow};
    QSet<QString> names;
    for (const QString& id : identities)
        for (const QString& form : nameForms(id, true)) names.insert(form);
    for (const QString& id : blockedIDs) {
        const QStringList forms = nameForms(id, false);
        const bool resembles = std::any_of(forms.begin(), forms.end(), [&](const QString& form) { return names.contains(form); });
        if (resembles && !blocked.contains(id)) blocked << id;
    }
    return blocked;
}

namespace {

// The first word of a process's command line: NUL-separated, as the kernel keeps it.
std::optional<QString> commandOfProcess(const QByteArray& proc) {
    // Command lines of a few kilobytes; one that runs into megabytes is not worth reading.
    constexpr qint64 longestCommandLine = 256 * 1024;
    const std::optional<QByteArray> bytes = Support::SafeFile::read(QFile::decodeName(proc + "/cmdline"), longestCommandLine,
                                                                   Support::SafeFile::Links::refuse);
    if (!bytes || bytes->isEmpty()) return std::nullopt;
    const QString first = QFile::decodeName(QByteArray(bytes->constData()));
    if (first.isEmpty()) return std::nullopt;
    if (first.startsWith('/')) {
        const QString canonical = QFileInfo(first).canonicalFilePath();
        return canonical.isEmpty() ? first : canonical;
    }
    // A bare name was found on the PATH; a relative path's folder is not known, its name is.
    const QString found = first.contains('/') ? QString() : QStandardPaths::findExecutable(first);
    if (!found.isEmpty()) return QFileInfo(found).canonicalFilePath();
    return QFileInfo(first).fileName();
}

// Whether the process has ended and only waits for its parent to collect it: it runs nothing.
bool hasEnded(const QByteArray& proc) {
    const std::optional<QByteArray> stat =
        Support::SafeFile::read(QFile::decodeName(proc + "/stat"), 4096, Support::SafeFile::Links::refuse);
    if (!stat) return true;
    // "pid (name) state ...": the name may hold anything, brackets too.
    const qsizetype nameEnd = stat->lastIndexOf(')');
    if (nameEnd < 0 || nameEnd + 2 >= stat->size()) return true;
    const char state = stat->at(nameEnd + 2);
    return state == 'Z' || state == 'X';
}

// The name the kernel gave the process: its executable's file name, cut to 15 bytes.
std::optional<QString> nameOfProcess(const QByteArray& proc) {
    const std::optional<QByteArray> bytes =
        Support::SafeFile::read(QFile::decodeName(proc + "/comm"), 64, Support::SafeFile::Links::refuse);
    if (!bytes) return std::nullopt;
    const QString name = QFile::decodeName(bytes->trimmed());
    if (name.isEmpty()) return std::nullopt;
    return name;
}

} // namespace

std::optional<QString> programOfProcess(std::uint32_t pid) {
    if (pid == 0) return std::nullopt;
    const QByteArray proc = QByteArray("/proc/") + QByteArray::number(pid);
    char buffer[PATH_MAX];
    const QByteArray link = proc + "/exe";
    const ssize_t length = readlink(link.constData(), buffer, sizeof buffer);
    if (length > 0 && std::size_t(length) < sizeof buffer) {
        QString target = QFile::decodeName(QByteArray(buffer, length));
        // A program replaced (by an upgrade) or removed while it runs is still the one it was.
        if (target.endsWith(" (deleted)")) target.chop(int(qstrlen(" (deleted)")));
        if (!target.isEmpty()) return target;
    }
    // Another user's process keeps its executable to itself, but not its command line and name.
    if (hasEnded(proc)) return std::nullopt;
    if (auto command = commandOfProcess(proc)) return command;
    return nameOfProcess(proc);
}

} // namespace CaptureKit
