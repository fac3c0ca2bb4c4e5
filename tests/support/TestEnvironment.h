#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <optional>

namespace TestSupport {

// The folder that stands in for $HOME during this test process (created by the test main).
QString homeFolder();

// A fresh empty folder below the test home, removed at process exit with the home.
QString makeTemporaryFolder(const QString& hint = "tmp");

// Writes a file, creating its folder; fails the test on error.
void writeFile(const QString& path, const QByteArray& bytes);
QByteArray readFile(const QString& path);

struct ProcessResult {
    int exitCode = -1;
    QByteArray standardOutput;
    QByteArray standardError;
};

// Runs a program to completion (stdin closed unless `input` is given). Nothing when it cannot start.
std::optional<ProcessResult> runProgram(const QString& program, const QStringList& arguments,
                                        const std::optional<QByteArray>& input = std::nullopt,
                                        int timeoutMs = 60000);

// True when `program` is on PATH.
bool hasProgram(const QString& program);

// True when an X display answers (tests that need one skip otherwise).
bool hasX11Display();

} // namespace TestSupport

// Skips the current test with a reason when a required tool is missing.
#define REQUIRE_PROGRAM(name)                                                                   \
    do {                                                                                         \
        if (!TestSupport::hasProgram(name)) GTEST_SKIP() << name << " is not installed";        \
    } while (0)
