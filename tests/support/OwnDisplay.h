#pragma once

// An X server of a test's own, for tests that need a screen the shared test display does not
// have (another size, no Composite): Xvfb picks a free display and reports its number. Header
// only; the xcb parts are compiled only into the tests that link xcb.
#include "support/AppProcess.h"

#include <QByteArray>
#include <QDeadlineTimer>
#include <QProcess>
#include <QProcessEnvironment>
#include <QStringList>
#include <QTest>

#include <memory>
#include <vector>

namespace TestSupport {

class OwnDisplay {
public:
    // Starts Xvfb with `arguments` (screens, extensions); display() is empty when it did not start.
    explicit OwnDisplay(const QStringList& arguments) {
        server_.start("Xvfb", QStringList{"-displayfd", "1", "-nolisten", "tcp"} + arguments);
        if (!server_.waitForStarted(10000)) return;
        QByteArray number;
        QDeadlineTimer deadline(30000);
        while (!number.contains('\n') && server_.state() == QProcess::Running && !deadline.hasExpired()) {
            server_.waitForReadyRead(50);
            number += server_.readAllStandardOutput();
        }
        if (number.contains('\n')) display_ = ":" + QString::fromLatin1(number.trimmed());
    }
    ~OwnDisplay() {
        server_.terminate();
        if (!server_.waitForFinished(10000)) {
            server_.kill();
            server_.waitForFinished();
        }
    }
    OwnDisplay(const OwnDisplay&) = delete;
    OwnDisplay& operator=(const OwnDisplay&) = delete;

    const QString& display() const { return display_; }

private:
    QProcess server_;
    QString display_;
};

// Programs a test runs beside it (a window manager, the app), ended in the reverse order of
// their start: the app before the server it draws on.
class Processes {
public:
    Processes() = default;
    Processes(const Processes&) = delete;
    Processes& operator=(const Processes&) = delete;
    ~Processes() { endAll(); }

    // Null when the program did not start.
    QProcess* start(const QString& program, const QStringList& arguments, const QProcessEnvironment& environment) {
        auto process = std::make_unique<QProcess>();
        process->setProcessEnvironment(environment);
        process->start(program, arguments);
        if (!process->waitForStarted(10000)) return nullptr;
        started_.push_back(std::move(process));
        return started_.back().get();
    }

    // The app must end cleanly (see endsCleanly); the programs beside it are simply ended.
    void endAll() {
        for (auto it = started_.rbegin(); it != started_.rend(); ++it) {
#ifdef BRINDLECAST_BINARY
            if ((*it)->program() == BRINDLECAST_BINARY) {
                EXPECT_TRUE(endsCleanly(**it));
                continue;
            }
#endif
            (*it)->terminate();
            if (!(*it)->waitForFinished(10000)) {
                (*it)->kill();
                (*it)->waitForFinished();
            }
        }
        started_.clear();
    }

private:
    std::vector<std::unique_ptr<QProcess>> started_;
};

} // namespace TestSupport
