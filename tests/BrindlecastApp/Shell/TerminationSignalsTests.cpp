#include "BrindlecastApp/Shell/TerminationSignals.h"

#include <QCoreApplication>
#include <QSignalSpy>

#include <gtest/gtest.h>

#include <csignal>

using namespace BrindlecastApp;

namespace {

using Handler = void (*)(int);

Handler currentHandler(int number) {
    struct sigaction action {};
    ::sigaction(number, nullptr, &action);
    return action.sa_handler;
}

} // namespace

// Each of a logout's signals reaches the event loop as `received`, with its number, and is not
// acted on by the system. A second signal, of the same kind or another, while the first is handled
// (SIGHUP right after SIGTERM at a session's end) neither ends the process nor starts another
// ending. Once the object goes, the default actions are back.
TEST(TerminationSignals, TheFirstOfALogoutsSignalsArrivesInTheEventLoopAndTheRestWait) {
    for (const int first : {SIGTERM, SIGHUP, SIGINT}) {
        SCOPED_TRACE(first);
        {
            TerminationSignals termination;
            QSignalSpy received(&termination, &TerminationSignals::received);
            ASSERT_EQ(::raise(first), 0);
            EXPECT_TRUE(received.isEmpty()) << "delivered inside the handler";
            ASSERT_TRUE(received.wait(5000));
            ASSERT_EQ(received.size(), 1);
            EXPECT_EQ(received.front().front().toInt(), first);
            for (const int next : {first, SIGHUP, SIGTERM, SIGINT}) ASSERT_EQ(::raise(next), 0);
            EXPECT_FALSE(received.wait(300));
            for (const int number : {SIGTERM, SIGHUP, SIGINT}) EXPECT_NE(currentHandler(number), SIG_DFL) << number;
        }
        for (const int number : {SIGTERM, SIGHUP, SIGINT}) EXPECT_EQ(currentHandler(number), SIG_DFL) << number;
    }
}

// A signal the app was started with ignored (nohup, a shell's background job) stays ignored.
TEST(TerminationSignals, ASignalIgnoredAtStartStaysIgnored) {
    ::signal(SIGHUP, SIG_IGN);
    {
        TerminationSignals termination;
        QSignalSpy received(&termination, &TerminationSignals::received);
        EXPECT_EQ(currentHandler(SIGHUP), SIG_IGN);
        ASSERT_EQ(::raise(SIGHUP), 0);
        EXPECT_FALSE(received.wait(300));
    }
    EXPECT_EQ(currentHandler(SIGHUP), SIG_IGN);
    ::signal(SIGHUP, SIG_DFL);
}
