#include "BrindlecastApp/Settings/ApplicationIcons.h"

#include "support/FifoTrap.h"
#include "support/TestEnvironment.h"

#include <QFile>
#include <QImage>

#include <gtest/gtest.h>

using namespace BrindlecastApp;

namespace {

QString icon(const QString& path, int side, QColor colour, int height = 0) {
    QImage image(side, height > 0 ? height : side, QImage::Format_ARGB32);
    image.fill(colour);
    TestSupport::writeFile(path, QByteArray());
    EXPECT_TRUE(image.save(path, "PNG")) << path.toStdString();
    return path;
}

} // namespace

// An Icon= value leads to a file of the themes (the nearest size, then the parent themes, then
// "hicolor"), a loose icon or the path itself, whatever its size filling the square asked for; a pipe or a terabyte there is refused without
// being opened (the traps let go of any reader that opened them), and so is a name that climbs
// out of the icon folders.
TEST(ApplicationIcons, ReadsTheNearestRegularIconFileAndNothingElse) {
    const QString root = TestSupport::makeTemporaryFolder("icons");
    const QString themes = root + "/icons";
    TestSupport::writeFile(themes + "/Custom/index.theme", "[Icon Theme]\nName=Custom\nInherits=Parent\n");
    icon(themes + "/Custom/48x48/apps/own.png", 48, Qt::red);
    icon(themes + "/Custom/16x16/apps/sized.png", 16, Qt::blue);
    icon(themes + "/Custom/64x64/apps/sized.png", 64, Qt::green);
    icon(themes + "/Parent/apps/32/inherited.png", 32, Qt::cyan);
    icon(themes + "/hicolor/48x48/apps/own.png", 48, Qt::black);
    icon(themes + "/hicolor/48x48/apps/last.png", 48, Qt::magenta);
    icon(root + "/pixmaps/loose.png", 40, Qt::yellow, 20); // centred, the rest left clear
    const QString absolute = icon(root + "/elsewhere/app.png", 22, Qt::darkGreen);
    TestSupport::FifoTrap pipe(root + "/elsewhere/pipe.png");
    TestSupport::FifoTrap themedPipe(themes + "/Custom/48x48/apps/piped.png");
    ASSERT_TRUE(pipe.made() && themedPipe.made());
    {
        QFile sparse(root + "/elsewhere/huge.png");
        ASSERT_TRUE(sparse.open(QIODevice::WriteOnly));
        ASSERT_TRUE(sparse.resize(qint64(1) << 40));
    }
    const IconSearch search{{"Custom", "hicolor"}, {themes}, {root + "/pixmaps"}};

    const struct {
        QString name;
        QColor colour; // invalid: nothing
    } cases[] = {
        {"own", Qt::red},
        {"own.png", Qt::red},
        {"sized", Qt::green},
        {"inherited", Qt::cyan},
        {"last", Qt::magenta},
        {"loose", Qt::yellow},
        {absolute, Qt::darkGreen},
        {root + "/elsewhere/pipe.png", QColor()},
        {root + "/elsewhere/huge.png", QColor()},
        {"piped", QColor()},
        {"../Custom/48x48/apps/own", QColor()},
        {"no-such-icon", QColor()},
        {QString(), QColor()},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name.toStdString());
        const QImage image = readApplicationIcon(c.name, 44, search);
        if (!c.colour.isValid()) {
            EXPECT_TRUE(image.isNull());
            continue;
        }
        ASSERT_FALSE(image.isNull());
        EXPECT_EQ(image.size(), QSize(44, 44)) << "any size fills the square";
        EXPECT_EQ(QColor(image.pixel(22, 22)), c.colour);
        EXPECT_EQ(qAlpha(image.pixel(22, 2)), c.name == "loose" ? 0 : 255);
    }
    EXPECT_FALSE(pipe.caughtAReader() || themedPipe.caughtAReader()) << "a pipe was opened";

    // On the GUI thread: read once, handed to each asker still there.
    QImage shown;
    QObject alive;
    auto* gone = new QObject;
    ApplicationIcons::shared().request(root + "/elsewhere/pipe.png", 44, &alive, [&](const QImage& i) { shown = i; });
    ApplicationIcons::shared().request(root + "/elsewhere/pipe.png", 44, gone, [](const QImage&) {
        ADD_FAILURE() << "handed to an asker that is gone";
    });
    delete gone;
    ApplicationIcons::shared().waitForIcons();
    EXPECT_EQ(shown, genericApplicationIcon(44, IconSearch::current())) << "the generic icon";
    EXPECT_FALSE(pipe.caughtAReader()) << "a pipe was opened";
}
