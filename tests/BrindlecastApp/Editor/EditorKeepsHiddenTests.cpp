// What the organisation or the user hid stays hidden in the editor window: copied text and the
// toolbar's Copy go under the policy of their moment, which an organisation may change while the
// editor is open, and a backdrop never brings back what was painted over in the working copy.
#include "EditorTestSupport.h"
#include "../Settings/SettingsTestSupport.h"

#include "BrindlecastApp/Pipeline/LibraryFiles.h"
#include "BrindlecastApp/Review/ReviewCanvasView.h"
#include "DetectionKit/PIIDetector.h"
#include "Support/Fonts.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QPainter>
#include <QSignalSpy>

#include <gtest/gtest.h>

using namespace EditorTesting;

namespace {

// Two lines in large black type on white: one anybody may read, one the organisation comes to hide.
struct TwoLines {
    QImage image{900, 260, QImage::Format_ARGB32_Premultiplied};
    QRect open, secret;

    TwoLines() {
        image.fill(Qt::white);
        QPainter painter(&image);
        const QFont font = Support::Fonts::interfaceFont(44, QFont::Medium);
        painter.setFont(font);
        painter.setPen(Qt::black);
        const QFontMetrics metrics(font);
        auto line = [&](const QString& text, int baseline) {
            painter.drawText(QPoint(40, baseline), text);
            return metrics.boundingRect(text).translated(40, baseline);
        };
        open = line("alpha bravo", 90);
        secret = line("secret 4711", 190);
    }
};

// The share of the pixels of `area` that `a` and `b` have alike.
double alike(const QImage& a, const QImage& b, const QRect& area) {
    int same = 0;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x) same += (a.pixel(x, y) & 0xffffff) == (b.pixel(x, y) & 0xffffff);
    return double(same) / double(area.width() * area.height());
}

// The two lines open in the real editor window as a capture whose detections found nothing, with
// the policy read, at every ask, from a managed folder and a user file as the app reads them, and
// the real detector and text recogniser.
struct PolicyScene {
    PolicyScene() {
        e.h.env->resolvePolicy = [this] { return PolicyKit::EffectivePolicy::resolve(folders.store()); };
        e.h.env->detect = [](const QImage& image, const std::vector<DetectionKit::PatternInput>& patterns) {
            return DetectionKit::PIIDetector().detect(image, patterns);
        };
        path = e.h.libraryFolder + "/Screenshot lines.png";
        lines.image.save(path, "PNG");
        e.library->add(path);
        Pipeline::EditorRequest request;
        request.image = lines.image;
        request.policy = e.h.env->resolvePolicy().policy;
        request.audit = std::make_shared<AuditKit::AuditLog>(nullptr, e.h.log);
        request.modeName = "region";
        request.path = path;
        Pipeline::openEditor(e.h.env, std::move(request));
        settle();
        canvas = e.window() ? e.window()->findChild<ReviewCanvasView*>() : nullptr;
    }

    // A Copy Text drag over the whole image; the chip's message.
    QString copyText() {
        QSignalSpy finished(canvas, &ReviewCanvasView::copyTextFinished);
        canvas->viewModel().setTool(AnnotationTool::copyText);
        const auto view = [&](double x, double y) {
            const Support::Point p = canvas->toView(Support::Point{x, y});
            return QPoint(int(p.x), int(p.y));
        };
        const QPoint from = view(2, 2), to = view(lines.image.width() - 2, lines.image.height() - 2);
        QTest::mousePress(canvas, Qt::LeftButton, {}, from);
        QMouseEvent move(QEvent::MouseMove, QPointF(to), canvas->mapToGlobal(QPointF(to)), Qt::NoButton, Qt::LeftButton, {});
        QApplication::sendEvent(canvas, &move);
        QTest::mouseRelease(canvas, Qt::LeftButton, {}, to);
        if (finished.isEmpty()) finished.wait(90000);
        return finished.isEmpty() ? QString() : finished.first().first().toString();
    }

    // The toolbar's Copy; what reached the clipboard, or nothing when the copy failed.
    std::optional<QImage> copyImage() {
        std::optional<bool> copied;
        e.toolbarActions->onCopy([&](bool ok) { copied = ok; });
        if (!TestSupport::waitUntil([&] { return copied.has_value(); }, 90000) || !*copied) return std::nullopt;
        return QImage::fromData(e.h.clipboard->data, "PNG").convertToFormat(QImage::Format_RGB32);
    }

    PolicyFolders folders;
    EditorHarness e;
    TwoLines lines;
    QString path;
    ReviewCanvasView* canvas = nullptr;
};

} // namespace

// The organisation closes the clipboard while the editor is open: Copy Text is refused as the
// toolbar's Copy is, and the clipboard keeps what it held.
TEST(EditorKeepsHidden, CopyTextObeysAClipboardBanMadeWhileTheEditorIsOpen) {
    PolicyScene scene;
    ASSERT_NE(scene.canvas, nullptr);
    QGuiApplication::clipboard()->setText("held before");
    scene.folders.setManaged({{"AllowedExportDestinations", nlohmann::json::array({"folder"})}});

    EXPECT_EQ(scene.copyText(), ReviewCanvasView::kClipboardNotAllowed);
    EXPECT_EQ(QGuiApplication::clipboard()->text(), "held before");
    EXPECT_FALSE(scene.copyImage().has_value());
    EXPECT_EQ(scene.e.h.clipboard->copies, 0);
}

// The organisation makes a pattern mandatory while the editor is open: the line it matches leaves
// neither as the toolbar's copied image nor as copied text, as it would not from a capture taken
// under that policy.
TEST(EditorKeepsHidden, APatternMadeMandatoryWhileTheEditorIsOpenNeverLeaves) {
    PolicyScene scene;
    ASSERT_NE(scene.canvas, nullptr);
    const nlohmann::json ticket = {{"Name", "ticket"}, {"Regex", "secret [0-9]+"}, {"Action", "blurMandatory"}};
    scene.folders.setManaged({{"PIIPatterns", nlohmann::json::array({ticket})}});

    const std::optional<QImage> copied = scene.copyImage();
    ASSERT_TRUE(copied.has_value());
    ASSERT_EQ(copied->size(), scene.lines.image.size());
    const QImage original = scene.lines.image.convertToFormat(QImage::Format_RGB32);
    EXPECT_LT(alike(*copied, original, scene.lines.secret), 0.5) << "the line made secret is readable";
    EXPECT_GT(alike(*copied, original, scene.lines.open), 0.99);

    const QString message = scene.copyText();
    ASSERT_EQ(message, ReviewCanvasView::kCopied);
    const QString text = QGuiApplication::clipboard()->text();
    EXPECT_TRUE(text.contains("alpha")) << text.toStdString();
    EXPECT_TRUE(text.contains("[redacted]")) << text.toStdString();
    EXPECT_FALSE(text.contains("secret", Qt::CaseInsensitive)) << text.toStdString();
    EXPECT_FALSE(text.contains("4711")) << text.toStdString();
}

// A bar painted over the working copy in another program, the capture opened again, a backdrop
// switched on: the copy shows the bar, not the untouched companion beneath it.
TEST(EditorKeepsHidden, TheBackdropNeverBringsBackWhatWasPaintedOver) {
    EditorHarness e;
    e.h.screen->content = e.h.screen->display; // the window with the line shows in both captures
    ASSERT_EQ(e.h.capture(Mode::display()), true);
    ASSERT_EQ(e.h.host->library.size(), 1);
    const QString path = e.h.host->library.first();
    ASSERT_TRUE(QFile::exists(Pipeline::companionPath(path)));

    const auto reopen = [&] {
        const auto before = e.presenter->currentEdit();
        Pipeline::openExisting(e.h.env, path);
        EXPECT_TRUE(TestSupport::waitUntil([&] { return e.presenter->currentEdit() != before; }));
        return e.presenter->currentEdit();
    };
    ASSERT_TRUE(reopen()->viewModel().contentImage().has_value()) << "the untouched capture keeps its companion";

    const QRect bar(50, 100, 200, 40);
    QImage painted(path);
    QPainter(&painted).fillRect(bar, Qt::black);
    ASSERT_TRUE(painted.save(path, "PNG"));
    const auto edit = reopen();
    ASSERT_TRUE(edit);
    edit->viewModel().setBackdrop({ExportKit::Backdrop::Solid{"#FFFFFF"}, 20, 0});

    std::optional<bool> copied;
    e.toolbarActions->onCopy([&](bool ok) { copied = ok; });
    ASSERT_TRUE(TestSupport::waitUntil([&] { return copied.has_value(); }));
    ASSERT_TRUE(*copied);
    const QImage output = QImage::fromData(e.h.clipboard->data, "PNG").convertToFormat(QImage::Format_RGB32);
    ASSERT_EQ(output.size(), QSize(440, 340));
    int shown = 0;
    for (int y = bar.top(); y <= bar.bottom(); ++y)
        for (int x = bar.left(); x <= bar.right(); ++x) shown += (output.pixel(x + 20, y + 20) & 0xffffff) != 0;
    EXPECT_EQ(shown, 0) << "pixels of the painted-over area are back";
    EXPECT_EQ(e.h.log->errors().filter("desktop-less image left out").size(), 1) << e.h.log->errors().join("\n").toStdString();
}
