#include "EditorTestSupport.h"

#include "BrindlecastApp/Pipeline/LibraryFiles.h"
#include "BrindlecastApp/Review/EditorTextField.h"
#include "BrindlecastApp/Review/ReviewCanvasView.h"
#include "BrindlecastApp/Shell/EditMenu.h"
#include "SidecarKit/SidecarStore.h"

#include <QDir>
#include <QScreen>

#include <gtest/gtest.h>

using namespace EditorTesting;
using SidecarKit::Annotation;
namespace SidecarStore = SidecarKit::SidecarStore;

namespace {

std::vector<Annotation> storedAnnotations(const QString& path) {
    const auto stored = SidecarStore::load(path);
    return stored.found ? stored.found->document.annotations : std::vector<Annotation>{};
}

// Removes the stored annotations, so that a second store would show as a new file.
void forgetStore(const QString& path) { QFile::remove(Pipeline::sidecarPath(path)); }
bool stored(const QString& path) { return QFile::exists(Pipeline::sidecarPath(path)); }

QStringList texts(const std::vector<Annotation>& annotations) {
    QStringList found;
    for (const Annotation& annotation : annotations)
        if (const auto* text = std::get_if<Annotation::Text>(&annotation.kind)) found << text->string;
    return found;
}

} // namespace

TEST(EditorWindow, DoneStoresOnceAndClosesWithoutASecondStore) {
    EditorHarness e;
    const QString path = e.open("Screenshot a.png");
    ASSERT_TRUE(e.presenter->isShowing());
    e.presenter->shownModel()->setAnnotations({box(Support::Rect(10, 10, 40, 30))});
    e.controller()->done();
    EXPECT_EQ(storedAnnotations(path).size(), 1u);
    EXPECT_FALSE(e.presenter->isShowing());
    EXPECT_FALSE(e.window()->isVisible());
    EXPECT_EQ(e.presenter->currentEdit(), nullptr);

    forgetStore(path);
    Pipeline::persistOpenEditBeforeQuit(e.h.env);
    settle();
    EXPECT_FALSE(stored(path)) << "the close after Done stored again";
}

// A store that fails (a folder in the way of the annotation file) keeps the window open and asks;
// Retry stores and closes it once the cause is gone (a Retry that fails too asks again), Discard
// closes it storing nothing. Through Done and through closing the window alike.
TEST(EditorWindow, AFailedStoreKeepsTheWindowOpenUntilTheUserRetriesOrDiscards) {
    struct Row {
        const char* name;
        bool viaDone;
        bool retry;
        int failedRetries;
    };
    for (const Row& row : {Row{"Done, Retry", true, true, 0}, Row{"Done, Discard", true, false, 0},
                           Row{"close, Retry", false, true, 1}, Row{"close, Discard", false, false, 0}}) {
        SCOPED_TRACE(row.name);
        EditorHarness e;
        const QString path = e.open("Screenshot a.png");
        e.presenter->shownModel()->setAnnotations({box(Support::Rect(10, 10, 40, 30))});
        ASSERT_TRUE(QDir().mkpath(Pipeline::sidecarPath(path)));
        if (row.viaDone) {
            e.controller()->done();
        } else {
            e.window()->close();
        }
        EXPECT_TRUE(e.presenter->isShowing());
        EXPECT_TRUE(e.window()->isVisible());
        EXPECT_TRUE(e.h.alerts->asked.empty()) << "asked inside the click or the close";

        e.h.alerts->answer = row.retry;
        for (int i = 0; i < row.failedRetries; ++i) {
            QCoreApplication::processEvents();
            EXPECT_TRUE(e.window()->isVisible());
        }
        ASSERT_TRUE(QDir().rmdir(Pipeline::sidecarPath(path)));
        settle();
        ASSERT_EQ(e.h.alerts->asked.size(), size_t(row.failedRetries + 1));
        const Pipeline::AlertPresenter::Confirmation& asked = e.h.alerts->asked.back();
        EXPECT_EQ(asked.message, "Annotations could not be saved");
        EXPECT_TRUE(asked.informativeText.endsWith(" The annotations of Screenshot a.png were not saved."))
            << asked.informativeText.toStdString();
        EXPECT_EQ(asked.confirmTitle, "Retry");
        EXPECT_EQ(asked.cancelTitle, "Discard");
        EXPECT_FALSE(e.presenter->isShowing());
        EXPECT_EQ(storedAnnotations(path).size(), row.retry ? 1u : 0u);
    }
}

// The canvas keeps no history of its own: Edit > Undo and Redo reach the model the window shows.
TEST(EditorWindow, UndoAndRedoFromTheEditMenuReachTheShownCapture) {
    EditMenu edit;
    EditorHarness e;
    e.open("Screenshot a.png");
    ReviewViewModel* model = e.presenter->shownModel();
    model->addAnnotation(box(Support::Rect(10, 10, 40, 30)).kind);
    e.window()->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(e.window()));
    ReviewCanvasView* canvas = e.controller()->canvas();
    canvas->setFocus();
    model->undo();
    ASSERT_TRUE(model->annotations().empty());

    // Each of the desktop's keys for redo and undo.
    for (const QKeySequence& redo : QKeySequence::keyBindings(QKeySequence::Redo)) {
        QTest::keySequence(e.window(), redo);
        EXPECT_EQ(model->annotations().size(), 1u) << redo.toString().toStdString() << " did not bring the box back";
        QTest::keySequence(e.window(), QKeySequence("Ctrl+Z"));
        EXPECT_TRUE(model->annotations().empty()) << "Ctrl+Z did not take it away again";
    }

    // Delete keys stay the canvas's, Shift+Delete (a cut on many desktops) included.
    QTest::keySequence(e.window(), QKeySequence("Ctrl+Shift+Z"));
    ASSERT_EQ(model->annotations().size(), 1u);
    model->setSelectedAnnotationIDs({model->annotations().front().id});
    QTest::keyClick(canvas, Qt::Key_Delete, Qt::ShiftModifier);
    EXPECT_TRUE(model->annotations().empty()) << "Shift+Delete did not delete the selected box";
}

TEST(EditorWindow, ClosingStoresOnceWithTheTextBeingTyped) {
    EditorHarness e;
    const QString path = e.open("Screenshot a.png");
    ReviewCanvasView* canvas = e.controller()->canvas();
    canvas->openTextEditor(Support::Point(20, 20), "Typed before closing", 20, std::nullopt);
    e.window()->close();
    EXPECT_EQ(texts(storedAnnotations(path)), QStringList{"Typed before closing"});

    forgetStore(path);
    e.presenter->close();
    Pipeline::persistOpenEdit(e.h.env);
    EXPECT_FALSE(stored(path));
}

TEST(EditorWindow, ANewCaptureLoadsIntoTheWindowAndStoresThePreviousOnceWithItsText) {
    EditorHarness e;
    const QString first = e.open("Screenshot a.png");
    EditorWindowController* controller = e.controller();
    EditorWindowChrome* window = e.window();
    window->move(40, 30);
    window->resize(1300, 800);
    const QRect geometry = window->geometry();
    e.controller()->canvas()->openTextEditor(Support::Point(20, 20), "typed when the hot key came", 20, std::nullopt);
    const std::weak_ptr<Pipeline::EditSession> firstEdit = e.presenter->currentEdit();

    const QString second = e.open("Screenshot b.png");
    EXPECT_EQ(e.controller(), controller);
    EXPECT_EQ(e.window(), window);
    EXPECT_EQ(window->geometry(), geometry) << "the window keeps its size and place";
    EXPECT_EQ(window->windowTitle(), "Screenshot b.png");
    EXPECT_EQ(e.presenter->currentEdit()->path(), second);
    EXPECT_EQ(texts(storedAnnotations(first)), QStringList{"typed when the hot key came"});
    ASSERT_TRUE(controller->sidebarSession().entry());
    EXPECT_EQ(controller->sidebarSession().entry()->path(), second);

    // The first capture's views go on the next turn, and its edit only after them; nothing
    // stores it again.
    forgetStore(first);
    EXPECT_FALSE(firstEdit.expired()) << "its views still show it";
    settle();
    EXPECT_EQ(window->findChildren<EditorView*>().size(), 1);
    EXPECT_TRUE(firstEdit.expired());
    window->close();
    EXPECT_FALSE(stored(first));
    EXPECT_TRUE(stored(second));
}

TEST(EditorWindow, AMinimisedWindowTakesTheNextCaptureAndComesBack) {
    EditorHarness e;
    e.open("Screenshot a.png");
    EditorWindowController* controller = e.controller();
    e.window()->showMinimized();
    ASSERT_TRUE(e.window()->isMinimized());
    EXPECT_TRUE(e.presenter->isShowing());

    const QString second = e.open("Screenshot b.png");
    EXPECT_EQ(e.controller(), controller) << "no second window";
    EXPECT_FALSE(e.window()->isMinimized());
    EXPECT_TRUE(e.window()->isVisible());
    EXPECT_EQ(e.presenter->currentEdit()->path(), second);
    EXPECT_TRUE(stored(e.h.libraryFolder + "/Screenshot a.png"));
}

TEST(EditorWindow, AfterACloseTheNextCaptureOpensANewCentredWindow) {
    EditorHarness e;
    e.open("Screenshot a.png");
    e.window()->move(10, 10);
    e.window()->close();
    e.open("Screenshot b.png");
    ASSERT_TRUE(e.presenter->isShowing());
    EditorWindowChrome* window = e.window();
    EXPECT_EQ(window->size(), EditorWindowController::kInitialContentSize);
    const QPoint centre = window->screen()->availableGeometry().center();
    EXPECT_LE((window->geometry().center() - centre).manhattanLength(), 2);
}

TEST(EditorWindow, TheContentNeverShrinksBelowTheFloor) {
    EditorHarness e;
    e.open("Screenshot a.png");
    e.window()->resize(800, 500);
    EXPECT_GE(e.window()->width(), 1180);
    EXPECT_GE(e.window()->height(), 700);

    struct Case {
        QRectF frame;
        std::optional<QRectF> corrected;
    };
    const Case cases[] = {
        {{50, 60, 1180, 700}, std::nullopt},
        {{50, 60, 1179.6, 699.6}, std::nullopt}, // within half a point
        {{50, 60, 1179.4, 760}, QRectF(50, 60, 1180, 760)},
        {{50, 60, 1300, 699.4}, QRectF(50, 60, 1300, 700)},
        {{-20, 5, 900, 400}, QRectF(-20, 5, 1180, 700)}, // left and top edges stay
    };
    for (const Case& c : cases) EXPECT_EQ(EditorWindowController::floorCorrected(c.frame), c.corrected) << c.frame.width();
}

TEST(EditorWindow, TheToolbarSlotGetsTheCapturesActionsUnderItsPolicy) {
    EditorHarness e;
    e.h.policy.allowedExportDestinations = {PolicyKit::ExportDestination::folder};
    const QString path = e.open("Screenshot a.png");
    ASSERT_TRUE(e.toolbarActions);
    const EditorToolbarActions actions = *e.toolbarActions;
    EXPECT_EQ(actions.allowedDestinations, ExportKit::DestinationSet{ExportKit::DestinationKind::folder});

    actions.onCopy(nullptr);
    EXPECT_EQ(e.h.clipboard->copies, 0) << "the clipboard is not allowed";
    const int listed = e.h.host->additions;
    actions.onExportFolder();
    EXPECT_TRUE(waitUntil([&] { return e.h.host->additions > listed; })) << "the folder export ran";
    actions.onShowInFinder();
    EXPECT_EQ(e.revealed, QStringList{path});
    actions.onSettings();
    EXPECT_EQ(e.h.host->settingsShown, 1);

    // A capture without a file reveals nothing.
    e.controller()->forgetPendingStore();
    EditorContent content;
    auto model = std::make_shared<ReviewViewModel>(FakeScreen::patterned(QSize(20, 20), 1), std::vector<Detection>{},
                                                   e.h.policy, std::nullopt, [] {});
    content.viewModel = model.get();
    content.owner = model;
    content.filename = "Untitled";
    e.controller()->load(content);
    e.controller()->reveal();
    EXPECT_EQ(e.revealed.size(), 1);
    EXPECT_FALSE(e.controller()->sidebarSession().entry());
}
