#include "BrindlecastApp/Settings/ApplicationIcons.h"

#include "support/FifoTrap.h"
#include "support/TestEnvironment.h"

#include <QFile>
#include <QImage>

#include <gtest/gtest.h>

using namespace BrindlecastApp;

namespace {

QString icon(const QString& path, int side, QColor colour) {
    QImage image(side, side, QImage::Format_ARGB32);
    image.fill(colour);
    TestSupport::writeFile(path, QByteArray());
    EXPECT_TRUE(image.save(path, "PNG")) << path.toStdString();
    return path;
}

} // namespace

// An Icon= value leads to a file of the themes (the nearest size, then the parent themes, then
// "hicolor"), a loose icon or the path itself; a pipe or a terabyte there is refused without
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
    icon(root + "/pixmaps/loose.png", 40, Qt::yellow);
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
        int side;
    } cases[] = {
        {"own", Qt::red, 44},
        {"own.png", Qt::red, 44},
        {"sized", Qt::green, 44},
        {"inherited", Qt::cyan, 32},
        {"last", Qt::magenta, 44},
        {"loose", Qt::yellow, 40},
        {absolute, Qt::darkGreen, 22},
        {root + "/elsewhere/pipe.png", QColor(), 0},
        {root + "/elsewhere/huge.png", QColor(), 0},
        {"piped", QColor(), 0},
        {"../Custom/48x48/apps/own", QColor(), 0},
        {"no-such-icon", QColor(), 0},
        {QString(), QColor(), 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name.toStdString());
        const QImage image = readApplicationIcon(c.name, 44, search);
        if (!c.colour.isValid()) {
            EXPECT_TRUE(image.isNull());
            continue;
        }
        ASSERT_FALSE(image.isNull());
        EXPECT_EQ(image.size(), QSize(c.side, c.side));
        EXPECT_EQ(QColor(image.pixel(c.side / 2, c.side / 2)), c.colour);
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
    EXPECT_EQ(shown.size(), genericApplicationIcon(44, IconSearch::current()).size()) << "the generic icon";
    EXPECT_FALSE(pipe.caughtAReader()) << "a pipe was opened";
}
