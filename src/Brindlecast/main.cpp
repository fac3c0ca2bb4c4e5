#include "BrindlecastApp/AppMain.h"

int main(int argc, char** argv) { return BrindlecastApp::runMain(argc, argv); }
