// Long lists in the settings and the diagnostics: what a redraw costs is counted in rows made and
// layout passes, not timed (the figures are bench/BrindlecastApp/SettingsBenchmark).
#include "BrindlecastApp/Design/DesktopSettings.h"
#include "BrindlecastApp/Design/Theme.h"
#include "BrindlecastApp/Design/Window/EditorWindowChrome.h"
#include "BrindlecastApp/Settings/AppSettings.h"
#include "BrindlecastApp/Settings/PatternDraftRow.h"
#include "BrindlecastApp/Settings/PolicyDiagnosticsView.h"
#include "BrindlecastApp/Settings/PolicySettings.h"
#include "BrindlecastApp/Settings/PrivacyTab.h"
#include "BrindlecastApp/Settings/SettingsCard.h"
#include "BrindlecastApp/Settings/SettingsRowParts.h"
#include "BrindlecastApp/Settings/SettingsWindow.h"
#include "SettingsTestSupport.h"
#include "Support/UserDefaults.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QScrollArea>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>
#include <QVBoxLayout>

#include <gtest/gtest.h>

using namespace BrindlecastApp;
using nlohmann::json;

namespace {

void settle() {
    for (int i = 0; i < 3; ++i) {
        QCoreApplication::processEvents();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
}

json ticketPatterns(int count) {
    json list = json::array();
    for (int i = 0; i < count; ++i)
        list.push_back({{"Name", "Ticket " + std::to_string(i)}, {"Regex", "T" + std::to_string(i) + "-[0-9]+"},
                        {"Action", "blurSuggested"}});
    return list;
}

// Counts the moves and resizes of the direct children of one widget: each layout pass over a
// list gives every child one of each at most.
class GeometryEvents : public QObject {
public:
    explicit GeometryEvents(QWidget* parent) : parent_(parent) { qApp->installEventFilter(this); }
    ~GeometryEvents() override { qApp->removeEventFilter(this); }
    int count = 0;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if ((event->type() == QEvent::Move || event->type() == QEvent::Resize) && watched->parent() == parent_) ++count;
        return false;
    }

private:
    QWidget* parent_;
};

// A plain row of a fixed height, as the pages' rows are.
QWidget* plainRow() {
    auto* row = new QWidget;
    row->setFixedHeight(30);
    return row;
}

} // namespace

// Putting many rows into a card that is on screen lays it out once, not once per row (which
// made a list of n rows cost n passes of n rows); rows given again are neither remade nor moved
// in the layout's list, and the hairlines stay one fewer than the rows.
TEST(SettingsCardScale, ManyRowsAreLaidOutOnceAndKeptRowsStay) {
    QWidget window;
    auto* layout = new QVBoxLayout(&window);
    auto* card = new SettingsCard;
    layout->addWidget(card);
    window.resize(400, 300);
    window.show();
    settle();

    constexpr int kRows = 400;
    QList<QWidget*> rows;
    for (int i = 0; i < kRows; ++i) rows << plainRow();
    {
        GeometryEvents events(card);
        card->setRows(rows);
        settle();
        // Rows and hairlines: a first move and resize each, then a few passes of the whole list.
        EXPECT_LE(events.count, 10 * (2 * kRows)) << "geometry changes per child: " << events.count / (2 * kRows);
    }
    EXPECT_EQ(card->hairlineCount(), kRows - 1);

    // One row out of the middle, one new at the end: the others are the same widgets.
    QList<QWidget*> next = rows;
    QPointer<QWidget> removed = next.takeAt(kRows / 2);
    QWidget* added = plainRow();
    next << added;
    card->setRows(next);
    settle();
    EXPECT_TRUE(removed.isNull());
    EXPECT_EQ(card->hairlineCount(), kRows - 1);
    QList<QWidget*> shown;
    for (const auto& row : card->rows()) shown << row.data();
    EXPECT_EQ(shown, next);
    // The layout shows them in that order, a hairline between each two.
    EXPECT_LT(rows[kRows / 2 - 1]->y(), rows[kRows / 2 + 1]->y());
    EXPECT_EQ(rows[kRows / 2 + 1]->y() - rows[kRows / 2 - 1]->geometry().bottom(), 2); // one hairline between
    EXPECT_GT(added->y(), rows.last()->y());
}

namespace {

// The real settings window over a temporary policy folder and preference file.
class ManyPatterns : public testing::Test {
protected:
    SettingsWindowController* open(SettingsTab tab) {
        SettingsWindowOptions options;
        options.store = folders.store();
        controller = std::make_unique<SettingsWindowController>(&theme, &settings, tab, options);
        controller->present();
        settle();
        return controller.get();
    }
    PrivacyTab* privacy() const { return qobject_cast<PrivacyTab*>(controller->view()->page()); }
    QList<QWidget*> patternRows() const {
        QList<QWidget*> rows;
        for (const auto& row : privacy()->patternsCard()->rows()) rows << row.data();
        return rows;
    }
    void activate() {
        QEvent activate(QEvent::WindowActivate);
        QApplication::sendEvent(controller->window(), &activate);
        settle();
    }

    PolicyFolders folders;
    Support::UserDefaults defaults{TestSupport::makeTemporaryFolder("settings") + "/preferences.json"};
    DesktopSettings desktop;
    Theme theme{&defaults, &desktop};
    AppSettings settings{&defaults};
    std::unique_ptr<SettingsWindowController> controller;
};

} // namespace

// Every activation of the window resolves the policy again. When nothing changed, nothing is
// published and no row is made again; when one pattern changed elsewhere, only its row is.
TEST_F(ManyPatterns, ActivationRedrawsOnlyWhatChanged) {
    constexpr int kPatterns = 300;
    folders.store().setUserValue("PIIPatterns", ticketPatterns(kPatterns));
    open(SettingsTab::privacy);
    ASSERT_NE(privacy(), nullptr);
    const QList<QWidget*> before = patternRows();
    ASSERT_EQ(before.size(), kPatterns + 1); // and the "Add Pattern…" row

    QSignalSpy published(controller->view()->policySettings(), &PolicySettings::changed);
    for (int i = 0; i < 3; ++i) activate();
    EXPECT_EQ(published.count(), 0);
    EXPECT_EQ(patternRows(), before);

    // Another window makes the tenth pattern required.
    json stored = ticketPatterns(kPatterns);
    stored[9]["Action"] = "blurMandatory";
    folders.store().setUserValue("PIIPatterns", stored);
    activate();
    EXPECT_EQ(published.count(), 1);
    const QList<QWidget*> after = patternRows();
    ASSERT_EQ(after.size(), before.size());
    int remade = 0;
    for (int i = 0; i < after.size(); ++i) remade += after[i] != before[i];
    EXPECT_EQ(remade, 1);
    EXPECT_NE(after[9], before[9]);
}

// Adding one pattern to a long list makes one row; the others stay as they were.
TEST_F(ManyPatterns, AddingAPatternMakesOneRow) {
    constexpr int kPatterns = 300;
    folders.store().setUserValue("PIIPatterns", ticketPatterns(kPatterns));
    open(SettingsTab::privacy);
    const QList<QWidget*> before = patternRows();
    QTest::mouseClick(privacy()->addPatternRow(), Qt::LeftButton);
    settle();
    PatternDraftRow* draft = privacy()->draftRow();
    QTest::keyClicks(draft->nameField(), "Order");
    QTest::keyClicks(draft->expressionField(), "ORD-[0-9]{5}");
    QTest::keyClick(draft->expressionField(), Qt::Key_Return);
    settle();
    const QList<QWidget*> after = patternRows();
    ASSERT_EQ(after.size(), kPatterns + 2);
    EXPECT_EQ(after.mid(0, kPatterns), before.mid(0, kPatterns));
    EXPECT_EQ(after.last(), static_cast<QWidget*>(privacy()->addPatternRow()));
    EXPECT_EQ(folders.userValue("PIIPatterns").size(), size_t(kPatterns + 1));
}

// A managed file under 1 MB with 200000 destination strings that name nothing: the diagnostics
// window shows each distinct line once with its count, at most a fixed number of lines, in a
// callout a few lines tall that scrolls; the window fits a screen.
TEST(DiagnosticsScale, TwoHundredThousandLinesFitInAScrollingCallout) {
    PolicyFolders folders;
    json unknown = json::array();
    const std::string letters = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    for (size_t i = 0; i < 200000; ++i) {
        std::string name(1, letters[i % letters.size()]);
        if (i % 2) name += letters[(i / 62) % letters.size()];
        unknown.push_back(name);
    }
    const json managed{{"AllowedExportDestinations", unknown}};
    ASSERT_LT(managed.dump().size(), size_t(1 << 20));
    folders.setManaged(managed);
    const PolicyKit::PolicyResolution resolution = PolicyKit::EffectivePolicy::resolve(folders.store());
    ASSERT_GE(resolution.diagnostics.size(), 200000);

    // Made as the app's diagnostics window is made.
    QWidget window;
    window.setWindowTitle("Policy Diagnostics");
    auto* layout = new QVBoxLayout(&window);
    layout->setContentsMargins(0, 0, 0, 0);
    auto* view = new PolicyDiagnosticsView(resolution.policy, resolution.diagnostics);
    layout->addWidget(view);
    window.show();
    settle();

    const QList<QLabel*> lines = view->findChildren<QLabel*>("diagnosticLine");
    ASSERT_EQ(lines.size(), PolicyDiagnosticsView::kMaxCalloutLines + 1);
    const QString first = resolution.diagnostics.first();
    EXPECT_TRUE(first.contains("unknown destination")) << first.toStdString();
    EXPECT_EQ(lines.first()->text(), QString("%1 (×%2)").arg(first).arg(resolution.diagnostics.count(first)));
    EXPECT_TRUE(lines.last()->text().startsWith("…and ")) << lines.last()->text().toStdString();
    EXPECT_LE(view->findChildren<QWidget*>().size(), PolicyDiagnosticsView::kMaxCalloutLines + 100);
    EXPECT_LE(window.minimumSizeHint().height(), 600);
    EXPECT_LE(window.sizeHint().height(), 800);
    auto* scroll = view->findChild<QScrollArea*>("diagnosticsScroll");
    ASSERT_NE(scroll, nullptr);
    EXPECT_LE(scroll->height(), 120);
    EXPECT_GT(scroll->verticalScrollBar()->maximum(), 0);
    // The table below keeps its nine rows in view.
    EXPECT_GE(view->height() - (scroll->mapTo(view, QPoint(0, scroll->height())).y()), 9 * 20);
    const QString artefacts = qEnvironmentVariable("BRINDLECAST_ARTEFACTS");
    if (!artefacts.isEmpty()) window.grab().save(artefacts + "/policy-diagnostics-200000-lines.png");
}

TEST(DiagnosticsScale, CalloutLinesCollapseRepeatsCapAndCut) {
    const QString longLine = QString("x").repeated(PolicyDiagnosticsView::kMaxLineLength + 50);
    QStringList many;
    for (int i = 0; i < PolicyDiagnosticsView::kMaxCalloutLines + 5; ++i) many << QString("line %1").arg(i);
    many << "line 0";
    struct Case {
        const char* what;
        QStringList in;
        QStringList out;
    };
    const std::vector<Case> cases{
        {"none", {}, {}},
        {"distinct lines stay in order", {"b", "a", "c"}, {"b", "a", "c"}},
        {"repeats count where the line first appears", {"a", "b", "a", "a"}, {"a (×3)", "b"}},
        {"a long line is cut", {longLine}, {longLine.left(PolicyDiagnosticsView::kMaxLineLength - 1) + u'…'}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(PolicyDiagnosticsView::calloutLines(c.in), c.out);
    }
    // Past the cap: the lines shown, then how many of the resolver's lines are left out (the five
    // past the cap; the second "line 0" is counted with the first).
    const QStringList capped = PolicyDiagnosticsView::calloutLines(many);
    ASSERT_EQ(capped.size(), PolicyDiagnosticsView::kMaxCalloutLines + 1);
    EXPECT_EQ(capped.first(), "line 0 (×2)");
    EXPECT_EQ(capped.last(), "…and 5 more");
}
