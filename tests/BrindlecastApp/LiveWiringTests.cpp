// The pipeline wired to the application: its settings and library through ApplicationHost, and
// the live environment's own duties.
#include "PipelineTestSupport.h"

#include "BrindlecastApp/Library/CaptureLibrary.h"
#include "BrindlecastApp/Pipeline/ApplicationHost.h"
#include "BrindlecastApp/Pipeline/LiveEnvironment.h"
#include "BrindlecastApp/Settings/AppSettings.h"
#include "SidecarKit/SidecarStore.h"
#include "Support/UserDefaults.h"

using namespace PipelineTests;
using BrindlecastApp::AppSettings;

namespace {

struct Application {
    Support::UserDefaults defaults{TestSupport::makeTemporaryFolder("settings") + "/preferences.json"};
    AppSettings settings{&defaults};
    QString folder = TestSupport::makeTemporaryFolder("library");
    BrindlecastApp::CaptureLibrary library{folder};
    std::shared_ptr<ApplicationHost> host = std::make_shared<ApplicationHost>(settings, library, ApplicationHost::Windows{});
};

} // namespace

// The open edit keeps what the user did when the application goes down.
TEST(LiveEnvironment, QuittingStoresTheOpenEdit) {
    Application app;
    auto editor = std::make_shared<FakeEditor>();
    LiveWiring wiring;
    wiring.host = app.host;
    wiring.editor = editor;
    const Environment env = makeLiveEnvironment(wiring);

    const QString path = app.folder + "/Screenshot a.png";
    FakeScreen::patterned(QSize(40, 30), 1).save(path, "PNG");
    EditorRequest request;
    request.image = QImage(path);
    request.policy.sidecarMode = PolicyKit::SidecarMode::file;
    request.audit = std::make_shared<AuditKit::AuditLog>(nullptr, std::make_shared<RecordingLog>());
    request.modeName = "region";
    request.path = path;
    request.seedAnnotations = {box(Support::Rect(1, 1, 10, 10))};
    openEditor(env, request);
    ASSERT_TRUE(editor->last());

    QMetaObject::invokeMethod(QCoreApplication::instance(), "aboutToQuit", Qt::DirectConnection);
    EXPECT_EQ(editor->commits, 1);
    const auto stored = SidecarKit::SidecarStore::load(path);
    ASSERT_TRUE(stored.found);
    EXPECT_EQ(stored.found->document.annotations, request.seedAnnotations);
    EXPECT_EQ(stored.found->document.capture.mode, "region");
}
