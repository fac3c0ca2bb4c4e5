// The capture road end to end on the test display: real X11 capture, Tesseract and OpenCV
// detection, redaction, PNG files in a temporary library, real audit records. Only the editor
// window (which does not exist yet) and the alerts are stand-ins.
#include "PipelineTestSupport.h"
#include "TestPhotograph.h"

#include "BrindlecastApp/Library/CaptureLibrary.h"
#include "BrindlecastApp/Pipeline/ApplicationHost.h"
#include "BrindlecastApp/Pipeline/LiveEnvironment.h"
#include "BrindlecastApp/Review/ReviewViewModel.h"
#include "BrindlecastApp/Settings/AppSettings.h"
#include "CaptureKit/X11Connection.h"
#include "PolicyKit/PreferenceStore.h"

#include <QPainter>
#include <QProcess>

#include <xcb/xcb.h>

using namespace PipelineTests;

namespace {

using CaptureKit::X11Connection;

// Every log line of the process, the audit records among them.
struct CapturedLog {
    CapturedLog() : previous(Support::Log::sink()) { Support::Log::setSink(log); }
    ~CapturedLog() { Support::Log::setSink(previous); }
    std::shared_ptr<RecordingLog> log = std::make_shared<RecordingLog>();
    std::shared_ptr<Support::LogSink> previous;
};

class PipelineX11Test : public testing::Test {
protected:
    void SetUp() override {
        if (!TestSupport::hasX11Display()) GTEST_SKIP() << "no X display";
        x = std::make_unique<X11Connection>();
        library = TestSupport::makeTemporaryFolder("x11-library") + "/Brindlecast";
        settings.setLibraryLocation(library);
        captureLibrary = std::make_unique<BrindlecastApp::CaptureLibrary>(library);
        host = std::make_shared<ApplicationHost>(settings, *captureLibrary, ApplicationHost::Windows{});

        LiveWiring wiring;
        wiring.host = host;
        wiring.editor = editor;
        wiring.arguments = QStringList{"brindlecast"};
        env = std::make_shared<PipelineEnvironment>(*makeLiveEnvironment(wiring));
        env->alerts = alerts;
        env->resolvePolicy = [this] {
            return PolicyKit::EffectivePolicy::resolve(PolicyKit::PreferenceStore::inMemory(managed));
        };
    }

    void TearDown() override {
        for (auto& window : windows) {
            window->closeWriteChannel();
            if (!window->waitForFinished(5000)) window->kill();
        }
        if (x) free(xcb_get_input_focus_reply(x->get(), xcb_get_input_focus(x->get()), nullptr));
    }

    // Starts a window process and returns its window ID, read from its first line.
    xcb_window_t start(const QString& program, const QStringList& arguments) {
        auto window = std::make_unique<QProcess>();
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("QT_QPA_PLATFORM", "xcb");
        window->setProcessEnvironment(environment);
        window->start(program, arguments);
        EXPECT_TRUE(window->waitForStarted());
        while (!window->canReadLine() && window->waitForReadyRead(15000)) {
        }
        bool ok = false;
        const xcb_window_t id = window->readLine().trimmed().toUInt(&ok, 16);
        EXPECT_TRUE(ok) << "the window did not start: " << window->readAllStandardError().toStdString();
        windows.push_back(std::move(window));
        return id;
    }

    // The client area of `window` in root coordinates, inside the window manager's frame.
    QRect clientArea(xcb_window_t window) {
        CaptureKit::XcbReply<xcb_get_geometry_reply_t> g(
            xcb_get_geometry_reply(x->get(), xcb_get_geometry(x->get(), window), nullptr));
        CaptureKit::XcbReply<xcb_translate_coordinates_reply_t> t(xcb_translate_coordinates_reply(
            x->get(), xcb_translate_coordinates(x->get(), window, x->root(), 0, 0), nullptr));
        if (!g || !t) return {};
        return QRect(t->dst_x, t->dst_y, g->width, g->height);
    }

    std::optional<bool> capture(const Mode& mode) {
        std::optional<bool> result;
        run(env, mode, [&](bool ok) { result = ok; });
        EXPECT_TRUE(waitUntil([&] { return result.has_value(); }, 60000));
        return result;
    }

    std::unique_ptr<X11Connection> x;
    QString library;
    BrindlecastApp::AppSettings settings;
    std::unique_ptr<BrindlecastApp::CaptureLibrary> captureLibrary;
    std::shared_ptr<ApplicationHost> host;
    std::shared_ptr<FakeEditor> editor = std::make_shared<FakeEditor>();
    std::shared_ptr<FakeAlerts> alerts = std::make_shared<FakeAlerts>();
    std::shared_ptr<PipelineEnvironment> env;
    nlohmann::json managed = nlohmann::json::object();
    std::vector<std::unique_ptr<QProcess>> windows;
};

// A page with an e-mail address, a card number and a photograph of a face.
QImage personalDataPage(const QImage& photo, QRect* photoPlace) {
    QImage page(1000, 600, QImage::Format_RGB32);
    page.fill(Qt::white);
    QPainter painter(&page);
    painter.setRenderHint(QPainter::TextAntialiasing);
    QFont font("DejaVu Sans");
    font.setPixelSize(20);
    painter.setFont(font);
    painter.setPen(QColor(28, 28, 30));
    painter.drawText(QPoint(30, 80), "Contact: ada.lovelace@example.com");
    painter.drawText(QPoint(30, 140), "Card: 4111 1111 1111 1111");
    painter.drawText(QPoint(30, 200), "Meeting notes for Tuesday");
    *photoPlace = QRect(QPoint(460, 40), photo.size());
    painter.drawImage(photoPlace->topLeft(), photo);
    return page;
}

// How many pixels inside `box` still show the page as it was.
double unchangedShare(const QImage& shown, const QImage& source, const Support::Rect& box) {
    const QRect r = box.toQRectF().toAlignedRect().intersected(shown.rect());
    int same = 0;
    for (int y = r.top(); y <= r.bottom(); ++y)
        for (int x = r.left(); x <= r.right(); ++x) same += shown.pixel(x, y) == source.pixel(x, y);
    return r.isEmpty() ? 1.0 : double(same) / double(r.width() * r.height());
}

std::optional<Support::Rect> boxOf(const std::vector<Detection>& detections, const QString& name) {
    for (const Detection& d : detections)
        if (d.detectorName() == name) return d.boundingBox();
    return std::nullopt;
}

QImage rgb(const QString& path) { return QImage(path).convertToFormat(QImage::Format_RGB32); }

} // namespace

TEST_F(PipelineX11Test, ARegionCaptureHidesMandatoryDataAndLeavesTheFaceForReview) {
    QString whyNot;
    const std::optional<QImage> astronaut = DetectionTests::astronautPhotograph(&whyNot);
    if (!astronaut) GTEST_SKIP() << whyNot.toStdString();
    managed["PIIPatterns"] = nlohmann::json::array(
        {{{"Name", "email"}, {"Action", "blurMandatory"}}, {{"Name", "card"}, {"Action", "blurMandatory"}}});
    managed["MandatoryReview"] = false;

    QRect photoPlace;
    const QImage page = personalDataPage(astronaut->convertToFormat(QImage::Format_RGB32), &photoPlace);
    const QString pagePath = TestSupport::makeTemporaryFolder("page") + "/page.png";
    ASSERT_TRUE(page.save(pagePath));
    const xcb_window_t window = start(PIPELINE_TEST_WINDOW, {pagePath, "200", "150"});
    const QRect area = clientArea(window);
    ASSERT_EQ(area.size(), page.size());

    CapturedLog captured;
    ASSERT_EQ(capture(Mode::region(Support::Rect::fromQRectF(QRectF(area)))), true);

    // The working copy, listed in the library, with the companion beside it.
    ASSERT_EQ(captureLibrary->entries().size(), 1);
    const QString workingCopy = captureLibrary->entries().first().path();
    EXPECT_TRUE(workingCopy.startsWith(library + "/Screenshot "));
    EXPECT_TRUE(QFile::exists(workingCopy.chopped(4) + ".content.png"));
    const QImage saved = rgb(workingCopy);
    ASSERT_EQ(saved.size(), page.size());

    ASSERT_TRUE(editor->last());
    const BrindlecastApp::ReviewViewModel& model = editor->last()->viewModel();
    const auto email = boxOf(model.mandatory(), "email");
    const auto card = boxOf(model.mandatory(), "card");
    const auto face = boxOf(model.suggested(), "face");
    ASSERT_TRUE(email && card && face);
    EXPECT_LT(unchangedShare(saved, page, *email), 0.1);
    EXPECT_LT(unchangedShare(saved, page, *card), 0.1);
    EXPECT_EQ(unchangedShare(saved, page, *face), 1.0);
    EXPECT_TRUE(face->intersects(Support::Rect::fromQRectF(QRectF(photoPlace))));
    // Nothing else was touched: the line without personal data reads as it did.
    EXPECT_EQ(saved.copy(30, 180, 300, 30), page.copy(30, 180, 300, 30));

    // Exported to the folder: the face is hidden too, unless the user released it.
    for (const bool released : {false, true}) {
        if (released) editor->last()->viewModel().toggleAllSuggested();
        const int before = captureLibrary->entries().size();
        editor->last()->exportToFolder();
        ASSERT_TRUE(waitUntil([&] { return captureLibrary->entries().size() == before + 1; }, 20000));
        const QImage exported = rgb(captureLibrary->entries().first().path());
        EXPECT_LT(unchangedShare(exported, page, *email), 0.1);
        EXPECT_LT(unchangedShare(exported, page, *card), 0.1);
        if (released) {
            EXPECT_EQ(unchangedShare(exported, page, *face), 1.0);
        } else {
            EXPECT_LT(unchangedShare(exported, page, *face), 0.1);
        }
    }
    const QStringList kinds = captured.log->eventKinds();
    EXPECT_EQ(kinds, (QStringList{"capture", "export", "redaction", "export", "redaction", "export"}));
    const std::vector<AuditEvent> events = captured.log->events();
    EXPECT_EQ(std::get<AuditEvent::Capture>(events[0].value).mode, "region");
    EXPECT_EQ(std::get<AuditEvent::Export>(events[1].value).destinationKind, "workingCopy");
    EXPECT_EQ(std::get<AuditEvent::Redaction>(events[2].value).detectorCounts,
              (std::map<QString, qint64>{{"card", 1}, {"email", 1}, {"face", 1}}));
    EXPECT_EQ(std::get<AuditEvent::Export>(events[3].value).destinationKind, "folder");
    EXPECT_TRUE(alerts->shown.empty());
}

// With nothing mandatory the working copy is the page as it was, written before the search, and
// the editor opens on it at once; an export asked for before the findings are in waits for them
// and hides them.
TEST_F(PipelineX11Test, WithoutAMandatoryPatternTheEditorOpensFirstAndItsExportWaitsForTheFindings) {
    QImage blank(200, 200, QImage::Format_RGB32);
    blank.fill(Qt::white);
    QRect photoPlace;
    const QImage page = personalDataPage(blank, &photoPlace);
    const QString pagePath = TestSupport::makeTemporaryFolder("page") + "/page.png";
    ASSERT_TRUE(page.save(pagePath));
    const QRect area = clientArea(start(PIPELINE_TEST_WINDOW, {pagePath, "200", "150"}));
    ASSERT_EQ(area.size(), page.size());

    std::optional<bool> result;
    run(env, Mode::region(Support::Rect::fromQRectF(QRectF(area))), [&](bool ok) { result = ok; });
    ASSERT_TRUE(waitUntil([&] { return editor->last() != nullptr; }, 60000));
    const std::shared_ptr<EditSession> edit = editor->last();
    EXPECT_EQ(rgb(edit->path()), page) << "the working copy is the page as it was";
    edit->exportToFolder();
    ASSERT_TRUE(waitUntil([&] { return result.has_value() && captureLibrary->entries().size() == 2; }, 60000));
    EXPECT_TRUE(*result);

    const auto email = boxOf(edit->viewModel().suggested(), "email");
    const auto card = boxOf(edit->viewModel().suggested(), "card");
    ASSERT_TRUE(email && card);
    const QImage exported = rgb(captureLibrary->entries().first().path());
    EXPECT_LT(unchangedShare(exported, page, *email), 0.1);
    EXPECT_LT(unchangedShare(exported, page, *card), 0.1);
    EXPECT_EQ(exported.copy(30, 180, 300, 30), page.copy(30, 180, 300, 30));
    EXPECT_TRUE(alerts->shown.empty());
}

TEST_F(PipelineX11Test, ABlockedApplicationLeftOutLeavesNoneOfItsPixels) {
    managed["BlockedBundleIDs"] = nlohmann::json::array({"org.example.Blocked"});
    managed["BlockedAppBehavior"] = "omit";
    const QRgb blocked = qRgb(0xff, 0x00, 0xff);
    start(CAPTURE_TEST_CLIENT, {"300", "250", "400", "300", "ff00ff", "--class", "org.example.Blocked"});

    CapturedLog captured;
    ASSERT_EQ(capture(Mode::region(Support::Rect(200, 200, 700, 500))), true);
    ASSERT_EQ(captureLibrary->entries().size(), 1);
    const QImage saved = rgb(captureLibrary->entries().first().path());
    ASSERT_EQ(saved.size(), QSize(700, 500));
    int leaked = 0;
    for (int y = 0; y < saved.height(); ++y)
        for (int x = 0; x < saved.width(); ++x) leaked += (saved.pixel(x, y) & 0xffffff) == (blocked & 0xffffff);
    EXPECT_EQ(leaked, 0);
    ASSERT_FALSE(captured.log->events().empty());
    EXPECT_EQ(captured.log->events()[0], AuditEvent::capture("region", {}, {}, "omit"));
}
