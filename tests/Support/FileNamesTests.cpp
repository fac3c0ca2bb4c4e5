// Names that are bytes: a folder named in Latin-1 is found, listed and written into under its own
// name, never under one with U+FFFD in its place.
#include "Support/AtomicFile.h"
#include "Support/FileNames.h"
#include "Support/Folders.h"
#include "support/TestEnvironment.h"

#include <QDir>
#include <QFile>
#include <QScopeGuard>

#include <gtest/gtest.h>

#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

#include <optional>

namespace FileNames = Support::FileNames;

TEST(FileNames, EveryNameComesBackByteForByteAndUtf8ReadsAsQtReadsIt) {
    struct Case {
        const char* name;
        QByteArray bytes;
        bool utf8;
    };
    const Case cases[] = {
        {"ascii", "/home/ada/Pictures", true},
        {"two, three and four bytes", "/home/ada/Bilder \xc3\xa4 \xe2\x82\xac \xf0\x9d\x84\x9e", true},
        {"latin-1", "/home/ada/Bilder\xe4", false},
        {"latin-1 before a valid letter", "\xe4\xc3\xa4", false},
        {"lone continuation", "a\x80z", false},
        {"overlong slash", "a\xc0\xaf", false},
        {"encoded surrogate", "\xed\xb3\xa4", false},
        {"past U+10FFFF", "\xf4\x90\x80\x80", false},
        {"cut short at the end", "Bild\xe2\x82", false},
        {"every high byte", [] {
             QByteArray all;
             for (int b = 0x80; b <= 0xFF; ++b) all += char(b);
             return all;
         }(), false},
    };
    for (const Case& c : cases) {
        const QString decoded = FileNames::decode(c.bytes);
        EXPECT_EQ(FileNames::encode(decoded), c.bytes) << c.name;
        if (c.utf8) {
            EXPECT_EQ(decoded, QString::fromUtf8(c.bytes)) << c.name;
        } else {
            EXPECT_FALSE(decoded.contains(QChar::ReplacementCharacter)) << c.name;
            EXPECT_NE(FileNames::encode(QString::fromUtf8(c.bytes)), c.bytes) << c.name << ": Qt's reading loses it";
        }
    }
    // Text that is no file name's decoding: a lone surrogate other than the escapes is written
    // as Qt writes it.
    EXPECT_EQ(FileNames::encode(QString(QChar(0xD800))), QByteArray("\xef\xbf\xbd"));
}

TEST(FileNames, AFolderNamedInLatin1IsWrittenIntoAndListedUnderItsOwnName) {
    const QByteArray parent = FileNames::encode(TestSupport::makeTemporaryFolder("latin1"));
    const QString folder = FileNames::decode(parent + "/Bilder\xe4/Brindlecast");
    Support::Folders::create(folder);
    const QString written =
        Support::AtomicFile::createNew(folder, [](int n) { return n ? QString() : QString("Gr\u00fc\u00dfe.png"); }, "png");
    Support::AtomicFile::write(folder + "/" + FileNames::decode("notes \xe9.json"), "{}"); // a Latin-1 name too
    ASSERT_EQ(::symlink("elsewhere", QByteArray(parent + "/Bilder\xe4/Brindlecast/link.png").constData()), 0);

    EXPECT_EQ(TestSupport::rawNames(parent), QList<QByteArray>{"Bilder\xe4"});
    EXPECT_EQ(TestSupport::rawNames(parent + "/Bilder\xe4/Brindlecast"),
              (QList<QByteArray>{"Gr\xc3\xbc\xc3\x9f" "e.png", "link.png", "notes \xe9.json"}));
    EXPECT_TRUE(FileNames::exists(written));
    EXPECT_TRUE(FileNames::modified(written).has_value());
    EXPECT_FALSE(FileNames::modified(folder + "/missing.png").has_value());
    QStringList listed = Support::Folders::files(folder);
    listed.sort();
    EXPECT_EQ(listed, (QStringList{"Gr\u00fc\u00dfe.png", FileNames::decode("notes \xe9.json")})) << "links are no files";
    EXPECT_TRUE(Support::Folders::files(folder + "/missing").isEmpty());
    std::filesystem::remove_all((parent + "/Bilder\xe4").toStdString()); // Qt cannot name it to clean up
}

TEST(Folders, ThePicturesFolderIsTheOneUserDirsNamesByteForByte) {
    const QByteArray home = qgetenv("HOME");
    const QByteArray config = qgetenv("XDG_CONFIG_HOME");
    const QString userDirs = FileNames::decode(config + "/user-dirs.dirs");
    const auto removed = qScopeGuard([&] { QFile::remove(userDirs); });
    struct Case {
        const char* name;
        std::optional<QByteArray> userDirs; // nothing: no file
        QByteArray expected;
    };
    const Case cases[] = {
        {"no file", std::nullopt, home + "/Pictures"},
        {"latin-1 below home", "XDG_DESKTOP_DIR=\"$HOME/Desktop\"\nXDG_PICTURES_DIR=\"$HOME/Bilder\xe4\"\n", home + "/Bilder\xe4"},
        {"absolute, blanks and a trailing slash", "# written by hand\n  XDG_PICTURES_DIR = \"/srv/shots/\"  \n", "/srv/shots"},
        {"escaped quote", "XDG_PICTURES_DIR=\"$HOME/My \\\"Shots\\\"\"\n", home + "/My \"Shots\""},
        {"the last line counts", "XDG_PICTURES_DIR=\"$HOME/A\"\nXDG_PICTURES_DIR=\"$HOME/B\"\n", home + "/B"},
        {"relative is ignored", "XDG_PICTURES_DIR=\"Pictures\"\n", home + "/Pictures"},
        {"$HOMEx is no home", "XDG_PICTURES_DIR=\"$HOMEx/P\"\n", home + "/Pictures"},
        {"another key", "XDG_PICTURES_DIRS=\"$HOME/P\"\n", home + "/Pictures"},
    };
    for (const Case& c : cases) {
        QFile::remove(userDirs);
        if (c.userDirs) TestSupport::writeFile(userDirs, *c.userDirs);
        EXPECT_EQ(FileNames::encode(Support::Folders::pictures()), c.expected) << c.name;
    }
}
