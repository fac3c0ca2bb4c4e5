#include "support/TestEnvironment.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QEventLoop>
#include <QProcess>
#include <QTimer>
#include <QStandardPaths>
#include <QTest>
#include <QThread>
#include <QUuid>

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <dirent.h>
#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace TestSupport {

QString homeFolder() { return QDir::homePath(); }

QString makeTemporaryFolder(const QString& hint) {
    const QString path = homeFolder() + "/" + hint + "-" + QUuid::createUuid().toString(QUuid::Id128).left(12);
    QDir().mkpath(path);
    return path;
}

void writeFile(const QString& path, const QByteArray& bytes) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate)) << path.toStdString();
    ASSERT_EQ(file.write(bytes), bytes.size());
}

QByteArray readFile(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return {};
    return file.readAll();
}

QList<QByteArray> rawNames(const QByteArray& folder) {
    QList<QByteArray> names;
    DIR* listing = ::opendir(folder.constData());
    if (!listing) return names;
    while (const dirent* entry = ::readdir(listing))
        if (QByteArray(entry->d_name) != "." && QByteArray(entry->d_name) != "..") names << entry->d_name;
    ::closedir(listing);
    std::sort(names.begin(), names.end());
    return names;
}

unsigned long long inodeOf(const QString& path) {
    struct stat info {};
    return ::stat(QFile::encodeName(path).constData(), &info) == 0 ? info.st_ino : 0;
}

std::optional<ProcessResult> runProgram(const QString& program, const QStringList& arguments,
                                        const std::optional<QByteArray>& input, int timeoutMs) {
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForStarted(10000)) return std::nullopt;
    if (input) process.write(*input);
    process.closeWriteChannel();
    if (!process.waitForFinished(timeoutMs)) {
        process.kill();
        process.waitForFinished();
        return std::nullopt;
    }
    ProcessResult result;
    result.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    result.standardOutput = process.readAllStandardOutput();
    result.standardError = process.readAllStandardError();
    return result;
}

ChildResult runAsUnprivilegedUser(const std::function<int(QByteArray& output)>& body) {
    // Looked up before forking: the child should do no more than drop its rights and run `body`.
    const passwd* nobody = ::getpwnam("nobody");
    const uid_t uid = nobody ? nobody->pw_uid : 65534;
    const gid_t gid = nobody ? nobody->pw_gid : 65534;
    int pipe[2];
    if (::pipe2(pipe, O_CLOEXEC) != 0) return {};
    std::fflush(nullptr);
    const pid_t pid = ::fork();
    if (pid < 0) {
        ::close(pipe[0]);
        ::close(pipe[1]);
        return {};
    }
    if (pid == 0) {
        ::close(pipe[0]);
        if (::geteuid() == 0 && (::setgroups(0, nullptr) != 0 || ::setgid(gid) != 0 || ::setuid(uid) != 0)) ::_exit(125);
        QByteArray output;
        int code = 0;
        // Nothing may unwind back into the test framework: the child would carry on running tests.
        try {
            code = body(output);
        } catch (const std::exception& error) {
            output += QByteArray("uncaught exception: ") + error.what();
            code = 134;
        } catch (...) {
            output += "uncaught exception";
            code = 134;
        }
        for (qsizetype written = 0; written < output.size();) {
            const ssize_t n = ::write(pipe[1], output.constData() + written, size_t(output.size() - written));
            if (n <= 0) break;
            written += n;
        }
        ::_exit(code);
    }
    ::close(pipe[1]);
    ChildResult result;
    char chunk[4096];
    for (ssize_t n; (n = ::read(pipe[0], chunk, sizeof chunk)) != 0;) {
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) break;
        result.output.append(chunk, n);
    }
    ::close(pipe[0]);
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}

QString makeFolderReachableByAll(const QString& hint) {
    ::chmod(QFile::encodeName(homeFolder()).constData(), 0711);
    const QString folder = makeTemporaryFolder(hint);
    ::chmod(QFile::encodeName(folder).constData(), 0755);
    return folder;
}

QByteArray outputWhileServing(const QString& program, const QStringList& arguments, const std::optional<QByteArray>& input) {
    QProcess process;
    QEventLoop loop;
    QObject::connect(&process, &QProcess::finished, &loop, &QEventLoop::quit);
    QObject::connect(&process, &QProcess::errorOccurred, &loop, &QEventLoop::quit);
    QTimer::singleShot(30000, &loop, &QEventLoop::quit); // a hung program fails the caller's check
    process.start(program, arguments);
    if (input) {
        process.write(*input);
        process.closeWriteChannel();
    }
    loop.exec();
    if (process.state() != QProcess::NotRunning) {
        process.kill();
        process.waitForFinished();
        return {};
    }
    return process.readAllStandardOutput();
}

bool waitUntil(const std::function<bool()>& condition, int timeoutMs) {
    const QDeadlineTimer deadline(timeoutMs);
    // Looks often at first, then less often: a condition that asks another process (an xdotool
    // run, a file to decode) should not take the processor from the work it waits for.
    int pauseMs = 2;
    while (!condition()) {
        if (deadline.hasExpired()) return false;
        if (QCoreApplication::instance())
            QTest::qWait(pauseMs);
        else
            QThread::msleep(static_cast<unsigned long>(pauseMs));
        pauseMs = std::min(pauseMs * 2, 50);
    }
    return true;
}

bool hasProgram(const QString& program) { return !QStandardPaths::findExecutable(program).isEmpty(); }

bool hasX11Display() { return !qEnvironmentVariableIsEmpty("DISPLAY"); }

} // namespace TestSupport
