#pragma once

namespace BrindlecastApp {

struct Channel;

// The whole program behind main(): parses the command line, then runs the application.
int runMain(int argc, char** argv);

namespace BrindlecastMain {
// Stores `channel` as Channel::current(), then runs the program; returns when it ends. GUI (main)
// thread only.
int run(const Channel& channel, int argc, char** argv);
} // namespace BrindlecastMain

} // namespace BrindlecastApp
