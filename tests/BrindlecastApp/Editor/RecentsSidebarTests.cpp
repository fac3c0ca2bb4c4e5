#include "EditorTestSupport.h"
#include "../MotionTestSupport.h"

#include "BrindlecastApp/Design/Theme.h"
#include "BrindlecastApp/Design/ThemedRoot.h"
#include "BrindlecastApp/Editor/EditorSelection.h"
#include "BrindlecastApp/Editor/EditorSidebarPane.h"
#include "BrindlecastApp/Editor/RecentRow.h"
#include "BrindlecastApp/Editor/RecentsSidebar.h"

#include "Support/UserDefaults.h"

#include <QFile>

#include <gtest/gtest.h>

using namespace EditorTesting;

namespace {

const QDateTime kNow(QDate(2026, 12, 5), QTime(18, 0));

// A library folder holding one capture per (name, time), each written with that time.
struct Library {
    explicit Library(const std::vector<std::pair<QString, QDateTime>>& captures = {}) {
        folder = TestSupport::makeTemporaryFolder("recents");
        for (const auto& [name, time] : captures) write(name, time);
        library = std::make_unique<CaptureLibrary>(folder);
        library->reload();
        library->waitUntilListed();
    }
    QString write(const QString& name, const QDateTime& time) {
        const QString path = folder + "/" + name;
        FakeScreen::patterned(QSize(300, 100), 7).save(path, "PNG");
        QFile file(path);
        file.open(QIODevice::ReadWrite);
        file.setFileTime(time, QFileDevice::FileModificationTime);
        return path;
    }
    QString folder;
    std::unique_ptr<CaptureLibrary> library;
};

struct Sidebar {
    explicit Sidebar(CaptureLibrary& library, bool withCallback = true)
        : sidebar(library, selection,
                  withCallback ? std::function<void(const CaptureEntry&)>([this](const CaptureEntry& e) { chosen << e.filename; })
                               : std::function<void(const CaptureEntry&)>()) {
        sidebar.setClock([] { return kNow; });
        sidebar.resize(220, 600);
    }
    QStringList names() const {
        QStringList found;
        for (RecentRow* row : sidebar.rows()) found << row->entry().filename;
        return found;
    }
    QStringList selected() const {
        QStringList found;
        for (RecentRow* row : sidebar.rows())
            if (row->isSelected()) found << row->entry().filename;
        return found;
    }
    RecentRow* row(const QString& name) const {
        for (RecentRow* row : sidebar.rows())
            if (row->entry().filename == name) return row;
        return nullptr;
    }

    EditorSelection selection;
    QStringList chosen;
    RecentsSidebar sidebar;
};

// One row, "a.png" of yesterday, under a theme of its own in one scheme.
struct ThemedRow {
    explicit ThemedRow(bool dark) : store(TestSupport::makeTemporaryFolder("theme") + "/preferences.json"), theme(&store) {
        theme.setMode(dark ? ThemeMode::dark : ThemeMode::light);
        ThemedRoot::install(&root, &theme);
        row = new RecentRow(CaptureEntry{QUrl::fromLocalFile("/tmp/a.png"), "a.png", kNow, QSize(10, 10), QImage()}, "Yesterday",
                            false, &root);
    }
    Support::UserDefaults store;
    Theme theme;
    QWidget root;
    RecentRow* row = nullptr;
};

} // namespace

TEST(RecentsSidebar, AnEmptyLibrarySaysSo) {
    Library empty;
    Sidebar s(*empty.library);
    EXPECT_EQ(s.sidebar.countText(), "0");
    EXPECT_TRUE(s.sidebar.showsEmptyState());
    EXPECT_TRUE(s.sidebar.rows().isEmpty());
}

TEST(RecentsSidebar, RowsListTheCapturesNewestFirstWithTheirTimes) {
    Library l({{"older.png", QDateTime(QDate(2026, 3, 5), QTime(9, 0))},
               {"today.png", QDateTime(QDate(2026, 12, 5), QTime(15, 7))},
               {"yesterday.png", QDateTime(QDate(2026, 12, 4), QTime(23, 59))}});
    Sidebar s(*l.library);
    EXPECT_FALSE(s.sidebar.showsEmptyState());
    EXPECT_EQ(s.sidebar.countText(), "3");
    EXPECT_EQ(s.names(), QStringList({"today.png", "yesterday.png", "older.png"}));
    QStringList times;
    for (RecentRow* row : s.sidebar.rows()) times << row->relativeTime();
    EXPECT_EQ(times, QStringList({CaptureLibrary::relativeTime(QDateTime(QDate(2026, 12, 5), QTime(15, 7)), kNow),
                                  "Yesterday", CaptureLibrary::relativeTime(QDateTime(QDate(2026, 3, 5), QTime(9, 0)), kNow)}));
    EXPECT_TRUE(times[0].startsWith(QString::fromUtf8("Today \u00B7 ")));
    EXPECT_TRUE(s.selected().isEmpty()) << "no selection highlights no row";

    // The list follows the library.
    l.library->add(l.write("newest.png", QDateTime(QDate(2026, 12, 5), QTime(17, 0))));
    EXPECT_EQ(s.sidebar.countText(), "4");
    EXPECT_EQ(s.names().first(), "newest.png");
}

TEST(RecentsSidebar, AClickSelectsTheRowAndHandsItOnEveryTime) {
    Library l({{"a.png", kNow.addSecs(-60)}, {"b.png", kNow.addSecs(-120)}});
    for (const bool withCallback : {true, false}) {
        SCOPED_TRACE(withCallback ? "with a callback" : "without a callback");
        Sidebar s(*l.library, withCallback);
        QTest::mouseClick(s.row("b.png"), Qt::LeftButton, {}, QPoint(150, 10)); // on the row's empty part
        ASSERT_TRUE(s.selection.entry());
        EXPECT_EQ(s.selection.entry()->filename, "b.png");
        EXPECT_EQ(s.selected(), QStringList{"b.png"});
        QTest::mouseClick(s.row("b.png"), Qt::LeftButton);
        EXPECT_EQ(s.chosen, withCallback ? QStringList({"b.png", "b.png"}) : QStringList());
        EXPECT_EQ(s.selected(), QStringList{"b.png"});
    }
}

TEST(RecentsSidebar, ARewrittenFileNoLongerMatchesTheOldSelection) {
    Library l({{"a.png", kNow.addSecs(-60)}});
    Sidebar s(*l.library);
    s.selection.setEntry(l.library->entries().first());
    EXPECT_EQ(s.selected(), QStringList{"a.png"});
    l.library->waitForThumbnails(); // nothing reads the file while it is written again
    l.library->add(l.write("a.png", kNow.addSecs(-5)));
    EXPECT_TRUE(s.selected().isEmpty());
    s.selection.setEntry(l.library->entries().first());
    EXPECT_EQ(s.selected(), QStringList{"a.png"});
}

TEST(RecentsSidebar, AThumbnailThatArrivesLateIsShown) {
    Library l;
    Sidebar s(*l.library);
    l.library->add(l.write("late.png", kNow.addSecs(-1)));
    RecentRow* row = s.row("late.png");
    ASSERT_NE(row, nullptr);
    EXPECT_TRUE(row->entry().thumbnail.isNull()) << "made on a worker, after the entry";
    EXPECT_TRUE(waitUntil([&] { return !row->entry().thumbnail.isNull(); }));
    EXPECT_LE(std::max(row->entry().thumbnail.width(), row->entry().thumbnail.height()), 120);
}

TEST(RecentsSidebar, RadiiNestInTheWindowsRadius) {
    EXPECT_EQ(RecentRow::rowRadius(20), 7);
    EXPECT_EQ(RecentRow::thumbnailRadius(20), 4);
    EXPECT_EQ(RecentRow::rowRadius(12), 3);
    EXPECT_EQ(RecentRow::thumbnailRadius(12), 3);
}

TEST(RecentsSidebar, TheEditorWindowMarksItsCaptureAndOpensAnotherOnAClick) {
    EditorHarness e;
    const QString first = e.open("Screenshot a.png");
    const QString second = e.open("Screenshot b.png");
    auto* sidebar = qobject_cast<RecentsSidebar*>(e.controller()->view()->sidebarPane()->slotWidget());
    ASSERT_NE(sidebar, nullptr);
    settle();
    QStringList selected;
    RecentRow* other = nullptr;
    for (RecentRow* row : sidebar->rows()) {
        if (row->isSelected()) selected << row->entry().path();
        if (row->entry().path() == first) other = row;
    }
    EXPECT_EQ(selected, QStringList{second});
    ASSERT_NE(other, nullptr);
    QTest::mouseClick(other, Qt::LeftButton);
    EXPECT_EQ(e.h.host->opened, QStringList{first});
}

TEST(RecentsSidebar, RowBackgroundsFollowSelectionHoverAndScheme) {
    for (const bool dark : {false, true}) {
        SCOPED_TRACE(dark ? "dark" : "light");
        ThemedRow themed(dark);
        RecentRow* row = themed.row;
        const Theme& theme = themed.theme;
        EXPECT_EQ(row->background().alpha(), 0) << "no background at rest";

        QEvent enter(QEvent::Enter);
        QApplication::sendEvent(row, &enter);
        const QColor tint = dark ? Design::white(0.16) : Design::black(0.10);
        EXPECT_TRUE(waitUntil([&] { return row->background() == tint; }, 5000))
            << row->background().name(QColor::HexArgb).toStdString();
        row->setSelected(true);
        EXPECT_EQ(row->background(), Design::withOpacity(theme.accent(), 0.15)) << "the selection wins over the hover";
    }
}

// The hover tint springs back past nothing when the pointer leaves: the fill drawn on the way out
// is never a colour of negative opacity, which Qt would reject with a warning on every frame.
TEST(RecentsSidebar, LeavingARowDrawsNoColourOfNegativeOpacity) {
    static QStringList warnings;
    warnings.clear();
    const QtMessageHandler previous = qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString& text) {
        if (text.contains("setAlphaF")) warnings << text;
    });
    for (const bool dark : {false, true}) {
        ThemedRow themed(dark);
        RecentRow* row = themed.row;
        row->resize(200, 46);
        DrivenAnimationClock clock;
        QEvent enter(QEvent::Enter);
        QApplication::sendEvent(row, &enter);
        clock.advance(0.5);
        QEvent leave(QEvent::Leave);
        QApplication::sendEvent(row, &leave);
        for (int frame = 0; frame < 40; ++frame) {
            clock.advance(1.0 / 60);
            row->grab();
        }
        EXPECT_EQ(row->background().alpha(), 0) << "at rest again";
    }
    qInstallMessageHandler(previous);
    EXPECT_TRUE(warnings.isEmpty()) << warnings.size() << " warnings, the first: " << warnings.value(0).toStdString();
}

// A thumbnail of another shape covers the 54 x 34 box and is cut evenly on both sides.
TEST(RecentsSidebar, AThumbnailCoversItsBoxCentred) {
    QImage stripes(120, 30, QImage::Format_RGB32);
    for (int x = 0; x < 120; ++x)
        for (int y = 0; y < 30; ++y) stripes.setPixel(x, y, x < 40 ? qRgb(255, 0, 0) : x < 80 ? qRgb(0, 255, 0) : qRgb(0, 0, 255));
    CaptureEntry entry{QUrl::fromLocalFile("/tmp/a.png"), "a.png", kNow, QSize(120, 30), stripes};
    RecentRow row(entry, "Yesterday", false);
    row.resize(220, row.sizeHint().height());
    const QImage grab = row.grab().toImage();
    const double top = (row.height() - RecentRow::kThumbnailSize.height()) / 2;
    const int y = int(top + 17);
    // Scaled by 34/30, the green middle stripe is 45 points wide and fills the middle of the box;
    // only the outer 4 points of each side show red and blue.
    for (const int x : {7 + 10, 7 + 27, 7 + 44}) {
        const QRgb p = grab.pixel(x, y);
        EXPECT_GT(qGreen(p), 200) << x;
        EXPECT_LT(qRed(p), 60) << x;
        EXPECT_LT(qBlue(p), 60) << x;
    }
}
