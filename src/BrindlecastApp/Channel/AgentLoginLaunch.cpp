#include "BrindlecastApp/Channel/AgentLoginLaunch.h"

#include "Support/AtomicFile.h"
#include "Support/FileNames.h"
#include "Support/Folders.h"
#include "Support/IoError.h"
#include "Support/Log.h"

#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include <cerrno>
#include <climits>
#include <cstring>
#include <unistd.h>

namespace BrindlecastApp {

namespace {

const Support::Logger log("app.brindlecast", "loginLaunch");

// Characters that take a backslash inside a quoted Exec argument.
bool needsBackslash(QChar c) { return c == '"' || c == '`' || c == '$' || c == '\\'; }

// One Exec argument, always quoted: quoting is allowed for any argument and needed for most
// characters a path may hold. A lone % would start a field code, so it is doubled.
QString quotedArgument(const QString& argument) {
    QString quoted = "\"";
    for (const QChar c : argument) {
        if (needsBackslash(c)) quoted += '\\';
        quoted += c;
    }
    quoted += '"';
    return quoted.replace('%', "%%");
}

// The string escapes every desktop-entry value goes through, before its quoting is read.
QString escapedValue(const QString& value) {
    QString escaped;
    for (const QChar c : value) {
        switch (c.unicode()) {
        case '\\': escaped += "\\\\"; break;
        case '\n': escaped += "\\n"; break;
        case '\t': escaped += "\\t"; break;
        case '\r': escaped += "\\r"; break;
        default: escaped += c;
        }
    }
    return escaped;
}

QString unescapedValue(const QString& value) {
    QString plain;
    for (qsizetype i = 0; i < value.size(); ++i) {
        if (value[i] != '\\' || i + 1 == value.size()) {
            plain += value[i];
            continue;
        }
        switch (value[++i].unicode()) {
        case 's': plain += ' '; break;
        case 'n': plain += '\n'; break;
        case 't': plain += '\t'; break;
        case 'r': plain += '\r'; break;
        case '\\': plain += '\\'; break;
        default: plain += '\\'; plain += value[i]; // not an escape: kept as written
        }
    }
    return plain;
}

bool isBlank(QChar c) { return c == ' ' || c == '\t'; }

// The first argument of an unescaped Exec value, with its quoting and doubled % undone.
std::optional<QString> firstArgument(const QString& exec) {
    qsizetype i = 0;
    while (i < exec.size() && isBlank(exec[i])) ++i;
    QString argument;
    if (i < exec.size() && exec[i] == '"') {
        for (++i;; ++i) {
            if (i == exec.size()) return std::nullopt; // unterminated quote
            if (exec[i] == '"') break;
            if (exec[i] == '\\' && i + 1 < exec.size() && needsBackslash(exec[i + 1])) ++i;
            argument += exec[i];
        }
        if (++i < exec.size() && !isBlank(exec[i])) return std::nullopt;
    } else {
        while (i < exec.size() && !isBlank(exec[i])) argument += exec[i++];
    }
    if (argument.isEmpty()) return std::nullopt;
    return argument.replace("%%", "%");
}

bool isWritableInEntry(const QString& path) {
    for (const QChar c : path) {
        const char16_t u = c.unicode();
        if ((u < 0x20 && u != '\t' && u != '\n' && u != '\r') || u == 0x7f) return false;
    }
    return QFileInfo(path).isAbsolute();
}

} // namespace

QString AgentLoginLaunch::defaultEntryPath() {
    return Support::Folders::configHome() + "/autostart/app.brindlecast.desktop";
}

QString AgentLoginLaunch::runningExecutable() {
    char buffer[PATH_MAX];
    const ssize_t length = ::readlink("/proc/self/exe", buffer, sizeof buffer);
    if (length <= 0 || static_cast<size_t>(length) == sizeof buffer) return {};
    QByteArray bytes(buffer, length);
    // After an upgrade replaced the file, the kernel calls the running one "<path> (deleted)"; the
    // new file at the same place is the one to start at the next login.
    const QByteArray deleted = " (deleted)";
    if (bytes.endsWith(deleted) && ::access(bytes.chopped(deleted.size()).constData(), X_OK) == 0) {
        bytes.chop(deleted.size());
    }
    const QString path = QFile::decodeName(bytes);
    return QFile::encodeName(path) == bytes ? path : QString();
}

std::optional<QByteArray> AgentLoginLaunch::entryText(const QString& executable) {
    if (!isWritableInEntry(executable)) return std::nullopt;
    const QString text = "[Desktop Entry]\n"
                         "Type=Application\n"
                         "Name=Brindlecast\n"
                         "Exec=" + escapedValue(quotedArgument(executable)) + "\n"
                         "Terminal=false\n"
                         "X-GNOME-Autostart-enabled=true\n";
    return text.toUtf8();
}

std::optional<QString> AgentLoginLaunch::startedProgram(const QByteArray& entry) {
    std::optional<QString> exec;
    bool inMainGroup = false;
    for (const QByteArray& rawLine : entry.split('\n')) {
        const QString line = QString::fromUtf8(rawLine).trimmed();
        if (line.isEmpty() || line.startsWith('#')) continue;
        if (line.startsWith('[')) {
            inMainGroup = line == "[Desktop Entry]";
            continue;
        }
        const qsizetype equals = line.indexOf('=');
        if (!inMainGroup || equals < 0) continue;
        const QString key = line.left(equals).trimmed();
        const QString value = line.mid(equals + 1).trimmed();
        // Autostart treats a hidden entry as deleted; GNOME also honours its own off switch.
        if ((key == "Hidden" && value == "true") || (key == "X-GNOME-Autostart-enabled" && value == "false")) {
            return std::nullopt;
        }
        if (key == "Exec" && !exec) exec = unescapedValue(value);
    }
    if (!exec) return std::nullopt;
    return firstArgument(*exec);
}

QString AgentLoginLaunch::entryPath() const { return entryPath_.isEmpty() ? defaultEntryPath() : entryPath_; }

QString AgentLoginLaunch::executablePath() const {
    return executablePath_.isEmpty() ? runningExecutable() : executablePath_;
}

void AgentLoginLaunch::apply(bool enabled) {
    const QString path = entryPath();
    if (!enabled) {
        if (::unlink(Support::FileNames::encode(path).constData()) != 0 && errno != ENOENT) {
            log.error(QString("start at login: could not remove %1: %2").arg(path, QString::fromLocal8Bit(std::strerror(errno))));
        }
        return;
    }
    const QString executable = executablePath();
    const std::optional<QByteArray> text = entryText(executable);
    if (!text) {
        log.error(QString("start at login: the path of this program cannot be written in %1: %2").arg(path, executable));
        return;
    }
    try {
        Support::Folders::create(QFileInfo(path).absolutePath());
        Support::AtomicFile::write(path, *text);
    } catch (const Support::IoError& error) {
        log.error(QString("start at login: could not write %1: %2").arg(error.path(), error.description()));
    }
}

bool AgentLoginLaunch::isEnabled() const {
    const std::optional<QByteArray> entry = Support::AtomicFile::read(entryPath(), nullptr, kMaximumEntryBytes);
    if (!entry) return false;
    const std::optional<QString> program = startedProgram(*entry);
    const QString executable = executablePath();
    if (!program || executable.isEmpty()) return false;
    if (*program == executable) return true;
    // A link to this executable, or a bare name that PATH resolves to it, starts it too.
    const QString found = QFileInfo(*program).isAbsolute() ? *program : QStandardPaths::findExecutable(*program);
    const QString canonical = QFileInfo(found).canonicalFilePath();
    return !canonical.isEmpty() && canonical == QFileInfo(executable).canonicalFilePath();
}

} // namespace BrindlecastApp
