#include "BrindlecastApp/Design/Theme.h"
#include "BrindlecastApp/Design/ThemedRoot.h"
#include "BrindlecastApp/Design/ToolTip.h"
#include "BrindlecastApp/Editor/EditorWindowChrome.h"
#include "BrindlecastApp/Review/EditorTextField.h"
#include "BrindlecastApp/Review/ReviewShellView.h"
#include "BrindlecastApp/Review/ReviewWindowController.h"
#include "BrindlecastApp/Review/ShellControls.h"
#include "BrindlecastApp/Shell/ReviewPreview.h"

#include "CanvasTestSupport.h"
#include "Support/UserDefaults.h"

#include <QApplication>
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
    struct Case {
        QSize pixels;
        QSizeF content;
        QSize window;
    };
    const Case cases[] = {{{1200, 800}, {640, 510}, {640, 510}},
                          {{3000, 2000}, {1000, 700}, {1000, 700}},
                          {{1001, 590}, {540.5, 405}, {560, 405}}}; // the canvas is never narrower than 560
    for (const Case& c : cases) {
        EXPECT_EQ(ReviewWindowController::contentSize(c.pixels), c.content);
        Review review(stripedImage(c.pixels.width(), c.pixels.height()), {});
        EXPECT_EQ(review.window->size(), c.window);
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

    // Fourteen tools; only five have a symbol of their own. A click chooses the tool.
    int dashed = 0;
    for (AnnotationTool tool : AnnotationTools::allCases) {
        PillButton* button = review.shell->toolButton(tool);
        ASSERT_NE(button, nullptr);
        EXPECT_EQ(button->toolTip(), AnnotationTools::rawValue(tool));
        dashed += button->symbol() == "square.dashed";
        QTest::mouseClick(button, Qt::LeftButton);
        EXPECT_EQ(model.tool(), tool);
        EXPECT_TRUE(button->isCurrent());
    }
    EXPECT_EQ(dashed, 9);

    // No selection: the style button is off. A selected box opens the inspector, whose writes
    // recolour and resize it.
    model.setTool(AnnotationTool::select);
    model.setSelectedAnnotationIDs({});
    QApplication::processEvents();
    EXPECT_FALSE(review.shell->styleButton()->isEnabled());
    EXPECT_EQ(review.shell->styleButton()->toolTip(), "Style of the selected annotation");
    const QUuid box = model.addAnnotation(Annotation::Box{Rect(200, 200, 100, 100), Annotation::Style("#0A84FF", 5, 1, false, std::nullopt, false), std::nullopt, 0});
    QApplication::processEvents();
    ASSERT_TRUE(review.shell->styleButton()->isEnabled());
    QTest::mouseClick(review.shell->styleButton(), Qt::LeftButton);
    StyleInspector* inspector = review.shell->styleInspector();
    ASSERT_NE(inspector, nullptr);
    EXPECT_EQ(inspector->sizeCaption(), "Line width");
    EXPECT_EQ(inspector->shownWidth(), 5);
    inspector->pickColor(QColor::fromRgbF(1.0f, 0.5f, 0.0f));
    inspector->pickWidth(9);
    const auto& style = std::get<Annotation::Box>(model.annotations().back().kind).style;
    EXPECT_EQ(style.colorHex, "#FF7F00");
    EXPECT_EQ(style.lineWidth, 9);
    EXPECT_EQ(model.annotations().back().id, box);
    inspector->close();

    // With nothing to count the chip is not shown, and the action bar keeps its place.
    Review empty(recordImage(), {});
    EXPECT_FALSE(empty.shell->statusChip()->isVisible());
    EXPECT_EQ(empty.shell->actionBar()->geometry().right(), empty.shell->width() - 17);
}
