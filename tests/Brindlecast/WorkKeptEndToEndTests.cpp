// The real app keeps what the user did: the open edit when it is ended by a signal, every capture
// of a quick burst, and annotations that cannot be stored until the user decides about them.
#include "AppDriver.h"
#include "SidecarKit/SidecarStore.h"

#include <QElapsedTimer>
#include <QTest>

#include <csignal>
#include <cstdio>
#include <sched.h>

using namespace EndToEnd;

namespace {

// The annotations stored with a capture (inside it or beside it); none when nothing is stored.
std::optional<std::vector<SidecarKit::Annotation>> storedAnnotations(const QString& capture) {
    try {
        const SidecarKit::SidecarLoadResult stored = SidecarKit::SidecarStore::load(capture);
        if (stored.found) return stored.found->document.annotations;
    } catch (const std::exception&) {
    }
    return std::nullopt;
}

// While it lives this process, and what it starts, runs on two cores at most: as a small machine
// (or CI) would, where a few captures at once use all the threads there are.
class TwoCores {
public:
    TwoCores() {
        ::sched_getaffinity(0, sizeof saved_, &saved_);
        cpu_set_t two;
        CPU_ZERO(&two);
        for (int cpu = 0, kept = 0; cpu < CPU_SETSIZE && kept < 2; ++cpu)
            if (CPU_ISSET(cpu, &saved_)) {
                CPU_SET(cpu, &two);
                ++kept;
            }
        ::sched_setaffinity(0, sizeof two, &two);
    }
    ~TwoCores() { ::sched_setaffinity(0, sizeof saved_, &saved_); }
    TwoCores(const TwoCores&) = delete;
    TwoCores& operator=(const TwoCores&) = delete;

private:
    cpu_set_t saved_{};
};

// Whether a new file can be made in `folder` now.
bool takesNewFiles(const QString& folder) {
    QFile probe(folder + "/.probe");
    const bool made = probe.open(QIODevice::WriteOnly);
    if (made) probe.remove();
    return made;
}

// Keeps a folder from taking new files while it lives: its write bits off and, for root (whom
// they do not stop), the immutable attribute. `holds()` is false when neither stops it.
class ReadOnlyFolder {
public:
    explicit ReadOnlyFolder(QString folder) : folder_(std::move(folder)) {
        QFile::setPermissions(folder_, QFileDevice::ReadOwner | QFileDevice::ExeOwner | QFileDevice::ReadGroup |
                                           QFileDevice::ExeGroup | QFileDevice::ReadOther | QFileDevice::ExeOther);
        if (takesNewFiles(folder_) && TestSupport::hasProgram("chattr")) run("chattr", {"+i", folder_});
    }
    ~ReadOnlyFolder() { release(); }
    ReadOnlyFolder(const ReadOnlyFolder&) = delete;
    ReadOnlyFolder& operator=(const ReadOnlyFolder&) = delete;

    bool holds() const { return !takesNewFiles(folder_); }
    void release() {
        if (TestSupport::hasProgram("chattr")) run("chattr", {"-i", folder_});
        QFile::setPermissions(folder_, QFile::permissions(folder_) | QFileDevice::WriteOwner);
    }

private:
    QString folder_;
};

// The shared driver, and a run of app ends by SIGTERM.
class WorkKeptEndToEnd : public AppDriverTest {
protected:
    // Ends the app with SIGTERM once `provoke` has put it where the engines load or work, `runs`
    // times, each with a new app: every one must end on its own with status 0 (SIGTERM stores the
    // open edit, so it must be a clean road). The runs that did not are named.
    void terminateRepeatedly(int runs, const std::function<void(int run)>& provoke) {
        QStringList unclean;
        for (int run = 0; run < runs; ++run) {
            QProcess* app = startApp();
            if (!app || app->state() != QProcess::Running) {
                unclean << QString("%1: did not start").arg(run);
                continue;
            }
            provoke(run);
            app->terminate();
            if (!app->waitForFinished(60000)) {
                unclean << QString("%1: still running a minute after the signal").arg(run);
                app->kill();
                app->waitForFinished();
            } else if (app->exitStatus() != QProcess::NormalExit || app->exitCode() != 0) {
                const bool killed = app->exitStatus() != QProcess::NormalExit;
                unclean << QString("%1: %2 %3").arg(run).arg(killed ? "killed by signal" : "status").arg(app->exitCode());
            }
            waitUntilHotKeysFree();
            if (HasFatalFailure()) return;
        }
        EXPECT_TRUE(unclean.isEmpty()) << unclean.join("; ").toStdString();
    }
};

} // namespace

// A box drawn in the editor, then the app is sent what a logout or `kill` sends: SIGTERM, SIGHUP,
// or both at once. The box is stored with the capture before the app ends with status 0, as Quit
// stores it; the second signal does not cut the store short.
TEST_F(WorkKeptEndToEnd, ALogoutsSignalsStoreTheOpenEditBeforeTheAppEnds) {
    struct Way {
        const char* name;
        std::vector<int> sent;
    };
    const Way ways[] = {{"SIGTERM", {SIGTERM}},
                        {"SIGHUP", {SIGHUP}},
                        {"SIGTERM, then SIGHUP at once", {SIGTERM, SIGHUP}},
                        {"SIGHUP, then SIGTERM at once", {SIGHUP, SIGTERM}}};
    for (const Way& way : ways) {
        SCOPED_TRACE(way.name);
        const auto [capture, editor] = captureIntoEditor();
        ASSERT_FALSE(editor.isEmpty()) << "no editor window";
        QProcess* app = processes_.back().get();
        ASSERT_TRUE(waitForDoneButton(editor, home_ + "/editor.png")) << "the editor did not paint";
        drawBox(editor);
        ASSERT_FALSE(storedAnnotations(capture)) << "stored before the signal";

        for (const int number : way.sent) ASSERT_EQ(::kill(pid_t(app->processId()), number), 0);
        ASSERT_TRUE(app->waitForFinished(30000)) << "still running 30 s after the signal";
        EXPECT_EQ(app->exitStatus(), QProcess::NormalExit) << "ended by the signal itself";
        EXPECT_EQ(app->exitCode(), 0);
        waitUntilHotKeysFree();
        const auto stored = storedAnnotations(capture);
        ASSERT_TRUE(stored) << "nothing stored with the capture";
        ASSERT_EQ(stored->size(), 1u);
        EXPECT_TRUE(std::holds_alternative<SidecarKit::Annotation::Box>(stored->front().kind));
    }
}

// Six Super+Shift+9 presses in quick succession, with a mandatory pattern set and the editor taking
// each capture, on two cores: every press leaves its own working copy and companion, and the app
// answers its hot key after them.
TEST_F(WorkKeptEndToEnd, ABurstOfCapturesLeavesEveryWorkingCopyAndCompanion) {
    writePreferences(home_, {{"PIIPatterns", {{{"Name", "Ticket"}, {"Action", "blurMandatory"}, {"Regex", "TICKET-[0-9]+"}}}}});
    {
        const TwoCores pinned;
        startApp();
    }
    const auto companions = [&] { return QDir(library_).entryList({"*.content.png"}, QDir::Files).size(); };
    const auto whole = [&](qsizetype count) {
        return waitUntil([&] { return workingCopies().size() == count && companions() == count; }, 120000);
    };
    constexpr int presses = 6;
    for (int i = 0; i < presses; ++i) {
        xdotool({"key", "super+shift+9"});
        QTest::qWait(200);
    }
    EXPECT_TRUE(whole(presses)) << workingCopies().size() << " working copies and " << companions() << " companions";
    for (const QString& copy : workingCopies())
        EXPECT_TRUE(QFile::exists(copy.left(copy.size() - 4) + ".content.png")) << copy.toStdString();

    xdotool({"key", "super+shift+9"});
    EXPECT_TRUE(whole(presses + 1)) << "the hot key went unanswered after the burst";
}

// Done on a capture whose folder has become read-only: the editor stays open and the alert asks;
// Retry once the folder takes files again stores the annotations and closes the editor. The next
// capture in the same case: Discard closes the editor without storing.
TEST_F(WorkKeptEndToEnd, AnnotationsThatCannotBeStoredKeepTheEditorOpenUntilTheUserDecides) {
    const auto [capture, editor] = captureIntoEditor();
    ASSERT_FALSE(editor.isEmpty()) << "no editor window on a first capture";
    const auto clickDone = [&](const QString& window) {
        const std::optional<int> doneLeft = waitForDoneButton(window, home_ + "/editor.png");
        ASSERT_TRUE(doneLeft) << "no Done button in the editor's toolbar";
        const QPoint done = originOf(window.toUInt()) + QPoint(*doneLeft + 20, kToolbarRow);
        xdotool({"mousemove", QString::number(done.x()), QString::number(done.y())});
        xdotool({"click", "1"});
    };
    const auto shown = [&](const QString& title) {
        return !shownWindows(exactTitle(title)).isEmpty();
    };
    // Answers the alert from the keyboard: Return retries, Escape discards.
    const auto answer = [&](const QString& key) {
        const QString alert = waitForWindow("^Brindlecast$");
        ASSERT_FALSE(alert.isEmpty()) << "no alert";
        xdotool({"windowactivate", "--sync", alert});
        xdotool({"key", key});
    };

    {
        ReadOnlyFolder readOnly(library_);
        if (!readOnly.holds()) GTEST_SKIP() << "the library folder cannot be made read-only here";
        clickDone(editor);
        ASSERT_FALSE(waitForWindow("^Brindlecast$").isEmpty()) << "no alert after a failed store";
        EXPECT_TRUE(shown(QFileInfo(capture).fileName())) << "the editor closed";
        EXPECT_FALSE(storedAnnotations(capture));
    }
    answer("Return");
    EXPECT_TRUE(waitUntil([&] { return storedAnnotations(capture).has_value(); }, 10000)) << "Retry stored nothing";
    EXPECT_TRUE(waitUntil([&] { return !shown(QFileInfo(capture).fileName()); }, 10000)) << "the editor stayed";

    xdotool({"key", "super+shift+9"});
    ASSERT_TRUE(waitUntil([&] { return workingCopies().size() == 2; }, 60000)) << "no second working copy";
    QString second;
    for (const QString& copy : workingCopies())
        if (copy != capture) second = copy;
    const QString secondEditor = waitForWindow(exactTitle(QFileInfo(second).fileName()));
    ASSERT_FALSE(secondEditor.isEmpty()) << "no editor on the second capture";
    xdotool({"windowactivate", "--sync", secondEditor});
    ReadOnlyFolder readOnly(library_);
    ASSERT_TRUE(readOnly.holds());
    clickDone(secondEditor);
    answer("Escape");
    EXPECT_TRUE(waitUntil([&] { return !shown(QFileInfo(second).fileName()); }, 10000)) << "Discard left the editor open";
    readOnly.release();
    EXPECT_FALSE(storedAnnotations(second));
}

// A logout with the library on a disk that has become read-only (a bind mount of the app's own,
// remounted read-only once the capture is in the editor): SIGTERM ends the app within a few
// seconds with status 0 and no question. A box drawn is tried once and its failure logged with the
// capture and the reason; a capture with nothing drawn needs no store and logs no failure.
TEST_F(WorkKeptEndToEnd, ASignalEndsTheAppWithoutAQuestionWhenTheLibraryIsReadOnly) {
    if (::geteuid() != 0 || !TestSupport::hasProgram("unshare") || !TestSupport::hasProgram("nsenter"))
        GTEST_SKIP() << "a read-only mount for the app needs root, unshare and nsenter";
    for (const bool drawn : {true, false}) {
        SCOPED_TRACE(drawn ? "a box drawn" : "nothing drawn");
        const QStringList before = workingCopies();
        ASSERT_TRUE(QDir().mkpath(library_));
        QProcess* app = startAppInOwnMounts(R"(mount --bind "$1" "$1")", {library_});
        ASSERT_EQ(app->state(), QProcess::Running);
        const QString pid = QString::number(app->processId());
        xdotool({"key", "super+shift+9"});
        QString capture;
        ASSERT_TRUE(waitUntil([&] {
            for (const QString& copy : workingCopies())
                if (!before.contains(copy)) capture = copy;
            return !capture.isEmpty();
        }, 60000)) << "no working copy";
        const QString editor = waitForWindow(exactTitle(QFileInfo(capture).fileName()));
        ASSERT_FALSE(editor.isEmpty()) << "no editor window";
        ASSERT_TRUE(waitForDoneButton(editor, home_ + "/editor.png")) << "the editor did not paint";
        if (drawn) {
            xdotool({"windowactivate", "--sync", editor});
            drawBox(editor);
        }
        ASSERT_TRUE(run("nsenter", {"--target", pid, "--mount", "mount", "-o", "remount,bind,ro", library_}))
            << "the library could not be made read-only";
        ASSERT_FALSE(takesNewFiles("/proc/" + pid + "/root" + library_)) << "the library still takes files";

        QElapsedTimer clock;
        clock.start();
        ASSERT_EQ(::kill(pid_t(app->processId()), SIGTERM), 0);
        const bool ended = app->waitForFinished(30000);
        const qint64 took = clock.elapsed();
        std::printf("%s: SIGTERM ended the app in %lld ms\n", drawn ? "a box drawn" : "nothing drawn", took);
        EXPECT_TRUE(shownWindows("^Brindlecast$").isEmpty()) << "an alert came up";
        ASSERT_TRUE(ended) << "still running 30 s after SIGTERM";
        EXPECT_LT(took, 5000) << "SIGTERM took " << took << " ms to end the app";
        EXPECT_EQ(app->exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(app->exitCode(), 0);
        waitUntilHotKeysFree();
        EXPECT_FALSE(storedAnnotations(capture));
        if (journalIsRunning()) {
            const QStringList lines = appLog(pid.toLongLong());
            const QStringList failed = lines.filter("not stored as the app ends on a signal");
            for (const QString& line : failed) std::printf("logged: %s\n", qPrintable(line));
            ASSERT_EQ(failed.size(), drawn ? 1 : 0) << lines.join('\n').toStdString();
            if (drawn) {
                EXPECT_TRUE(failed[0].contains(capture)) << failed[0].toStdString();
                EXPECT_TRUE(failed[0].contains("Read-only file system")) << failed[0].toStdString();
            }
        }
    }
}

// The region hot key starts loading the recognition engines while the user selects; SIGTERM comes
// 0 to 200 ms after the selection shows, while they load.
TEST_F(WorkKeptEndToEnd, ATerminationSignalWhileTheEnginesLoadEndsTheAppCleanlyEveryTime) {
    terminateRepeatedly(
        15,
        [&](int run) {
            pressHotKey("7");
            QTest::qWait((run % 5) * 50);
        });
}

// A display capture is written at once and then searched for personal data; SIGTERM comes 0 to
// 400 ms after the working copy, while the search runs, with the editor open on the capture.
TEST_F(WorkKeptEndToEnd, ATerminationSignalWhileACaptureIsSearchedEndsTheAppCleanlyEveryTime) {
    terminateRepeatedly(
        15,
        [&](int run) {
            const qsizetype before = workingCopies().size();
            xdotool({"key", "super+shift+9"});
            ASSERT_TRUE(waitUntil([&] { return workingCopies().size() > before; }, 60000)) << "no working copy";
            QTest::qWait((run % 5) * 100);
        });
}
