// The main of every test executable: the process gets its own HOME and XDG folders (so no test
// reads or writes the developer's files), a QApplication on the offscreen platform unless the
// test asks for another, and GoogleTest.
#include <QApplication>
#include <QDir>
#include <QTemporaryDir>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <string_view>

int main(int argc, char** argv) {
    QTemporaryDir home(QDir::tempPath() + "/brindlecast-test-XXXXXX");
    if (!home.isValid()) return 3;
    const QByteArray root = QFile::encodeName(home.path());
    setenv("HOME", root.constData(), 1);
    setenv("XDG_CONFIG_HOME", (root + "/config").constData(), 1);
    setenv("XDG_DATA_HOME", (root + "/data").constData(), 1);
    setenv("XDG_CACHE_HOME", (root + "/cache").constData(), 1);
    setenv("XDG_STATE_HOME", (root + "/state").constData(), 1);
    setenv("XDG_RUNTIME_DIR", (root + "/runtime").constData(), 1);
    for (const char* sub : {"/config", "/data", "/cache", "/state", "/runtime"}) QDir().mkpath(home.path() + sub);
    QFile::setPermissions(home.path() + "/runtime", QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);

    bool listingOnly = false;
    for (int i = 1; i < argc; ++i) listingOnly |= std::string_view(argv[i]) == "--gtest_list_tests";
    testing::InitGoogleMock(&argc, argv);
    if (listingOnly) return RUN_ALL_TESTS(); // test discovery needs no display
    QApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
