#pragma once

namespace BrindlecastApp {

// The whole program behind main(): parses the command line, then runs the application.
int runMain(int argc, char** argv);

} // namespace BrindlecastApp
