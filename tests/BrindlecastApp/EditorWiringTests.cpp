#include "PipelineTestSupport.h"

#include "BrindlecastApp/Pipeline/DesktopWorkspace.h"
#include "BrindlecastApp/Pipeline/LibraryFiles.h"
#include "Support/Folders.h"
#include "BrindlecastApp/Review/ReviewViewModel.h"
#include "ExportKit/Exporter.h"
#include "support/FileSizeLimit.h"
#include "SidecarKit/SidecarStore.h"

#include <QDir>
#include <QDirIterator>

using namespace PipelineTests;
using SidecarKit::Annotation;
namespace SidecarStore = SidecarKit::SidecarStore;

namespace {

QImage pixels(const QString& path) { return QImage(path).convertToFormat(QImage::Format_ARGB32_Premultiplied); }

// A capture in the library: its working copy, a companion and, when asked, a sidecar; then opened.
struct OpenCapture {
    QString path;
    std::shared_ptr<EditSession> edit;
};

OpenCapture openCapture(Harness& h, const QString& name, std::vector<Detection> detections = {},
                        bool withSidecar = false, const QString& modeName = "display", bool detectionsPending = false) {
    Support::Folders::create(h.libraryFolder);
    const QString path = h.libraryFolder + "/" + name;
    const QImage image = FakeScreen::patterned(QSize(160, 100), 11);
    image.save(path, "PNG");
    FakeScreen::patterned(QSize(160, 100), 97).save(companionPath(path), "PNG");
    if (withSidecar) {
        SidecarStore::save(SidecarKit::SidecarDocument(1, {name, 160, 100, 1.0}, {modeName, false}, {box(Support::Rect(1, 1, 5, 5))}), path);
    }
    h.host->addToLibrary(path);
    EditorRequest request;
    request.image = image;
    request.detections = std::move(detections);
    request.policy = h.policy;
    request.audit = std::make_shared<AuditKit::AuditLog>(nullptr, h.log);
    request.modeName = modeName;
    request.path = path;
    request.contentImage = FakeScreen::patterned(QSize(160, 100), 97);
    request.detectionsPending = detectionsPending;
    openEditor(h.env, std::move(request));
    return {path, h.editor->last()};
}

void settle() { QCoreApplication::processEvents(); }

} // namespace

TEST(EditorWiring, StoringAnnotationsFollowsTheSidecarModeOfTheOpening) {
    for (const PolicyKit::SidecarMode mode :
         {PolicyKit::SidecarMode::off, PolicyKit::SidecarMode::file, PolicyKit::SidecarMode::embedded}) {
        for (const bool withAnnotations : {false, true}) {
            Harness h;
            h.policy.sidecarMode = mode;
            const OpenCapture c = openCapture(h, "Screenshot a.png");
            const QByteArray before = TestSupport::readFile(c.path);
            if (withAnnotations) c.edit->viewModel().setAnnotations({box(Support::Rect(10, 10, 40, 30))});
            // The policy changing later does not matter: the edit keeps the mode it opened with.
            h.policy.sidecarMode = PolicyKit::SidecarMode::off;
            c.edit->persist();

            const auto stored = SidecarStore::load(c.path);
            if (mode == PolicyKit::SidecarMode::off) {
                EXPECT_TRUE(stored.isMissing());
                EXPECT_EQ(TestSupport::readFile(c.path), before);
                continue;
            }
            ASSERT_TRUE(stored.found);
            EXPECT_EQ(stored.found->source,
                      mode == PolicyKit::SidecarMode::file ? SidecarKit::SidecarSource::file : SidecarKit::SidecarSource::embedded);
            const SidecarKit::SidecarDocument& document = stored.found->document;
            EXPECT_EQ(document.version, 1);
            EXPECT_EQ(document.image, SidecarKit::SidecarDocument::ImageMetadata("Screenshot a.png", 160, 100, 1.0));
            EXPECT_EQ(document.capture, SidecarKit::SidecarDocument::CaptureMetadata("display", false));
            EXPECT_EQ(document.annotations, c.edit->viewModel().annotations());
            EXPECT_EQ(QFile::exists(sidecarPath(c.path)), mode == PolicyKit::SidecarMode::file);
        }
    }
}

TEST(EditorWiring, TheVisibleWindowIsReusedAfterTheShownCaptureIsStored) {
    Harness h;
    h.policy.sidecarMode = PolicyKit::SidecarMode::file;
    const OpenCapture first = openCapture(h, "Screenshot a.png");
    first.edit->viewModel().setAnnotations({box(Support::Rect(10, 10, 40, 30))});
    const OpenCapture second = openCapture(h, "Screenshot b.png");
    EXPECT_EQ(h.editor->presented.size(), 1u);
    ASSERT_EQ(h.editor->loaded.size(), 1u);
    EXPECT_EQ(h.editor->loaded[0]->path(), second.path);
    ASSERT_TRUE(SidecarStore::load(first.path).found);
    EXPECT_EQ(SidecarStore::load(first.path).found->document.annotations.size(), 1u);

    // After the window closed, a new one is made.
    h.editor->close();
    openCapture(h, "Screenshot c.png");
    EXPECT_EQ(h.editor->presented.size(), 2u);
}

// Text typed into the shown capture when the next one arrives is part of what is stored.
TEST(EditorWiring, ALoadCommitsTheTextBeingTypedBeforeStoringThePreviousCapture) {
    Harness h;
    h.policy.sidecarMode = PolicyKit::SidecarMode::file;
    const OpenCapture first = openCapture(h, "Screenshot a.png");
    const Annotation typed = box(Support::Rect(5, 5, 10, 10));
    h.editor->onCommit = [&] { first.edit->viewModel().setAnnotations({typed}); };
    openCapture(h, "Screenshot b.png");
    EXPECT_EQ(h.editor->commits, 1);
    ASSERT_TRUE(SidecarStore::load(first.path).found);
    EXPECT_EQ(SidecarStore::load(first.path).found->document.annotations, std::vector<Annotation>{typed});
}

TEST(EditorWiring, CopyWhereTheClipboardIsNotAllowedDoesNothingAtAll) {
    Harness h;
    h.policy.allowedExportDestinations = {PolicyKit::ExportDestination::folder};
    const OpenCapture c = openCapture(h, "Screenshot a.png");
    c.edit->copy();
    for (int i = 0; i < 20; ++i) settle();
    EXPECT_EQ(h.clipboard->copies, 0);
    EXPECT_TRUE(h.log->events().empty());
    EXPECT_TRUE(h.alerts->shown.empty());
}

// The editor learns how a copy ended: the clipboard got the image, or the export failed with its
// alert; a copy the opening policy never allowed reports nothing.
TEST(EditorWiring, CopyTellsWhetherTheClipboardGotTheImage) {
    struct Case {
        const char* name;
        std::vector<PolicyKit::ExportDestination> atOpening;
        std::vector<PolicyKit::ExportDestination> atCopy;
        std::optional<bool> told;
        bool alert;
    };
    using PolicyKit::ExportDestination;
    const Case cases[] = {
        {"allowed", {ExportDestination::clipboard}, {ExportDestination::clipboard}, true, false},
        {"revoked since", {ExportDestination::clipboard}, {ExportDestination::folder}, false, true},
        {"never allowed", {ExportDestination::folder}, {ExportDestination::folder}, std::nullopt, false},
    };
    for (const Case& c : cases) {
        Harness h;
        h.policy.allowedExportDestinations = c.atOpening;
        const OpenCapture capture = openCapture(h, "Screenshot a.png");
        h.policy.allowedExportDestinations = c.atCopy;
        std::vector<bool> told;
        capture.edit->copy([&](bool copied) { told.push_back(copied); });
        if (c.told) {
            ASSERT_TRUE(waitUntil([&] { return !told.empty(); })) << c.name;
        } else {
            for (int i = 0; i < 20; ++i) settle();
        }
        for (int i = 0; i < 5; ++i) settle();
        EXPECT_EQ(told, c.told ? std::vector<bool>{*c.told} : std::vector<bool>{}) << c.name << ": told once, or never";
        EXPECT_EQ(h.clipboard->copies, c.told == true ? 1 : 0) << c.name;
        EXPECT_EQ(h.alerts->shown.size(), c.alert ? 1u : 0u) << c.name;
    }
}

// Annotations burnt into an exported file never travel with it as well.
TEST(EditorWiring, AFolderExportIsListedAndCarriesNoStoredAnnotations) {
    for (const PolicyKit::SidecarMode mode : {PolicyKit::SidecarMode::file, PolicyKit::SidecarMode::embedded}) {
        for (const bool jpeg : {false, true}) {
            Harness h;
            h.policy.sidecarMode = mode;
            if (jpeg) h.host->values.exportFormat = ExportKit::ImageFormat::jpeg(0.85);
            h.now = h.now.addSecs(60);
            const OpenCapture c = openCapture(h, "Screenshot a.png");
            c.edit->viewModel().setAnnotations({box(Support::Rect(10, 10, 40, 30))});
            c.edit->exportToFolder();
            ASSERT_TRUE(waitUntil([&] { return h.host->library.size() == 2; }));
            const QString exported = h.host->library.first();
            EXPECT_TRUE(exported.endsWith(jpeg ? "6.26.34 PM.jpg" : "6.26.34 PM.png")) << exported.toStdString();
            EXPECT_TRUE(SidecarStore::load(exported).isMissing());
            EXPECT_TRUE(h.log->errors().isEmpty()) << h.log->errors().join("|").toStdString();
        }
    }
}

TEST(EditorWiring, AnExportThePolicyNoLongerAllowsFailsWithAnAlert) {
    Harness h;
    const OpenCapture c = openCapture(h, "Screenshot a.png");
    h.policy.allowedExportDestinations = {PolicyKit::ExportDestination::clipboard};
    c.edit->exportToFolder();
    ASSERT_TRUE(waitUntil([&] { return !h.alerts->shown.empty(); }));
    EXPECT_EQ(h.alerts->shown[0], (ShownAlert{"Export failed", "destinationNotAllowed(folder)"}));
    EXPECT_EQ(h.log->errors(), QStringList{"editor export failed: destinationNotAllowed(folder)"});
    EXPECT_EQ(h.host->library.size(), 1);
}

// Flatten burns in what the editor hides, as it shows it: the reopened capture's search cannot
// find again what the annotations now cross, so nothing it hid may depend on that search.
TEST(EditorWiring, FlattenBurnsInWhatTheEditorHidesAndTheAnnotationsThenReopens) {
    struct Case {
        PolicyKit::SidecarMode mode;
        Annotation::RedactionStyle style;
    };
    for (const Case& way : {Case{PolicyKit::SidecarMode::file, Annotation::RedactionStyle::scramble},
                            Case{PolicyKit::SidecarMode::embedded, Annotation::RedactionStyle::solid}}) {
        Harness h;
        h.policy.sidecarMode = way.mode;
        // Found after the capture: the working copy does not hide it yet.
        const Support::Rect lateFinding(100, 60, 40, 20);
        const Support::Rect kept(10, 50, 50, 12), released(70, 80, 50, 12);
        const OpenCapture c = openCapture(
            h, "Screenshot a.png", {mandatory("email", lateFinding), suggested("phone", kept), suggested("ipv4", released)}, true);
        c.edit->viewModel().setReleasedSuggested({1});
        c.edit->viewModel().setRedactionStyle(way.style);
        c.edit->viewModel().setAnnotations({box(Support::Rect(10, 10, 40, 30))});
        c.edit->persist();

        c.edit->flatten();
        ASSERT_TRUE(waitUntil([&] { return h.editor->loaded.size() == 1; }));
        const QImage expected = ExportKit::Exporter::flatten(
            ExportKit::Exporter::redact(FakeScreen::patterned(QSize(160, 100), 11), {lateFinding, kept}, way.style),
            c.edit->viewModel().annotations());
        EXPECT_EQ(pixels(c.path), expected);
        EXPECT_FALSE(QFile::exists(sidecarPath(c.path)));
        EXPECT_FALSE(QFile::exists(companionPath(c.path)));
        EXPECT_TRUE(SidecarStore::load(c.path).isMissing());
        EXPECT_EQ(h.host->reloads, 1);

        // The reopened capture starts without annotations, and the flattened edit never stores
        // its annotations again (they would be drawn twice).
        const std::shared_ptr<EditSession> reopened = h.editor->loaded[0];
        EXPECT_EQ(reopened->modeName(), "reopen");
        EXPECT_TRUE(reopened->viewModel().annotations().empty());
        c.edit->persist();
        EXPECT_TRUE(SidecarStore::load(c.path).isMissing());
        EXPECT_TRUE(QDir(h.libraryFolder).entryList(QDir::Hidden | QDir::Files).filter(".flatten-").isEmpty());
    }
}

// Whatever the edit cannot tell it hides, it does not flatten: the search of the flattened pixels
// could miss what the strokes cross.
TEST(EditorWiring, FlattenIsRefusedWhileLookingForPersonalDataFails) {
    Harness h;
    h.detector = [](const QImage&) -> DetectionKit::DetectionResult { throw std::runtime_error("no engine"); };
    const OpenCapture c = openCapture(h, "Screenshot a.png", {}, true, "display", true);
    c.edit->detectionsFailed();
    c.edit->viewModel().setAnnotations({box(Support::Rect(10, 10, 40, 30))});
    const QByteArray before = TestSupport::readFile(c.path);
    c.edit->flatten();
    ASSERT_TRUE(waitUntil([&] { return !h.alerts->shown.empty(); }));
    EXPECT_EQ(h.alerts->shown[0].message, "Flatten failed");
    EXPECT_EQ(h.log->errors(), QStringList{"flatten failed: looking for personal data in the capture failed"});
    EXPECT_EQ(TestSupport::readFile(c.path), before);
    EXPECT_TRUE(QFile::exists(sidecarPath(c.path)));
    EXPECT_TRUE(h.editor->loaded.empty());
}

TEST(EditorWiring, FlattenWithoutAnnotationsDoesNothing) {
    Harness h;
    const OpenCapture c = openCapture(h, "Screenshot a.png", {}, true);
    const QByteArray before = TestSupport::readFile(c.path);
    c.edit->flatten();
    for (int i = 0; i < 20; ++i) settle();
    EXPECT_EQ(TestSupport::readFile(c.path), before);
    EXPECT_TRUE(QFile::exists(sidecarPath(c.path)));
    EXPECT_TRUE(h.editor->loaded.empty());
}

TEST(EditorWiring, AFailedFlattenLeavesEveryFileAsItWas) {
    struct Case {
        const char* name;
        bool fullDisk; // otherwise a folder stands where the working copy was
        const char* reason; // the alert's, before the folder
    };
    for (const Case& way : {Case{"folder in its place", false, "A folder in "},
                            Case{"full disk", true, "The file is too large for "}}) {
        SCOPED_TRACE(way.name);
        Harness h;
        h.policy.sidecarMode = PolicyKit::SidecarMode::file;
        const OpenCapture c = openCapture(h, "Screenshot a.png", {}, true);
        c.edit->viewModel().setAnnotations({box(Support::Rect(10, 10, 40, 30))});
        const QByteArray sidecar = TestSupport::readFile(sidecarPath(c.path));
        const QByteArray companion = TestSupport::readFile(companionPath(c.path));
        const QByteArray workingCopy = TestSupport::readFile(c.path);
        std::optional<TestSupport::FileSizeLimit> full;
        if (way.fullDisk) {
            full.emplace(64);
        } else {
            ASSERT_TRUE(QFile::remove(c.path));
            TestSupport::writeFile(c.path + "/blocker", "x");
        }

        c.edit->flatten();
        ASSERT_TRUE(waitUntil([&] { return !h.log->errors().isEmpty(); }));
        full.reset();
        EXPECT_TRUE(h.log->errors()[0].startsWith("flatten failed: ")) << h.log->errors()[0].toStdString();
        // The user is told with the folder and the reason, never the hidden file written meanwhile.
        ASSERT_EQ(h.alerts->shown.size(), 1u);
        EXPECT_EQ(h.alerts->shown[0].message, "Flatten failed");
        const QString told = h.alerts->shown[0].informativeText;
        EXPECT_TRUE(told.startsWith(way.reason + h.libraryFolder)) << told.toStdString();
        EXPECT_TRUE(told.endsWith(". The screenshot was not changed.")) << told.toStdString();
        EXPECT_FALSE(told.contains(".tmp-") || told.contains(".flatten-")) << told.toStdString();
        EXPECT_EQ(TestSupport::readFile(sidecarPath(c.path)), sidecar);
        EXPECT_EQ(TestSupport::readFile(companionPath(c.path)), companion);
        if (way.fullDisk) {
            EXPECT_EQ(TestSupport::readFile(c.path), workingCopy);
        }
        EXPECT_TRUE(h.editor->loaded.empty());
        const QStringList left = QDir(h.libraryFolder).entryList(QDir::Hidden | QDir::Files);
        EXPECT_TRUE(left.filter(".flatten-").isEmpty());
        EXPECT_TRUE(left.filter(".tmp-").isEmpty()) << left.join(", ").toStdString();
        // Still an ordinary edit: its annotations are stored.
        c.edit->persist();
        ASSERT_TRUE(SidecarStore::load(c.path).found);
        EXPECT_EQ(SidecarStore::load(c.path).found->document.annotations, c.edit->viewModel().annotations());
    }
}

namespace {

struct TrashRow {
    const char* name;
    bool ask;
    bool confirmed;
    bool withSidecar;
    bool othersInLibrary;
};

QString trashFolder() { return qEnvironmentVariable("XDG_DATA_HOME") + "/Trash"; }

} // namespace

// Deleting moves the files into the freedesktop Trash, with their .trashinfo records.
TEST(EditorWiring, DeleteMovesTheCaptureToTheTrashAndMovesOn) {
    const std::vector<TrashRow> rows = {
        {"asked and confirmed", true, true, true, true},
        {"asked and cancelled", true, false, true, true},
        {"shift held: not asked", false, false, true, false},
        {"no sidecar", false, false, false, true},
    };
    for (const TrashRow& row : rows) {
        SCOPED_TRACE(row.name);
        Harness h;
        h.env->trash = std::make_shared<DesktopWorkspace>();
        h.alerts->answer = row.confirmed;
        h.policy.sidecarMode = PolicyKit::SidecarMode::file;
        const QString name = QStringLiteral("Screenshot %1.png").arg(QUuid::createUuid().toString(QUuid::Id128));
        if (row.othersInLibrary) openCapture(h, "Screenshot older.png");
        const OpenCapture c = openCapture(h, name, {}, row.withSidecar);
        c.edit->viewModel().setAnnotations({box(Support::Rect(10, 10, 40, 30))});

        c.edit->deleteImage(row.ask);
        ASSERT_TRUE(waitUntil([&] { return !QFile::exists(c.path) || (row.ask && !h.alerts->asked.empty()); }));
        settle();
        if (row.ask) {
            ASSERT_EQ(h.alerts->asked.size(), 1u);
            EXPECT_EQ(h.alerts->asked[0].message, "Delete this screenshot?");
            EXPECT_EQ(h.alerts->asked[0].informativeText,
                      name + " moves to the Trash. Hold Shift to skip this confirmation next time.");
            EXPECT_EQ(h.alerts->asked[0].confirmTitle, "Move to Trash");
            EXPECT_EQ(h.alerts->asked[0].cancelTitle, "Cancel");
        } else {
            EXPECT_TRUE(h.alerts->asked.empty());
        }
        const bool moved = !row.ask || row.confirmed;
        EXPECT_EQ(QFile::exists(c.path), !moved);
        if (!moved) {
            EXPECT_TRUE(h.log->events().empty());
            c.edit->persist();
            EXPECT_TRUE(SidecarStore::load(c.path).found);
            continue;
        }
        QStringList trashed;
        for (const QString& file : {name, name + ".brindlecast.json", QFileInfo(companionPath(c.path)).fileName()}) {
            if (file.endsWith(".json") && !row.withSidecar) continue;
            trashed << file;
            EXPECT_TRUE(QFile::exists(trashFolder() + "/files/" + file)) << file.toStdString();
            const QByteArray info = TestSupport::readFile(trashFolder() + "/info/" + file + ".trashinfo");
            EXPECT_TRUE(info.startsWith("[Trash Info]\nPath=")) << info.toStdString();
            EXPECT_TRUE(info.contains("DeletionDate="));
        }
        EXPECT_EQ(h.log->events(), std::vector<AuditEvent>{AuditEvent::export_("trash", "")});
        EXPECT_EQ(h.host->reloads, 1);
        if (row.othersInLibrary) {
            EXPECT_EQ(h.host->opened, QStringList{h.libraryFolder + "/Screenshot older.png"});
            EXPECT_EQ(h.editor->closes, 0);
        } else {
            EXPECT_TRUE(h.host->opened.isEmpty());
            EXPECT_EQ(h.editor->closes, 1);
        }
        // The pending store of the deleted capture is gone: nothing comes back beside it.
        c.edit->persist();
        EXPECT_FALSE(QFile::exists(sidecarPath(c.path)));
    }
}

// While the window still shows a capture moved to the Trash (the next one is being opened), nothing
// of it leaves: neither Copy, nor Export to Folder, nor the text copied from it, whose policy of
// the moment allows no destination; an export that waited for the companion is dropped too.
TEST(EditorWiring, NothingLeavesACaptureMovedToTheTrash) {
    Harness h;
    openCapture(h, "Screenshot older.png");
    const OpenCapture c = openCapture(h, "Screenshot a.png");
    std::vector<bool> told;
    // Asked for without a question, the move waits for the next turn; a copy meanwhile is refused.
    c.edit->deleteImage(false);
    c.edit->copy([&](bool copied) { told.push_back(copied); });
    ASSERT_TRUE(waitUntil([&] { return !QFile::exists(c.path); }));
    settle();
    ASSERT_EQ(h.host->opened, QStringList{h.libraryFolder + "/Screenshot older.png"});
    const std::size_t events = h.log->events().size();
    ASSERT_EQ(events, 1u) << "only the move to the Trash is recorded";
    c.edit->copy([&](bool copied) { told.push_back(copied); });
    c.edit->exportToFolder();
    for (int i = 0; i < 20; ++i) settle();
    Harness::settle();
    EXPECT_EQ(h.clipboard->copies, 0);
    EXPECT_EQ(h.libraryFiles(), (QStringList{"Screenshot older.content.png", "Screenshot older.png"}));
    EXPECT_EQ(h.log->events().size(), events) << "an export was recorded";
    EXPECT_TRUE(h.alerts->shown.empty());
    EXPECT_TRUE(told.empty());
    EXPECT_TRUE(c.edit->viewModel().currentPolicy().allowedExportDestinations.empty());
    EXPECT_FALSE(h.policy.allowedExportDestinations.empty()) << "the policy itself stays as it is";
}

TEST(EditorWiring, AWorkingCopyThatDoesNotMoveStaysWithItsPendingStore) {
    Harness h;
    h.trash->refuse = true;
    h.policy.sidecarMode = PolicyKit::SidecarMode::file;
    const OpenCapture c = openCapture(h, "Screenshot a.png");
    c.edit->viewModel().setAnnotations({box(Support::Rect(10, 10, 40, 30))});
    c.edit->deleteImage(false);
    ASSERT_TRUE(waitUntil([&] { return !h.alerts->shown.empty(); }));
    EXPECT_EQ(h.alerts->shown[0],
              (ShownAlert{"Delete failed", "You do not have permission to change " + h.libraryFolder +
                                               ". Screenshot a.png was not moved to the Trash."}));
    EXPECT_TRUE(h.log->events().empty());
    EXPECT_EQ(h.host->reloads, 0);
    EXPECT_TRUE(h.host->opened.isEmpty());
    c.edit->persist();
    ASSERT_TRUE(SidecarStore::load(c.path).found);
}

TEST(EditorWiring, ReleasingAMandatoryRedactionIsAuditedOncePerEdit) {
    Harness h;
    const OpenCapture c = openCapture(h, "Screenshot a.png", {mandatory("ssn", Support::Rect(1, 1, 10, 10))});
    c.edit->viewModel().reportMandatoryTamper();
    c.edit->viewModel().reportMandatoryTamper();
    EXPECT_EQ(h.log->events(), std::vector<AuditEvent>{AuditEvent::policyViolation(
                                   "mandatoryRedactionTamperAttempt", "attempted to release a mandatory redaction in the editor")});
}

TEST(EditorWiring, QuittingStoresTheOpenEditOnceAfterCommittingItsText) {
    Harness h;
    h.policy.sidecarMode = PolicyKit::SidecarMode::file;
    const OpenCapture c = openCapture(h, "Screenshot a.png");
    const Annotation typed = box(Support::Rect(5, 5, 10, 10));
    h.editor->onCommit = [&] { c.edit->viewModel().setAnnotations({typed}); };
    persistOpenEditBeforeQuit(h.env);
    EXPECT_EQ(h.editor->commits, 1);
    ASSERT_TRUE(SidecarStore::load(c.path).found);
    EXPECT_EQ(SidecarStore::load(c.path).found->document.annotations, std::vector<Annotation>{typed});

    // The window closing as the application goes down stores nothing more.
    c.edit->viewModel().setAnnotations({});
    c.edit->persist();
    EXPECT_EQ(SidecarStore::load(c.path).found->document.annotations.size(), 1u);
}

// Annotations that cannot be stored (a folder in the way of the annotation file) as another
// capture takes the window: the new capture comes at once, and the user is asked about the old
// one on the next turn; Retry stores it once the cause is gone.
TEST(EditorWiring, AFailedStoreAsksAboutThePreviousCaptureAndTheNextComesAllTheSame) {
    Harness h;
    h.policy.sidecarMode = PolicyKit::SidecarMode::file;
    const OpenCapture first = openCapture(h, "Screenshot a.png");
    first.edit->viewModel().setAnnotations({box(Support::Rect(10, 10, 40, 30))});
    ASSERT_TRUE(QDir().mkpath(sidecarPath(first.path)));
    const OpenCapture second = openCapture(h, "Screenshot b.png");
    EXPECT_EQ(h.editor->last(), second.edit);
    EXPECT_TRUE(h.alerts->asked.empty());

    ASSERT_TRUE(QDir().rmdir(sidecarPath(first.path)));
    ASSERT_TRUE(waitUntil([&] { return !h.alerts->asked.empty(); }));
    EXPECT_EQ(h.alerts->asked[0].message, "Annotations could not be saved");
    ASSERT_TRUE(SidecarStore::load(first.path).found);
    EXPECT_EQ(SidecarStore::load(first.path).found->document.annotations.size(), 1u);
}

// Quit and the termination signals leave only once the open edit is stored, or once the user,
// asked after a failed store, retried successfully or discarded; the edit stores nothing after.
TEST(EditorWiring, LeavingWaitsUntilTheOpenEditIsStoredOrDiscarded) {
    for (const bool retry : {true, false}) {
        SCOPED_TRACE(retry ? "Retry" : "Discard");
        Harness h;
        h.policy.sidecarMode = PolicyKit::SidecarMode::file;
        const OpenCapture c = openCapture(h, "Screenshot a.png");
        c.edit->viewModel().setAnnotations({box(Support::Rect(10, 10, 40, 30))});
        ASSERT_TRUE(QDir().mkpath(sidecarPath(c.path)));
        int left = 0;
        storeOpenEditBeforeLeaving(h.env, [&] { ++left; });
        EXPECT_EQ(left, 0);

        h.alerts->answer = retry;
        ASSERT_TRUE(QDir().rmdir(sidecarPath(c.path)));
        ASSERT_TRUE(waitUntil([&] { return left > 0; }));
        EXPECT_EQ(left, 1);
        EXPECT_EQ(SidecarStore::load(c.path).found.has_value(), retry);
        QFile::remove(sidecarPath(c.path));
        c.edit->persist();
        EXPECT_FALSE(QFile::exists(sidecarPath(c.path))) << "stored again after leaving";
    }
}

// A signal ends the app where nobody answers: one try, no question, the failure logged with the
// capture, the annotation file and the reason; the edit stores nothing after. An edit whose
// annotations are as stored (nothing drawn, or drawn and stored) needs no store to end, whether a
// signal or Quit ends the app, and so no question either.
TEST(EditorWiring, LeavingOnASignalTriesOnceAndLeavingUnchangedStoresNothing) {
    struct Case {
        const char* name;
        bool drawn;
        bool storedAfterDrawing;
        bool signal;
        bool logged;
    };
    const Case cases[] = {
        {"signal, drawn", true, false, true, true},
        {"signal, nothing drawn", false, false, true, false},
        {"signal, drawn and stored", true, true, true, false},
        {"Quit, nothing drawn", false, false, false, false},
        {"Quit, drawn and stored", true, true, false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Harness h;
        h.policy.sidecarMode = PolicyKit::SidecarMode::file;
        const OpenCapture open = openCapture(h, "Screenshot a.png");
        if (c.drawn) open.edit->viewModel().setAnnotations({box(Support::Rect(10, 10, 40, 30))});
        if (c.storedAfterDrawing) {
            ASSERT_TRUE(open.edit->persist());
        }
        QFile::remove(sidecarPath(open.path));
        ASSERT_TRUE(QDir().mkpath(sidecarPath(open.path))); // every store fails from here
        int left = 0;
        if (c.signal) {
            storeOpenEditBeforeSignalEnd(h.env);
        } else {
            storeOpenEditBeforeLeaving(h.env, [&] { ++left; });
            EXPECT_EQ(left, 1);
        }
        settle();
        EXPECT_TRUE(h.alerts->asked.empty());
        const QStringList failures = h.log->errors().filter("not stored as the app ends on a signal");
        ASSERT_EQ(failures.size(), c.logged ? 1 : 0) << h.log->errors().join('\n').toStdString();
        if (c.logged) {
            EXPECT_TRUE(failures[0].contains(open.path + " not stored")) << failures[0].toStdString();
            EXPECT_TRUE(failures[0].contains(sidecarPath(open.path) + ": ")) << failures[0].toStdString();
        }
        EXPECT_EQ(open.edit->ending(), EditSession::Ending::quit);
        ASSERT_TRUE(QDir().rmdir(sidecarPath(open.path)));
        open.edit->viewModel().setAnnotations({box(Support::Rect(1, 1, 4, 4))});
        EXPECT_TRUE(open.edit->persist());
        EXPECT_FALSE(QFile::exists(sidecarPath(open.path))) << "stored again after leaving";
    }
}

TEST(EditorWiring, QuittingStoresNothingForADeletedCapture) {
    Harness h;
    h.policy.sidecarMode = PolicyKit::SidecarMode::file;
    const OpenCapture c = openCapture(h, "Screenshot a.png");
    c.edit->viewModel().setAnnotations({box(Support::Rect(5, 5, 10, 10))});
    c.edit->deleteImage(false);
    ASSERT_TRUE(waitUntil([&] { return !QFile::exists(c.path); }));
    h.editor->current = c.edit; // the window had not moved on yet
    persistOpenEditBeforeQuit(h.env);
    EXPECT_FALSE(QFile::exists(sidecarPath(c.path)));
}
