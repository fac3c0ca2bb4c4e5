// Runs on the xcb platform with the real text recogniser: what the copy-text tool puts on the
// clipboard, as another X client (xclip) reads it.
#include "BrindlecastApp/Review/ReviewCanvasView.h"
#include "BrindlecastApp/Review/ReviewViewModel.h"
#include "DetectionKit/DetectionTesting.h"
#include "Support/Fonts.h"
#include "support/TestEnvironment.h"

#include <QApplication>
#include <QPainter>
#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

#include <cstdlib>

using namespace BrindlecastApp;
using SidecarKit::Annotation;
using Support::Rect;

namespace {

const bool platformChosen = [] {
    if (qEnvironmentVariableIsEmpty("DISPLAY")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
    return true;
}();

QByteArray clipboardText() { return TestSupport::outputWhileServing("xclip", {"-selection", "clipboard", "-o"}); }

// Three words on one line in large black type: "alpha" free, "bravo" under a detection and
// "charlie" under a turned blur annotation.
struct Line {
    QImage image{900, 200, QImage::Format_ARGB32_Premultiplied};
    Rect alpha, bravo, charlie;

    Line() {
        image.fill(Qt::white);
        QPainter painter(&image);
        const QFont font = Support::Fonts::interfaceFont(44, QFont::Medium);
        painter.setFont(font);
        painter.setPen(Qt::black);
        const QFontMetricsF metrics(font);
        double x = 40;
        const double baseline = 110;
        auto word = [&](const QString& text) {
            painter.drawText(QPointF(x, baseline), text);
            const Rect box(x - 4, baseline - metrics.ascent() - 4, metrics.horizontalAdvance(text) + 8, metrics.height() + 8);
            x += metrics.horizontalAdvance(text + "   ");
            return box;
        };
        alpha = word("alpha");
        bravo = word("bravo");
        charlie = word("charlie");
    }
};

struct CopyOnScreen {
    explicit CopyOnScreen(std::vector<PolicyKit::ExportDestination> allowed) : policy(PolicyKit::EffectivePolicy::safeDefaults()) {
        policy.allowedExportDestinations = std::move(allowed);
        model = std::make_unique<ReviewViewModel>(
            line.image, std::vector<DetectionKit::Detection>{DetectionKit::DetectionTesting::make(
                            "email", DetectionKit::PatternAction::blurSuggested, line.bravo, "bravo")},
            policy, std::nullopt, [] {});
        // Turned a little: only the box that holds it as turned covers every letter.
        const Rect tight = line.charlie.insetBy(10, 6);
        model->addAnnotation(Annotation::Blur{tight, Annotation::RedactionStyle::scramble, 0.12});
        canvas = std::make_unique<ReviewCanvasView>(*model);
        canvas->resize(900 + 56, 200 + 144);
        canvas->show();
        QApplication::processEvents();
    }

    QString copy() {
        QSignalSpy finished(canvas.get(), &ReviewCanvasView::copyTextFinished);
        model->setTool(AnnotationTool::copyText);
        const QPoint from(28 + 10, 76 + 10), to(28 + 890, 76 + 190);
        QTest::mousePress(canvas.get(), Qt::LeftButton, {}, from);
        QMouseEvent move(QEvent::MouseMove, QPointF(to), canvas->mapToGlobal(QPointF(to)), Qt::NoButton, Qt::LeftButton, {});
        QApplication::sendEvent(canvas.get(), &move);
        QTest::mouseRelease(canvas.get(), Qt::LeftButton, {}, to);
        if (finished.isEmpty()) finished.wait(60000);
        return finished.isEmpty() ? QString() : finished.first().first().toString();
    }

    Line line;
    PolicyKit::EffectivePolicy policy;
    std::unique_ptr<ReviewViewModel> model;
    std::unique_ptr<ReviewCanvasView> canvas;
};

} // namespace

TEST(CopyTextX11, CensoredWordsNeverReachTheClipboard) {
    if (QGuiApplication::platformName() != "xcb") GTEST_SKIP() << "no X display";
    REQUIRE_PROGRAM("xclip");
    CopyOnScreen screen({PolicyKit::ExportDestination::clipboard});
    ASSERT_EQ(screen.copy(), "Copied");
    QString copied;
    TestSupport::waitUntil([&] { return (copied = QString::fromUtf8(clipboardText())).contains("alpha"); });
    EXPECT_TRUE(copied.contains("alpha")) << copied.toStdString();
    EXPECT_TRUE(copied.contains("[redacted]")) << copied.toStdString();
    EXPECT_FALSE(copied.contains("bravo", Qt::CaseInsensitive)) << copied.toStdString();
    EXPECT_FALSE(copied.contains("charlie", Qt::CaseInsensitive)) << copied.toStdString();
    EXPECT_FALSE(copied.contains("arlie", Qt::CaseInsensitive)) << copied.toStdString();
}

TEST(CopyTextX11, NothingReachesAClipboardThePolicyCloses) {
    if (QGuiApplication::platformName() != "xcb") GTEST_SKIP() << "no X display";
    REQUIRE_PROGRAM("xclip");
    TestSupport::outputWhileServing("xclip", {"-selection", "clipboard", "-i"}, QByteArray("held before"));
    // xclip leaves a child behind that takes the selection in its own time.
    ASSERT_TRUE(TestSupport::waitUntil([] { return clipboardText() == "held before"; })) << clipboardText().toStdString();
    CopyOnScreen screen({PolicyKit::ExportDestination::folder});
    EXPECT_EQ(screen.copy(), "Managed by your organization");
    EXPECT_EQ(clipboardText(), "held before");
}
