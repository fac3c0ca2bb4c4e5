#include "support/TestEnvironment.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QUuid>

#include <gtest/gtest.h>

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

bool hasProgram(const QString& program) { return !QStandardPaths::findExecutable(program).isEmpty(); }

bool hasX11Display() { return !qEnvironmentVariableIsEmpty("DISPLAY"); }

} // namespace TestSupport
