#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <functional>
#include <optional>

namespace TestSupport {

// The folder that stands in for $HOME during this test process (created by the test main).
QString homeFolder();

// A fresh empty folder below the test home, removed at process exit with the home.
QString makeTemporaryFolder(const QString& hint = "tmp");

// Writes a file, creating its folder; fails the test on error.
void writeFile(const QString& path, const QByteArray& bytes);
QByteArray readFile(const QString& path);
// The names in a folder as the system gives them (bytes, whatever their encoding, which Qt's own
// listing would change), sorted; none when it cannot be read.
QList<QByteArray> rawNames(const QByteArray& folder);
// The file's inode number (0 when there is none): it tells a file changed in place from one replaced.
unsigned long long inodeOf(const QString& path);

struct ProcessResult {
    int exitCode = -1;
    QByteArray standardOutput;
    QByteArray standardError;
};

// Runs a program to completion (stdin closed unless `input` is given). Nothing when it cannot start.
std::optional<ProcessResult> runProgram(const QString& program, const QStringList& arguments,
                                        const std::optional<QByteArray>& input = std::nullopt,
                                        int timeoutMs = 60000);

// Runs a program while this process's event loop keeps turning, so that the process can answer
// it (as the owner of an X selection must); its standard output, or nothing when it did not end
// within 30 seconds.
QByteArray outputWhileServing(const QString& program, const QStringList& arguments,
                              const std::optional<QByteArray>& input = std::nullopt);

// Turns this process's event loop until `condition` holds or `timeoutMs` has passed, and says
// whether it holds. For whatever another process, the X server or a worker thread does in its
// own time: a test waits for what it can observe, never for a fixed time, and the deadline is
// generous because a loaded machine is slow (a passing test returns as soon as it holds).
bool waitUntil(const std::function<bool()>& condition, int timeoutMs = 30000);

// True when `program` is on PATH.
bool hasProgram(const QString& program);

// True in a build whose allocations go through the address sanitizer (the build CI tests): its
// heap keeps freed blocks in quarantine, in arenas of its own, and shadows every mapping, so
// what glibc's allocator hands back or how much of a process is resident says nothing there.
constexpr bool heapIsSanitized() {
#if defined(__SANITIZE_ADDRESS__)
    return true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
    return true;
#endif
#endif
    return false;
}

// What a child process reported: its exit code (-1 when it ended by a signal) and what it wrote.
struct ChildResult {
    int exitCode = -1;
    QByteArray output;
};

// Runs `body` in a forked child that first becomes the unprivileged user "nobody" (the tests run
// as root, who may read and write anything), and waits for it. `body` appends what the test
// should check to `output` and returns the child's exit code. Nothing of GoogleTest may be used
// inside `body`; an exception escaping it ends the child with exit code 134, as an uncaught
// exception ends a program, and its text is added to `output`.
ChildResult runAsUnprivilegedUser(const std::function<int(QByteArray& output)>& body);

// A fresh empty folder below the test home that every user can reach and list but only the
// test's own user may write (mode 0755; the home becomes searchable by all).
QString makeFolderReachableByAll(const QString& hint = "shared");

// True when an X display answers (tests that need one skip otherwise).
bool hasX11Display();

} // namespace TestSupport

// Skips the current test with a reason when a required tool is missing.
#define REQUIRE_PROGRAM(name)                                                                   \
    do {                                                                                         \
        if (!TestSupport::hasProgram(name)) GTEST_SKIP() << name << " is not installed";        \
    } while (0)
