// The editor's toolbar in the real editor window over the pipeline's fakes: tools and history go
// to the model, the capture's actions to its edit; the More menu, the copy feedback, the two
// pills, and screenshots of the window with its toolbar.
#include "EditorTestSupport.h"
#include "../ThemedWindow.h"

#include "BrindlecastApp/Design/Theme.h"
#include "BrindlecastApp/Design/ToolTip.h"
#include "BrindlecastApp/Editor/EditorCanvasStage.h"
#include "BrindlecastApp/Editor/EditorSidebarPane.h"
#include "BrindlecastApp/Editor/EditorToolbar.h"
#include "BrindlecastApp/Editor/FlatButton.h"
#include "BrindlecastApp/Editor/MoreMenu.h"
#include "BrindlecastApp/Editor/Popovers/BackdropPopover.h"
#include "BrindlecastApp/Editor/SidebarResizeGrip.h"
#include "BrindlecastApp/Editor/ToolbarPopover.h"
#include "BrindlecastApp/Review/EditorTextField.h"
#include "BrindlecastApp/Review/ReviewCanvasView.h"
#include "SidecarKit/SidecarStore.h"
#include "Support/UserDefaults.h"

#include <QElapsedTimer>

using namespace EditorTesting;

namespace {

// The editor harness with the window's own toolbar in its slot.
struct ToolbarHarness : EditorHarness {
    explicit ToolbarHarness(Theme* theme = nullptr) {
        EditorWindowController::Options options = Pipeline::EditorWindowPresenter::defaultOptions();
        options.revealFile = [this](const QString& path) { revealed << path; };
        presenter = std::make_shared<Pipeline::EditorWindowPresenter>(theme, [this] { return library.get(); }, options);
        h.env->editor = presenter;
    }
    EditorToolbar* toolbar() const {
        return controller() ? qobject_cast<EditorToolbar*>(controller()->view()->stage()->toolbar()) : nullptr;
    }
    ReviewViewModel& model() const { return *controller()->shownModel(); }
};

// An edit's toolbar on its own, with actions that record what they were asked.
struct LoneToolbar {
    explicit LoneToolbar(ExportKit::DestinationSet allowed = {ExportKit::DestinationKind::clipboard,
                                                              ExportKit::DestinationKind::folder}) {
        EditorToolbarActions actions;
        actions.allowedDestinations = allowed;
        actions.onCopy = [this](CopyOutcome outcome) {
            ++copies;
            pendingCopy = std::move(outcome);
        };
        actions.onDone = [this] { ++dones; };
        actions.onSettings = [this] { ++settings; };
        actions.onExportFolder = [this] { ++exports; };
        toolbar = std::make_unique<EditorToolbar>(model, actions);
        toolbar->resize(toolbar->sizeHint());
        toolbar->show();
    }
    QString copyTitle() const { return toolbar->copyButton()->title().value_or(QString()); }

    ReviewViewModel model{FakeScreen::patterned(QSize(40, 30), 3), {}, PolicyKit::EffectivePolicy(), std::nullopt, [] {}};
    std::unique_ptr<EditorToolbar> toolbar;
    int copies = 0, dones = 0, settings = 0, exports = 0;
    CopyOutcome pendingCopy;
};

// Drags the sidebar's grip sideways; the sidebar keeps within 180...340 points.
void dragSidebar(ToolbarHarness& e, int dx) {
    SidebarResizeGrip* grip = e.controller()->view()->sidebarPane()->grip();
    dragOn(grip, grip->mapToGlobal(grip->rect().center()), {QPoint(dx / 2, 0), QPoint(dx, 0)});
    settle();
}

QString artefactFolder() {
    QString path = qEnvironmentVariable("BRINDLECAST_ARTEFACTS");
    if (path.isEmpty()) path = TestSupport::makeTemporaryFolder("artefacts");
    QDir().mkpath(path);
    return path;
}

void click(QWidget* widget, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    ASSERT_NE(widget, nullptr);
    QTest::mouseClick(widget, Qt::LeftButton, modifiers, widget->rect().center());
}

// Opens the More menu of the toolbar and returns one of its rows.
MoreMenuRow* moreRow(EditorToolbar* toolbar, const QString& title) {
    if (!toolbar->morePopover()) toolbar->moreButton()->click();
    return toolbar->moreMenu() ? toolbar->moreMenu()->row(title) : nullptr;
}

} // namespace

TEST(EditorToolbar, EachToolButtonSelectsItsToolAndAloneShowsActive) {
    LoneToolbar lone;
    EditorToolbar& toolbar = *lone.toolbar;
    std::vector<std::pair<AnnotationTool, FlatToolButton*>> buttons;
    for (AnnotationTool tool : EditorToolbar::toolbarRow()) buttons.emplace_back(tool, toolbar.toolButton(tool));
    buttons.emplace_back(AnnotationTool::crop, toolbar.cropButton());
    for (const auto& [tool, button] : buttons) {
        ASSERT_NE(button, nullptr) << AnnotationTools::rawValue(tool).toStdString();
        button->click();
        EXPECT_EQ(lone.model.tool(), tool);
        for (const auto& [other, otherButton] : buttons)
            EXPECT_EQ(otherButton->isActive(), other == tool)
                << AnnotationTools::rawValue(tool).toStdString() << " / " << AnnotationTools::rawValue(other).toStdString();
        EXPECT_FALSE(toolbar.backdropButton()->isActive());
        EXPECT_EQ(button->toolTip(), tool == AnnotationTool::crop ? "Crop" : AnnotationTools::label(tool));
    }
    // A second click on crop keeps crop.
    toolbar.cropButton()->click();
    EXPECT_EQ(lone.model.tool(), AnnotationTool::crop);
    for (AnnotationTool without : {AnnotationTool::rectSelect, AnnotationTool::freeform, AnnotationTool::detectPII}) {
        lone.model.setTool(without);
        for (const auto& [tool, button] : buttons) EXPECT_FALSE(button->isActive()) << AnnotationTools::rawValue(tool).toStdString();
    }
    EXPECT_EQ(toolbar.focusPolicy(), Qt::NoFocus);
}

TEST(EditorToolbar, UndoAndRedoFollowTheModelsStacks) {
    LoneToolbar lone;
    EditorToolbar& toolbar = *lone.toolbar;
    const auto states = [&] {
        return std::tuple(toolbar.undoButton()->isEnabled(), toolbar.undoButton()->dimming(),
                          toolbar.redoButton()->isEnabled(), toolbar.redoButton()->dimming());
    };
    EXPECT_EQ(states(), std::tuple(false, 0.35, false, 0.35));
    lone.model.setAnnotations({box(Support::Rect(1, 1, 5, 5))});
    lone.model.snapshotForUndo();
    lone.model.setAnnotations({});
    EXPECT_EQ(states(), std::tuple(true, 1.0, false, 0.35));
    toolbar.undoButton()->click();
    EXPECT_EQ(lone.model.annotations().size(), 1u) << "undo went to the model";
    EXPECT_EQ(states(), std::tuple(false, 0.35, true, 1.0));
    toolbar.redoButton()->click();
    EXPECT_TRUE(lone.model.annotations().empty()) << "redo went to the model";
    toolbar.undoButton()->click();
    lone.model.snapshotForUndo(); // a new step clears the redo stack
    EXPECT_EQ(states(), std::tuple(true, 1.0, false, 0.35));
}

TEST(EditorToolbar, CopyIsDisabledAndSaysWhyWhenThePolicyForbidsTheClipboard) {
    LoneToolbar lone({ExportKit::DestinationKind::folder});
    for (FlatButton* copy : {lone.toolbar->copyButton()}) {
        EXPECT_FALSE(copy->isEnabled());
        EXPECT_EQ(copy->dimming(), 0.4);
        EXPECT_EQ(copy->toolTip(), "Clipboard export blocked by policy");
        // A disabled button still explains itself when the pointer rests on it.
        QHelpEvent help(QEvent::ToolTip, copy->rect().center(), copy->mapToGlobal(copy->rect().center()));
        QApplication::sendEvent(copy, &help);
        ASSERT_NE(ToolTip::visibleTip(), nullptr);
        EXPECT_EQ(ToolTip::visibleTip()->text(), "Clipboard export blocked by policy");
        ToolTip::hideText();
        click(copy);
    }
    EXPECT_EQ(lone.copies, 0);
    EXPECT_TRUE(lone.toolbar->doneButton()->isEnabled());
    click(lone.toolbar->doneButton());
    EXPECT_EQ(lone.dones, 1);

    LoneToolbar allowed;
    EXPECT_TRUE(allowed.toolbar->copyButton()->isEnabled());
    EXPECT_EQ(allowed.toolbar->copyButton()->dimming(), 1.0);
    EXPECT_EQ(allowed.toolbar->copyButton()->toolTip(), "Copy");
}

TEST(EditorToolbar, CopiedShowsOnlyAfterASuccessfulCopyAndResetsOneAndAHalfSecondsLater) {
    LoneToolbar lone;
    FlatButton* copy = lone.toolbar->copyButton();
    click(copy);
    ASSERT_EQ(lone.copies, 1);
    EXPECT_EQ(lone.copyTitle(), "Copy") << "nothing is shown before the copy has ended";
    lone.pendingCopy(false);
    EXPECT_EQ(lone.copyTitle(), "Copy") << "a failed copy leaves the button as it was";
    EXPECT_FALSE(lone.toolbar->justCopied());

    click(copy);
    const int width = lone.toolbar->fullPill()->sizeHint().width();
    QElapsedTimer clock;
    clock.start();
    lone.pendingCopy(true);
    EXPECT_EQ(lone.copyTitle(), "Copied!");
    EXPECT_EQ(copy->systemImage(), "checkmark");
    EXPECT_EQ(lone.toolbar->fullPill()->sizeHint().width(), width) << "the pill keeps its width";
    ASSERT_TRUE(waitUntil([&] { return !lone.toolbar->justCopied(); }, 10000));
    // A coarse timer may come up to 5% early.
    EXPECT_GE(clock.elapsed(), EditorToolbar::kCopiedResetMs * 95 / 100 - 10);
    EXPECT_EQ(lone.copyTitle(), "Copy");
    EXPECT_EQ(copy->systemImage(), "doc.on.doc");
}

// A copy may wait seconds for the capture's findings: until it ends, Copy keeps its pressed fill
// and the pointer over it is the busy arrow; its end, whatever it was, gives the button back.
TEST(EditorToolbar, ACopyThatWaitsShowsItOnCopy) {
    ThemedWindow themed;
    LoneToolbar lone;
    lone.toolbar->setParent(&themed.window);
    FlatButton* copy = lone.toolbar->copyButton();
    // A pixel of the fill, clear of the symbol and the title.
    const auto fillShown = [&] { return renderAlone(*copy).pixelColor(3, copy->height() / 2); };
    const auto same = [](const QColor& a, const QColor& b) {
        return std::abs(a.alpha() - b.alpha()) <= 2 && std::abs(a.red() - b.red()) <= 2 && std::abs(a.green() - b.green()) <= 2 &&
               std::abs(a.blue() - b.blue()) <= 2;
    };
    const QColor rest = fillShown();
    ASSERT_TRUE(same(rest, copy->fill().rest));
    for (const bool copied : {true, false}) {
        SCOPED_TRACE(copied ? "copied" : "failed");
        click(copy);
        EXPECT_TRUE(copy->isWaiting());
        EXPECT_EQ(copy->cursor().shape(), Qt::BusyCursor);
        EXPECT_TRUE(same(fillShown(), copy->fill().pressed));
        EXPECT_FALSE(same(fillShown(), rest));
        lone.pendingCopy(copied);
        EXPECT_FALSE(copy->isWaiting());
        EXPECT_EQ(copy->cursor().shape(), Qt::ArrowCursor);
        EXPECT_TRUE(same(fillShown(), rest));
    }
    // Two copies at once: the button waits until both have ended.
    click(copy);
    const CopyOutcome first = lone.pendingCopy;
    click(copy);
    first(true);
    EXPECT_TRUE(copy->isWaiting());
    lone.pendingCopy(true);
    EXPECT_FALSE(copy->isWaiting());
}

// While the findings are still looked for, Copy, Export and Copy Text would wait for them: the
// pointer over the toolbar and the strip is the busy arrow, as it is over the canvas.
TEST(EditorToolbar, ThePointerOverTheChromeIsBusyWhileTheFindingsAreLookedFor) {
    ToolbarHarness e;
    e.open("Screenshot a.png");
    e.model().setTool(AnnotationTool::arrow);
    settle();
    QWidget* strip = e.controller()->view()->stage()->styleStrip();
    const QList<QWidget*> chrome{e.toolbar()->copyButton(), e.toolbar()->moreButton(), e.toolbar()->doneButton(), strip};
    for (QWidget* widget : chrome) EXPECT_EQ(widget->cursor().shape(), Qt::ArrowCursor) << widget->objectName().toStdString();
    e.model().awaitDetections();
    for (QWidget* widget : chrome) EXPECT_EQ(widget->cursor().shape(), Qt::BusyCursor) << widget->objectName().toStdString();
    e.model().receiveDetections(std::vector<Detection>{});
    for (QWidget* widget : chrome) EXPECT_EQ(widget->cursor().shape(), Qt::ArrowCursor) << widget->objectName().toStdString();
}

// Resets are never cancelled: the first copy's reset clears the second copy's feedback too.
TEST(EditorToolbar, TwoCopiesASecondApartAreClearedByTheFirstReset) {
    LoneToolbar lone;
    click(lone.toolbar->copyButton());
    lone.pendingCopy(true);
    QTest::qWait(1000);
    click(lone.toolbar->copyButton());
    QElapsedTimer sinceSecond;
    sinceSecond.start();
    lone.pendingCopy(true);
    ASSERT_TRUE(lone.toolbar->justCopied());
    ASSERT_TRUE(waitUntil([&] { return !lone.toolbar->justCopied(); }, 10000));
    // The second copy's own reset cannot come before 1.5 s after it.
    EXPECT_LT(sinceSecond.elapsed(), EditorToolbar::kCopiedResetMs);
}

TEST(EditorToolbar, ThePreviewsCopyReportsNothing) {
    ToolbarHarness e;
    auto model = std::make_shared<ReviewViewModel>(FakeScreen::patterned(QSize(40, 30), 1), std::vector<Detection>{},
                                                   e.h.policy, std::nullopt, [] {});
    e.presenter->presentPreview(model, "Preview", nullptr);
    ASSERT_NE(e.toolbar(), nullptr);
    click(e.toolbar()->copyButton());
    settle();
    EXPECT_FALSE(e.toolbar()->justCopied());
    EXPECT_EQ(e.h.clipboard->copies, 0);
}

TEST(EditorToolbar, CopyThroughThePipelineShowsCopiedOnlyWhenTheClipboardGotTheImage) {
    ToolbarHarness e;
    e.open("Screenshot a.png");
    ASSERT_NE(e.toolbar(), nullptr);
    click(e.toolbar()->copyButton());
    ASSERT_TRUE(waitUntil([&] { return e.toolbar()->justCopied(); }));
    EXPECT_EQ(e.h.clipboard->copies, 1);
    EXPECT_EQ(e.h.clipboard->type, "image/png");

    // The organisation took the clipboard away after the editor opened: the export fails.
    ToolbarHarness f;
    f.open("Screenshot b.png");
    f.h.policy.allowedExportDestinations = {PolicyKit::ExportDestination::folder};
    click(f.toolbar()->copyButton());
    ASSERT_TRUE(waitUntil([&] { return !f.h.alerts->shown.empty(); }));
    EXPECT_EQ(f.h.alerts->shown[0].message, "Export failed");
    settle();
    EXPECT_FALSE(f.toolbar()->justCopied());
    EXPECT_EQ(f.toolbar()->copyButton()->title(), "Copy");
}

TEST(EditorToolbar, NoResetRunsAfterALoadReplacedTheToolbar) {
    ToolbarHarness e;
    e.open("Screenshot a.png");
    QPointer<EditorToolbar> first = e.toolbar();
    click(first->copyButton());
    ASSERT_TRUE(waitUntil([&] { return first && first->justCopied(); }));
    e.open("Screenshot b.png");
    settle();
    EXPECT_TRUE(first.isNull()) << "the replaced toolbar went with its view";
    ASSERT_NE(e.toolbar(), nullptr);
    EXPECT_FALSE(e.toolbar()->justCopied());
    QTest::qWait(EditorToolbar::kCopiedResetMs + 300); // the replaced toolbar's reset would have come
    EXPECT_EQ(e.toolbar()->copyButton()->title(), "Copy");
}

TEST(EditorToolbar, SettingsAndDoneRunTheCapturesActions) {
    ToolbarHarness e;
    const QString path = e.open("Screenshot a.png");
    e.model().setAnnotations({box(Support::Rect(2, 2, 20, 20))});
    click(e.toolbar()->settingsButton());
    EXPECT_EQ(e.h.host->settingsShown, 1);
    click(e.toolbar()->doneButton());
    settle();
    EXPECT_FALSE(e.presenter->isShowing()) << "Done closes the window";
    EXPECT_TRUE(SidecarKit::SidecarStore::load(path).found) << "Done stored the annotations";
}

TEST(EditorToolbar, MoreMenuRowsCloseTheMenuThenRunTheirAction) {
    ToolbarHarness e;
    const QString path = e.open("Screenshot a.png");
    EditorToolbar* toolbar = e.toolbar();
    ASSERT_NE(toolbar, nullptr);

    click(moreRow(toolbar, "Show in Files"));
    EXPECT_EQ(e.revealed, QStringList{path});
    settle();
    EXPECT_EQ(toolbar->morePopover(), nullptr) << "the row closed the menu";

    const int listed = e.h.host->additions;
    click(moreRow(toolbar, "Export to Folder"));
    EXPECT_TRUE(waitUntil([&] { return e.h.host->additions > listed; })) << "the folder export ran";

    // Shift held during the click: no question asked.
    e.h.alerts->answer = false;
    click(moreRow(toolbar, "Delete Screenshot"));
    EXPECT_TRUE(waitUntil([&] { return e.h.alerts->asked.size() == 1; }));
    EXPECT_TRUE(QFile::exists(path)) << "the user said no";
    settle();
    click(moreRow(e.toolbar(), "Delete Screenshot"), Qt::ShiftModifier);
    EXPECT_TRUE(waitUntil([&] { return !e.h.trash->moved.isEmpty(); }));
    EXPECT_EQ(e.h.alerts->asked.size(), 1u);
    EXPECT_EQ(e.h.trash->moved.value(0), path);
}

TEST(EditorToolbar, FlattenImageBurnsTheAnnotationsInAndReopensTheCapture) {
    ToolbarHarness e;
    const QString path = e.open("Screenshot a.png");
    e.model().setAnnotations({box(Support::Rect(10, 10, 60, 40), 6)});
    const QImage before(path);
    click(moreRow(e.toolbar(), "Flatten Image"));
    ASSERT_TRUE(waitUntil([&] { return QImage(path) != before; })) << "the annotations are not in the pixels";
    EXPECT_TRUE(waitUntil([&] { return e.presenter->currentEdit() && e.model().annotations().empty(); }))
        << "the flattened capture was opened again";
    EXPECT_TRUE(e.h.log->errors().isEmpty()) << e.h.log->errors().join("|").toStdString();
}

TEST(EditorToolbar, CopyExportAndFlattenTakeTheTextBeingTyped) {
    for (const QString& action : {QString("Copy"), QString("Export to Folder"), QString("Flatten Image")}) {
        ToolbarHarness e;
        e.open("Screenshot a.png");
        ReviewCanvasView* canvas = e.controller()->canvas();
        e.model().setTool(AnnotationTool::text);
        QTest::mouseClick(canvas, Qt::LeftButton, Qt::NoModifier, canvas->rect().center());
        ASSERT_NE(canvas->textEditor(), nullptr);
        QTest::keyClicks(canvas->textEditor(), "typed");
        ASSERT_TRUE(e.model().annotations().empty());
        if (action == "Copy") click(e.toolbar()->copyButton());
        else click(moreRow(e.toolbar(), action));
        EXPECT_EQ(canvas->textEditor(), nullptr) << action.toStdString();
        ASSERT_EQ(e.model().annotations().size(), 1u) << action.toStdString() << ": the typed text went in first";
    }
}

TEST(EditorToolbar, ExportToFolderIsDisabledWhenThePolicyForbidsTheFolder) {
    ToolbarHarness e;
    e.h.policy.allowedExportDestinations = {PolicyKit::ExportDestination::clipboard};
    e.open("Screenshot a.png");
    MoreMenuRow* row = moreRow(e.toolbar(), "Export to Folder");
    ASSERT_NE(row, nullptr);
    EXPECT_FALSE(row->isRowEnabled());
    QEnterEvent enter(QPointF(5, 5), QPointF(5, 5), QPointF(5, 5));
    QApplication::sendEvent(row, &enter);
    EXPECT_EQ(row->fill(), QColor(Qt::transparent)) << "no hover on a disabled row";
    const int listed = e.h.host->additions;
    click(row);
    settle();
    EXPECT_NE(e.toolbar()->morePopover(), nullptr) << "the menu stays open";
    EXPECT_EQ(e.h.host->additions, listed);
    EXPECT_TRUE(e.h.log->errors().isEmpty());
    // The other rows, and the toolbar, are as ever.
    EXPECT_TRUE(e.toolbar()->moreMenu()->row("Flatten Image")->isRowEnabled());
    EXPECT_TRUE(e.toolbar()->copyButton()->isEnabled());
    MoreMenuRow* remove = e.toolbar()->moreMenu()->row("Delete Screenshot");
    EXPECT_TRUE(remove->isDestructive());
    EXPECT_EQ(remove->shortcutHint(), "Ctrl+Backspace");
    EXPECT_FALSE(e.toolbar()->moreMenu()->row("Flatten Image")->shortcutHint());
}

TEST(EditorToolbar, AnOpenMenuClosedByALoadRunsNothing) {
    ToolbarHarness e;
    e.open("Screenshot a.png");
    QPointer<MoreMenuRow> row = moreRow(e.toolbar(), "Delete Screenshot");
    QPointer<ToolbarPopover> menu = e.toolbar()->morePopover();
    ASSERT_TRUE(row && menu);
    e.toolbar()->backdropButton()->click();
    QPointer<ToolbarPopover> backdrop = e.toolbar()->backdropPopover();
    e.open("Screenshot b.png");
    EXPECT_TRUE(!menu || !menu->isVisible());
    EXPECT_TRUE(!backdrop || !backdrop->isVisible());
    settle();
    EXPECT_TRUE(row.isNull() && menu.isNull() && backdrop.isNull()) << "the popovers went with their toolbar";
    EXPECT_TRUE(e.h.trash->moved.isEmpty());
    EXPECT_TRUE(e.h.alerts->asked.empty());
}

TEST(EditorToolbar, TheBackdropButtonTogglesItsPopoverAndNeverShowsActive) {
    ToolbarHarness e;
    e.open("Screenshot a.png");
    EditorToolbar* toolbar = e.toolbar();
    toolbar->backdropButton()->click();
    ASSERT_NE(toolbar->backdropPopover(), nullptr);
    EXPECT_TRUE(toolbar->backdropPopover()->isVisible());
    EXPECT_FALSE(toolbar->backdropButton()->isActive());
    // Below its button.
    const QPoint button = toolbar->backdropButton()->mapToGlobal(QPoint(0, toolbar->backdropButton()->height()));
    EXPECT_GT(toolbar->backdropPopover()->geometry().top(), button.y());
    // It holds the backdrop controls of the capture shown: a preset chosen there is its backdrop.
    auto* controls = toolbar->backdropPopover()->findChild<BackdropPopover*>();
    ASSERT_NE(controls, nullptr);
    ASSERT_EQ(e.model().backdrop(), ExportKit::Backdrop::none());
    QTest::mouseClick(controls->presetTile(1), Qt::LeftButton);
    EXPECT_TRUE(std::holds_alternative<ExportKit::Backdrop::Gradient>(e.model().backdrop().style));
    toolbar->backdropButton()->click();
    settle();
    EXPECT_EQ(toolbar->backdropPopover(), nullptr);
}

// A press on the More button while its menu is open closes the menu, and the press is not handed
// on to the button to open it again.
TEST(EditorToolbar, ThePressThatClosesAMenuOnItsButtonDoesNotReopenIt) {
    ToolbarHarness e;
    e.open("Screenshot a.png");
    EditorToolbar* toolbar = e.toolbar();
    e.window()->show();
    QApplication::setActiveWindow(e.window());
    click(toolbar->moreButton());
    ASSERT_NE(toolbar->morePopover(), nullptr);
    ASSERT_EQ(QApplication::activePopupWidget(), toolbar->morePopover());
    QWindow* window = e.window()->windowHandle();
    const QPoint at = toolbar->moreButton()->mapTo(e.window(), toolbar->moreButton()->rect().center());
    QTest::mousePress(window, Qt::LeftButton, Qt::NoModifier, at);
    QTest::mouseRelease(window, Qt::LeftButton, Qt::NoModifier, at);
    settle();
    EXPECT_EQ(toolbar->morePopover(), nullptr);
    EXPECT_EQ(QApplication::activePopupWidget(), nullptr);
}

TEST(EditorToolbar, NarrowingTheCanvasSwitchesToTheCompactPillAndBack) {
    ToolbarHarness e;
    e.open("Screenshot a.png");
    EditorWindowChrome* window = e.window();
    window->show();
    window->resize(1180, 760);
    settle();
    EditorToolbar* toolbar = e.toolbar();
    dragSidebar(e, -300);
    EXPECT_FALSE(toolbar->isCompact()) << "the full pill fits the narrowest window with a narrow sidebar";
    ASSERT_EQ(toolbar->copyButton()->title(), "Copy");

    // The widest sidebar leaves the canvas too narrow for the full pill.
    dragSidebar(e, 300);
    ASSERT_LT(e.controller()->view()->stage()->width() - 24, toolbar->fullPill()->sizeHint().width());
    EXPECT_TRUE(toolbar->isCompact());
    EXPECT_FALSE(toolbar->copyButton()->title());
    EXPECT_FALSE(toolbar->doneButton()->title());
    EXPECT_EQ(toolbar->doneButton()->systemImage(), "checkmark");

    window->resize(1400, 760);
    settle();
    EXPECT_FALSE(toolbar->isCompact());
    EXPECT_EQ(toolbar->doneButton()->title(), "Done");
    window->resize(1180, 760);
    settle();
    EXPECT_TRUE(toolbar->isCompact());
}

TEST(EditorToolbar, TheCompactPillShrinksAsAWholeWhereEvenItDoesNotFit) {
    LoneToolbar lone;
    EditorToolbar& toolbar = *lone.toolbar;
    const int natural = toolbar.minimumSizeHint().width();
    ASSERT_LT(natural, toolbar.fullPill()->sizeHint().width());
    // Widths of the toolbar: the compact pill at its own size, then narrower (a 960-point-wide
    // window's canvas with the default and the widest sidebar, and far narrower).
    for (const int width : {natural + 5, natural, natural - 1, 716, 588, 300}) {
        SCOPED_TRACE(width);
        toolbar.resize(width, toolbar.heightForWidth(width));
        settle();
        ASSERT_TRUE(toolbar.isCompact());
        const double scale = toolbar.pillScale();
        EXPECT_NEAR(scale, std::min(1.0, double(width) / natural), 0.001);
        // The pill lies wholly in the toolbar, its padding below it kept, every control in it
        // side by side without overlap, each at the pill's scale.
        const QRect pill = toolbar.pill()->geometry();
        EXPECT_TRUE(toolbar.rect().contains(pill)) << pill.x() << " " << pill.width() << " in " << toolbar.width();
        EXPECT_EQ(toolbar.height(), pill.bottom() + 1 + EditorToolbar::kPadding);
        QList<QAbstractButton*> controls = toolbar.pill()->findChildren<QAbstractButton*>();
        ASSERT_EQ(controls.size(), 18);
        std::sort(controls.begin(), controls.end(), [](auto* a, auto* b) { return a->x() < b->x(); });
        for (int i = 0; i < controls.size(); ++i) {
            EXPECT_TRUE(toolbar.pill()->rect().contains(controls[i]->geometry())) << i;
            EXPECT_LE(controls[i]->height(), int(34 * scale)) << i;
            if (i > 0) {
                EXPECT_LE(controls[i - 1]->geometry().right(), controls[i]->x()) << i;
            }
        }
        // The shrunk buttons still take their clicks where they are drawn.
        QTest::mouseClick(toolbar.toolButton(AnnotationTool::text), Qt::LeftButton, Qt::NoModifier,
                          toolbar.toolButton(AnnotationTool::text)->rect().center());
        EXPECT_EQ(lone.model.tool(), AnnotationTool::text);
        lone.model.setTool(AnnotationTool::select);
    }
    // Room for the full pill again: nothing of it is shrunk.
    toolbar.resize(toolbar.sizeHint());
    settle();
    EXPECT_FALSE(toolbar.isCompact());
    EXPECT_EQ(toolbar.pillScale(), 1);
    EXPECT_EQ(toolbar.cropButton()->size(), FlatToolButton::kSize);
}

TEST(EditorToolbar, ScreenshotsOfTheEditorWithItsToolbar) {
    for (const bool dark : {false, true}) {
        Support::UserDefaults store(TestSupport::makeTemporaryFolder("theme") + "/preferences.json");
        Theme theme(&store);
        theme.setMode(dark ? ThemeMode::dark : ThemeMode::light);
        ToolbarHarness e(&theme);
        e.open("Screenshot a.png");
        e.model().setTool(AnnotationTool::arrow);
        EditorWindowChrome* window = e.window();
        window->resize(1180, 760);
        dragSidebar(e, -300);
        EXPECT_FALSE(e.toolbar()->isCompact());
        const QString scheme = dark ? "dark" : "light";
        ASSERT_TRUE(window->grab().toImage().save(artefactFolder() + "/editor-toolbar-full-" + scheme + ".png"));

        dragSidebar(e, 300);
        EXPECT_TRUE(e.toolbar()->isCompact());
        ASSERT_TRUE(window->grab().toImage().save(artefactFolder() + "/editor-toolbar-compact-" + scheme + ".png"));

        e.toolbar()->moreButton()->click();
        ASSERT_NE(e.toolbar()->morePopover(), nullptr);
        settle();
        ASSERT_TRUE(e.toolbar()->morePopover()->grab().toImage().save(artefactFolder() + "/editor-more-menu-" + scheme + ".png"));
        e.toolbar()->morePopover()->close();
        e.presenter.reset();
        settle();
    }
}

TEST(EditorToolbar, MoreMenuRowsTintOnHoverAndDeleteIsRed) {
    for (const bool dark : {false, true}) {
        ThemedWindow themed(dark ? ThemeMode::dark : ThemeMode::light);
        MoreMenuPanel panel({}, &themed.window);
        MoreMenuRow* flatten = panel.row("Flatten Image");
        ASSERT_NE(flatten, nullptr);
        EXPECT_EQ(flatten->fill(), QColor(Qt::transparent));
        QEnterEvent enter(QPointF(5, 5), QPointF(5, 5), QPointF(5, 5));
        QApplication::sendEvent(flatten, &enter);
        EXPECT_EQ(flatten->fill(), dark ? Design::white(0.16) : Design::black(0.10));
        EXPECT_EQ(flatten->foreground(), themed.theme.tokens().primaryText());
        const QColor red = panel.row("Delete Screenshot")->foreground();
        EXPECT_GT(red.red(), 240);
        EXPECT_LT(red.green(), 80);
        EXPECT_EQ(panel.width(), std::max(200, panel.row("Delete Screenshot")->sizeHint().width() + 16));
        EXPECT_EQ(flatten->height(), 28);
    }
}
