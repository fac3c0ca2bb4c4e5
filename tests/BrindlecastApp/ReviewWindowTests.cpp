#include "BrindlecastApp/Design/Theme.h"
#include "BrindlecastApp/Design/ThemedRoot.h"
#include "BrindlecastApp/Design/ToolTip.h"
#include "BrindlecastApp/Design/Window/EditorWindowChrome.h"
#include "BrindlecastApp/Design/Window/ScreenPlacement.h"
#include "BrindlecastApp/Design/Window/TrafficLightButton.h"
#include "BrindlecastApp/Review/EditorTextField.h"
#include "BrindlecastApp/Review/ReviewShellView.h"
#include "BrindlecastApp/Review/ReviewWindowController.h"
#include "BrindlecastApp/Review/ShellControls.h"
#include "BrindlecastApp/Review/Color.h"
#include "BrindlecastApp/Review/StyleInspector.h"
#include "BrindlecastApp/Shell/EditMenu.h"
#include "BrindlecastApp/Shell/ReviewPreview.h"

#include "CanvasTestSupport.h"
#include "Support/UserDefaults.h"

#include <QAction>
#include <QApplication>
#include <QColorDialog>
#include <QSlider>
#include <QSet>

#include <gtest/gtest.h>

using namespace BrindlecastApp;
using namespace CanvasTesting;

namespace {

QImage recordImage() { return ReviewPreview::syntheticScreenshot(); }

std::vector<Detection> recordDetections() {
    using DetectionKit::PatternAction;
    // Boxes of the sizes detections have; where they lie does not matter here.
    return {detected(PatternAction::blurMandatory, Rect(228, 382, 136, 28), "512-44-9087"),
            detected(PatternAction::blurSuggested, Rect(252, 318, 304, 28), "ada.pemberton@example.org"),
            detected(PatternAction::blurSuggested, Rect(336, 510, 232, 28), "4111 1111 1111 1111"),
            detected(PatternAction::blurSuggested, Rect(252, 446, 172, 28), "(415) 555-0143")};
}

// One review: its decisions are counted.
struct Review {
    explicit Review(QImage image = recordImage(), std::vector<Detection> detections = recordDetections(),
                    PolicyKit::EffectivePolicy policy = PolicyKit::EffectivePolicy::safeDefaults(),
                    std::vector<Annotation> seed = {}, Theme* theme = nullptr) {
        ReviewWindowOptions options;
        options.theme = theme;
        options.environment = ReviewViewModel::Environment{1.0, [](const QImage&, const std::vector<DetectionKit::PatternInput>&) {
                                                               return std::vector<Detection>{};
                                                           }};
        controller = ReviewWindowController::present(image, detections, policy, seed, [] {},
                                                      [this](const ReviewDecision& d) { decisions.push_back(d); }, options);
        window = controller->window();
        shell = controller->shell();
        QApplication::processEvents();
    }
    ~Review() {
        if (window) window->close();
        QApplication::processEvents();
    }
    QPointer<ReviewWindowController> controller;
    QPointer<EditorWindowChrome> window;
    QPointer<ReviewShellView> shell;
    std::vector<ReviewDecision> decisions;
};

} // namespace

// The grabs are kept for a person to look at; the shell is dark in both schemes.
TEST(ReviewWindow, PreviewScreenshotsInBothSchemesAreNotBlank) {
    const QString folder = artefactsFolder();
    const std::vector<Detection> previewDetections = ReviewPreview::detections(recordImage());
    EXPECT_GE(previewDetections.size(), 4u);
    for (bool dark : {false, true}) {
        Support::UserDefaults defaults(TestSupport::makeTemporaryFolder("review") + "/preferences.json");
        Theme theme(&defaults);
        theme.setMode(dark ? ThemeMode::dark : ThemeMode::light);
        // What "--preview-review" shows: the sample record, its findings and the three seeds.
        const QImage image = recordImage();
        Review review(image, previewDetections, PolicyKit::EffectivePolicy::safeDefaults(), ReviewPreview::seedAnnotations(image), &theme);
        ASSERT_TRUE(review.window);
        EXPECT_EQ(review.window->windowTitle(), "Review & Export");
        QTest::qWait(50);
        const QImage grab = review.window->grab().toImage();
        const QString path = folder + (dark ? "/review-window-dark.png" : "/review-window-light.png");
        ASSERT_TRUE(grab.save(path, "PNG")) << path.toStdString();
        QSet<QRgb> colours;
        for (int y = 0; y < grab.height(); y += 3)
            for (int x = 0; x < grab.width(); x += 3) colours.insert(grab.pixel(x, y));
        EXPECT_GT(colours.size(), 200) << "a blank or nearly blank review window";
    }
}

namespace {

void settle() {
    QApplication::processEvents();
    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QApplication::processEvents();
}

QString decisionName(const ReviewDecision& d) {
    if (d.isCancel()) return "cancel";
    const auto& e = std::get<ReviewDecision::Export>(d.value);
    return e.destination == ExportKit::DestinationKind::clipboard ? "clipboard" : "folder";
}

void key(QWidget* target, int key) {
    QKeyEvent event(QEvent::KeyPress, key, {});
    QApplication::sendEvent(target, &event);
}

} // namespace

TEST(ReviewWindow, ContentSizeFollowsTheImage) {
    const std::pair<QSize, QSizeF> cases[] = {{{1200, 800}, {640, 510}}, {{3000, 2000}, {1000, 700}}, {{1001, 590}, {540.5, 405}}};
    for (const auto& [pixels, content] : cases) {
        EXPECT_EQ(ReviewWindowController::contentSize(pixels), content);
        // The window asks for that size, but is never smaller than its minimum, nor larger than
        // the screen's work area (this screen is 800 points square).
        Review review(stripedImage(pixels.width(), pixels.height()), {});
        const QSize asked(int(std::ceil(content.width())), int(std::ceil(content.height())));
        EXPECT_EQ(review.window->size(), ScreenPlacement::fitted(asked.expandedTo(review.window->minimumSize()),
                                                                 QGuiApplication::primaryScreen()->availableGeometry()));
    }
}

TEST(ReviewWindow, SeedsAreShownWithTheFirstSelected) {
    const auto seed = ReviewPreview::seedAnnotations(recordImage());
    Review seeded(recordImage(), {}, PolicyKit::EffectivePolicy::safeDefaults(), seed);
    EXPECT_EQ(seeded.controller->model().annotations(), seed);
    EXPECT_EQ(seeded.controller->model().selectedAnnotationID(), seed.front().id);
    Review plain;
    EXPECT_TRUE(plain.controller->model().annotations().empty());
    EXPECT_FALSE(plain.controller->model().selectedAnnotationID().has_value());
}

// Every way out of the window gives its caller exactly one decision.
TEST(ReviewWindow, EachPathGivesExactlyOneDecision) {
    struct Case {
        const char* name;
        std::function<void(Review&)> act;
        QString decision;
    };
    const Case cases[] = {
        {"Copy", [](Review& r) { QTest::mouseClick(r.shell->destinationButton(ExportKit::DestinationKind::clipboard), Qt::LeftButton); }, "clipboard"},
        {"Export", [](Review& r) { QTest::mouseClick(r.shell->destinationButton(ExportKit::DestinationKind::folder), Qt::LeftButton); }, "folder"},
        {"Return", [](Review& r) { key(r.shell->canvas(), Qt::Key_Return); }, "folder"},
        {"Cancel", [](Review& r) { QTest::mouseClick(r.shell->cancelButton(), Qt::LeftButton); }, "cancel"},
        {"Escape", [](Review& r) { key(r.shell->canvas(), Qt::Key_Escape); }, "cancel"},
        {"close button", [](Review& r) { QTest::mouseClick(r.window->trafficLightButtons()[0], Qt::LeftButton); }, "cancel"},
        {"closed by the application", [](Review& r) { r.window->close(); }, "cancel"},
    };
    for (const Case& c : cases) {
        Review review;
        c.act(review);
        settle();
        ASSERT_EQ(review.decisions.size(), 1u) << c.name;
        EXPECT_EQ(decisionName(review.decisions[0]), c.decision) << c.name;
        EXPECT_TRUE(review.window.isNull()) << c.name << ": the window is never reused";
        EXPECT_TRUE(ReviewWindowController::openReviews().isEmpty()) << c.name;
    }
}

// The export carries what the user kept: the redactions, the annotations and the crop.
TEST(ReviewWindow, ExportCarriesRedactionsAnnotationsAndCrop) {
    Review review(recordImage(), recordDetections(), PolicyKit::EffectivePolicy::safeDefaults(),
                  ReviewPreview::seedAnnotations(recordImage()));
    ReviewViewModel& model = review.controller->model();
    model.toggleSuggested(0);
    model.setCrop(Rect(120, 120, 1160, 660));
    const auto redact = model.detectionsToRedact();
    QTest::mouseClick(review.shell->destinationButton(ExportKit::DestinationKind::folder), Qt::LeftButton);
    ASSERT_EQ(review.decisions.size(), 1u);
    const auto& exported = std::get<ReviewDecision::Export>(review.decisions[0].value);
    ASSERT_EQ(exported.redact.size(), 3u);
    for (std::size_t i = 0; i < redact.size(); ++i) EXPECT_EQ(exported.redact[i].matchedText(), redact[i].matchedText());
    EXPECT_EQ(exported.annotations.size(), 3u);
    EXPECT_EQ(exported.crop, Rect(120, 120, 1160, 660));
}

// A second review does not leave the first one waiting: each keeps its window until its own
// decision.
TEST(ReviewWindow, TwoReviewsEachGetTheirOwnDecision) {
    Review first;
    Review second;
    EXPECT_EQ(ReviewWindowController::openReviews().size(), 2);
    QTest::mouseClick(second.shell->cancelButton(), Qt::LeftButton);
    settle();
    EXPECT_EQ(second.decisions.size(), 1u);
    ASSERT_FALSE(first.window.isNull());
    EXPECT_TRUE(first.window->isVisible());
    EXPECT_TRUE(first.decisions.empty());
    QTest::mouseClick(first.shell->destinationButton(ExportKit::DestinationKind::clipboard), Qt::LeftButton);
    settle();
    ASSERT_EQ(first.decisions.size(), 1u);
    EXPECT_EQ(decisionName(first.decisions[0]), "clipboard");
}

TEST(ReviewWindow, DestinationsThePolicyClosesAreDisabled) {
    struct Case {
        std::vector<PolicyKit::ExportDestination> allowed;
        bool copy, exportToFolder;
    };
    using PolicyKit::ExportDestination;
    const Case cases[] = {{{ExportDestination::clipboard, ExportDestination::folder}, true, true},
                          {{ExportDestination::folder}, false, true},
                          {{ExportDestination::clipboard, ExportDestination::uploadEndpoint}, true, false},
                          {{}, false, false}};
    for (const Case& c : cases) {
        Review review(recordImage(), {}, policyAllowing(c.allowed));
        ActionButton* copy = review.shell->destinationButton(ExportKit::DestinationKind::clipboard);
        ActionButton* exportButton = review.shell->destinationButton(ExportKit::DestinationKind::folder);
        EXPECT_EQ(copy->isEnabled(), c.copy);
        EXPECT_EQ(copy->toolTip(), c.copy ? "Copy" : "Managed by your organization");
        EXPECT_EQ(exportButton->isEnabled(), c.exportToFolder);
        EXPECT_EQ(exportButton->toolTip(), c.exportToFolder ? "Export" : "Managed by your organization");
        // A closed destination gives no decision, by its button or by Return.
        QTest::mouseClick(copy, Qt::LeftButton);
        QTest::mouseClick(exportButton, Qt::LeftButton);
        key(review.shell->canvas(), Qt::Key_Return);
        settle();
        const std::size_t expected = (c.copy ? 1 : 0) + (!c.copy && c.exportToFolder ? 1 : 0);
        EXPECT_EQ(review.decisions.size(), expected);
        if (!c.copy && !c.exportToFolder) {
            EXPECT_TRUE(review.window->isVisible());
        }
    }
}

TEST(ReviewWindow, ToolPillAndStatusChip) {
    using DetectionKit::PatternAction;
    std::vector<Detection> detections;
    for (int i = 0; i < 3; ++i) detections.push_back(detected(PatternAction::blurMandatory, Rect(100 + 60 * i, 700, 50, 20)));
    for (int i = 0; i < 5; ++i) detections.push_back(detected(PatternAction::blurSuggested, Rect(100 + 60 * i, 750, 50, 20)));
    Review review(recordImage(), detections);
    ReviewViewModel& model = review.controller->model();
    model.toggleSuggested(1);
    model.toggleSuggested(3);
    QApplication::processEvents();
    EXPECT_EQ(review.shell->mandatoryLabel()->text(), "3");
    EXPECT_EQ(review.shell->mandatoryLabel()->toolTip(), "3 mandatory redactions \u2014 enforced by policy");
    EXPECT_EQ(review.shell->mandatoryLabel()->color(), QColor(255, 59, 48));
    EXPECT_EQ(review.shell->suggestedLabel()->text(), "3/5");
    EXPECT_EQ(review.shell->suggestedLabel()->toolTip(), "Suggested redactions kept \u2014 click one on the image to release it");
    EXPECT_EQ(review.shell->suggestedLabel()->color(), QColor(255, 149, 0));
    // The chip sits at the bottom left, on the action bar's bottom edge.
    EXPECT_EQ(review.shell->statusChip()->geometry().bottom(), review.shell->actionBar()->geometry().bottom());
    EXPECT_LT(review.shell->statusChip()->height(), review.shell->actionBar()->height());

    // A click on a tool's button chooses the tool; with nothing selected the style button is off.
    for (AnnotationTool tool : AnnotationTools::allCases) {
        PillButton* button = review.shell->toolButton(tool);
        ASSERT_NE(button, nullptr);
        QTest::mouseClick(button, Qt::LeftButton);
        EXPECT_EQ(model.tool(), tool);
        EXPECT_TRUE(button->isCurrent());
    }
    model.setTool(AnnotationTool::select);
    model.setSelectedAnnotationIDs({});
    QApplication::processEvents();
    EXPECT_FALSE(review.shell->styleButton()->isEnabled());

    // With nothing to count the chip is not shown, and the action bar keeps its place.
    Review empty(recordImage(), {});
    EXPECT_FALSE(empty.shell->statusChip()->isVisible());
    EXPECT_EQ(empty.shell->actionBar()->geometry().right(), empty.shell->width() - 17);
}

// --- The window as a user drives it: clicks and keys through the shell, the popover, the
// window at its minimum size, the Edit menu. ----------------------------------------------------

namespace {

// Opens the text editor the way a user does: the Text tool from the pill, then a click on the
// image.
EditorTextField* openTextEditor(Review& review) {
    QTest::mouseClick(review.shell->toolButton(AnnotationTool::text), Qt::LeftButton);
    ReviewCanvasView* canvas = review.shell->canvas();
    QTest::mouseClick(canvas, Qt::LeftButton, {}, canvas->rect().center());
    return canvas->textEditor();
}

bool activate(QWidget* window) {
    window->activateWindow();
    return QTest::qWaitForWindowActive(window);
}

// A visible colour chooser, when one is open.
QColorDialog* shownColorChooser() {
    for (QWidget* widget : QApplication::allWidgets())
        if (auto* dialog = qobject_cast<QColorDialog*>(widget); dialog && dialog->isVisible()) return dialog;
    return nullptr;
}

} // namespace

// Return and Escape end in the text editor: they never also export or cancel the review.
TEST(ReviewWindow, ReturnAndEscapeInTheTextEditorEndThere) {
    struct Case {
        Qt::Key key;
        std::size_t annotations;
    };
    for (const Case& c : {Case{Qt::Key_Return, 1}, Case{Qt::Key_Enter, 1}, Case{Qt::Key_Escape, 0}}) {
        Review review;
        ASSERT_TRUE(activate(review.window));
        EditorTextField* field = openTextEditor(review);
        ASSERT_NE(field, nullptr);
        QTest::keyClicks(field, "Label");
        QTest::keyClick(field, c.key);
        settle();
        EXPECT_TRUE(review.decisions.empty()) << "key " << c.key << " ended the review";
        ASSERT_FALSE(review.window.isNull());
        EXPECT_TRUE(review.window->isVisible());
        EXPECT_EQ(review.controller->model().annotations().size(), c.annotations);
        // The next Return, with the editor closed, exports as before.
        QTest::keyClick(review.shell->canvas(), Qt::Key_Return);
        settle();
        ASSERT_EQ(review.decisions.size(), 1u);
        EXPECT_EQ(decisionName(review.decisions[0]), "folder");
    }
}

// The insertion point is drawn in the stroke colour, at full opacity, like the text.
TEST(ReviewWindow, TheTextEditorsInsertionPointHasTheStrokeColour) {
    Review review;
    ASSERT_TRUE(activate(review.window));
    QTest::keyClick(review.shell->canvas(), Qt::Key_3); // the third swatch
    const QColor stroke = Color::fromHex(review.controller->model().defaultStrokeColorHex()).toQColor();
    EditorTextField* field = openTextEditor(review);
    ASSERT_NE(field, nullptr);
    QTest::keyClicks(field, "Ab");
    const QImage withCaret = field->grab().toImage().convertToFormat(QImage::Format_RGB32);
    withCaret.scaled(withCaret.size() * 4).save(artefactsFolder() + "/review-text-editor.png");
    field->setReadOnly(true); // hides the insertion point, nothing else
    const QImage withoutCaret = field->grab().toImage().convertToFormat(QImage::Format_RGB32);
    ASSERT_EQ(withCaret.size(), withoutCaret.size());
    int caretPixels = 0;
    int strokeColoured = 0;
    for (int y = 0; y < withCaret.height(); ++y)
        for (int x = 0; x < withCaret.width(); ++x) {
            if (withCaret.pixel(x, y) == withoutCaret.pixel(x, y)) continue;
            ++caretPixels;
            const QColor shown = withCaret.pixelColor(x, y);
            strokeColoured += std::abs(shown.red() - stroke.red()) < 8 && std::abs(shown.green() - stroke.green()) < 8 &&
                              std::abs(shown.blue() - stroke.blue()) < 8;
        }
    ASSERT_GT(caretPixels, 0) << "no insertion point drawn";
    EXPECT_GT(strokeColoured, caretPixels / 2) << "the insertion point is not " << stroke.name().toStdString();
}

// A click on the popover's colour well opens the chooser, and the colour chosen there reaches the
// selected annotation, also once the popover has gone (it closes when the chooser takes focus).
TEST(ReviewWindow, TheColourWellOpensAChooserWhoseColourReachesTheAnnotation) {
    Review review;
    ASSERT_TRUE(activate(review.window));
    ReviewViewModel& model = review.controller->model();
    model.addAnnotation(Annotation::Box{Rect(200, 200, 100, 100), Annotation::Style("#0A84FF", 5, 1, false, std::nullopt, false),
                                        std::nullopt, 0});
    QApplication::processEvents();
    QTest::mouseClick(review.shell->styleButton(), Qt::LeftButton);
    StyleInspector* inspector = review.shell->styleInspector();
    ASSERT_NE(inspector, nullptr);
    EXPECT_EQ(inspector->sizeCaption(), "Line width");
    auto* slider = inspector->findChild<QSlider*>("widthSlider");
    ASSERT_NE(slider, nullptr);
    slider->setValue(90); // tenths of a pixel
    EXPECT_EQ(std::get<Annotation::Box>(model.annotations().back().kind).style.lineWidth, 9);
    auto* well = inspector->findChild<QWidget*>("colorWell");
    ASSERT_NE(well, nullptr);
    QTest::mouseClick(well, Qt::LeftButton);
    if (inspector) inspector->close();
    settle();
    QColorDialog* chooser = shownColorChooser();
    ASSERT_NE(chooser, nullptr) << "no colour chooser appeared";
    EXPECT_EQ(chooser->currentColor(), QColor("#0A84FF"));
    chooser->grab().save(artefactsFolder() + "/review-color-chooser.png");
    chooser->setCurrentColor(QColor("#34C759"));
    EXPECT_EQ(std::get<Annotation::Box>(model.annotations().back().kind).style.colorHex, "#34C759");
    chooser->accept();
    settle();
    EXPECT_EQ(std::get<Annotation::Box>(model.annotations().back().kind).style.colorHex, "#34C759");

    // Cancel in the chooser takes its colour back.
    QTest::mouseClick(review.shell->styleButton(), Qt::LeftButton);
    ASSERT_NE(review.shell->styleInspector(), nullptr);
    QTest::mouseClick(review.shell->styleInspector()->findChild<QWidget*>("colorWell"), Qt::LeftButton);
    settle();
    chooser = shownColorChooser();
    ASSERT_NE(chooser, nullptr);
    chooser->setCurrentColor(QColor("#FF9500"));
    chooser->reject();
    settle();
    EXPECT_EQ(std::get<Annotation::Box>(model.annotations().back().kind).style.colorHex, "#34C759");
    EXPECT_TRUE(review.decisions.empty());
}

// At its minimum size, and at any size above it, the tool pill lies clear of the window's buttons:
// a click on Select chooses Select and does not close the window. The grab is kept.
TEST(ReviewWindow, AtTheMinimumSizeThePillIsClearOfTheWindowButtons) {
    Review review;
    ASSERT_TRUE(activate(review.window));
    const QSize minimum = review.window->minimumSize();
    EXPECT_GE(minimum.width(), 560);
    EXPECT_EQ(minimum.height(), 380);
    for (int width : {minimum.width(), minimum.width() + 40, 800, 1200}) {
        review.window->resize(width, minimum.height());
        settle();
        const QRect buttons = review.window->trafficLightGroup()->geometry();
        const QRect pill(review.shell->toolPill()->mapTo(review.window, QPoint()), review.shell->toolPill()->size());
        EXPECT_FALSE(pill.intersects(buttons)) << "at width " << width;
        EXPECT_LE(pill.right(), review.window->width()) << "at width " << width;
    }
    review.window->resize(minimum);
    settle();
    ASSERT_TRUE(review.window->grab().save(artefactsFolder() + "/review-window-minimum.png"));

    for (AnnotationTool tool : {AnnotationTool::arrow, AnnotationTool::select}) {
        PillButton* button = review.shell->toolButton(tool);
        const QPoint centre = button->mapTo(review.window, button->rect().center());
        QWidget* hit = review.window->childAt(centre);
        ASSERT_NE(hit, nullptr);
        EXPECT_TRUE(hit == button || button->isAncestorOf(hit)) << "a click meant for " << AnnotationTools::rawValue(tool).toStdString() << " lands on "
                                                               << hit->objectName().toStdString();
        QTest::mouseClick(hit, Qt::LeftButton, {}, hit->mapFrom(review.window, centre));
        settle();
        ASSERT_FALSE(review.window.isNull());
        EXPECT_EQ(review.controller->model().tool(), tool);
    }
    EXPECT_TRUE(review.decisions.empty());
}

// Edit > Undo and Redo (Ctrl+Z, Ctrl+Shift+Z) reach the review's model: a deleted annotation comes
// back. While the text editor is open the same keys undo its typing and leave the model alone.
TEST(ReviewWindow, UndoAndRedoFromTheEditMenuReachTheShownReview) {
    EditMenu edit;
    Review review;
    ASSERT_TRUE(activate(review.window));
    ReviewViewModel& model = review.controller->model();
    model.addAnnotation(Annotation::Box{Rect(200, 200, 100, 100), Annotation::Style("#0A84FF", 5, 1, false, std::nullopt, false),
                                        std::nullopt, 0});
    review.shell->canvas()->setFocus();
    QTest::keyClick(review.shell->canvas(), Qt::Key_Delete);
    ASSERT_TRUE(model.annotations().empty());

    QTest::keySequence(review.window, QKeySequence("Ctrl+Z"));
    EXPECT_EQ(model.annotations().size(), 1u) << "Ctrl+Z did not bring the box back";
    QTest::keySequence(review.window, QKeySequence("Ctrl+Shift+Z"));
    EXPECT_TRUE(model.annotations().empty()) << "Ctrl+Shift+Z did not delete it again";
    edit.actions()[0]->trigger(); // Edit > Undo
    EXPECT_EQ(model.annotations().size(), 1u);

    EditorTextField* field = openTextEditor(review);
    ASSERT_NE(field, nullptr);
    QTest::keyClicks(field, "ab");
    QTest::keySequence(field, QKeySequence("Ctrl+Z"));
    EXPECT_EQ(field->text(), "");
    EXPECT_EQ(model.annotations().size(), 1u);
    QTest::keyClicks(field, "cd");
    QTest::keySequence(field, QKeySequence("Ctrl+A"));
    EXPECT_EQ(field->selectedText(), "cd");
    EXPECT_TRUE(review.decisions.empty());
}
