#include "DetectionKit/SharedRecognizers.h"

#include "DetectionKit/EngineModule.h"
#include "DetectionKit/IdleEngineKeeper.h"
#include "DetectionKit/ModuleFile.h"
#include "Support/ResidentPages.h"

#include <dlfcn.h>
#include <malloc.h>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <set>
#include <string>
#include <thread>

namespace DetectionKit {

namespace {

// The process's heap. A capture's working blocks (screen images, recognition and face buffers)
// come from it and, while the engines are warm, stay there between captures instead of being
// mapped, faulted in and unmapped again every time; once the engines are let go it is handed back.
// Each thread keeps its arena: on one shared arena the recognition and face threads queue for the
// allocator and detection takes two to four times as long. Set as the program starts.
constexpr int kOwnPagesFrom = 32 * 1024 * 1024; // blocks past a 4K screen's image are mapped alone
constexpr int kKeptHeapTopWarm = 1024 * 1024 * 1024;
constexpr int kKeptHeapTopIdle = 128 * 1024; // the allocator's own default

[[maybe_unused]] const bool heapSet = [] {
    mallopt(M_MMAP_THRESHOLD, kOwnPagesFrom);
    mallopt(M_TRIM_THRESHOLD, kKeptHeapTopIdle);
    return true;
}();

// The engines live in a module of their own, loaded by the first recognition: the recognition and
// vision libraries they pull in cost an idle app as much memory as everything else it maps. The
// module is never unloaded once loaded; a failure to load it (a file missing or cut short is found
// before the loader maps it) is reported to the recognition that asked, and the next one tries
// again (a package being upgraded puts it back).
struct LoadedModule {
    const EngineModule* module = nullptr;
    // The code and constants of the libraries it brought: resident while engines work, let go
    // with the last engine (the libraries stay mapped).
    std::vector<Support::ResidentPages::Range> libraryPages;
};

std::mutex moduleMutex;
const LoadedModule* loadedModule = nullptr; // set once, never freed: engines may live until exit

// Throws RecognitionError when the module cannot be loaded.
const EngineModule& engineModule() {
    std::lock_guard lock(moduleMutex);
    if (loadedModule) return *loadedModule->module;
    const std::set<std::uintptr_t> before = Support::ResidentPages::loadedObjects();
    void* handle = nullptr;
    try {
        handle = ModuleFile::load(QStringLiteral(BRINDLECAST_DETECTION_ENGINES));
    } catch (const RecognitionError& error) {
        throw RecognitionError(std::string("recognition engines could not be loaded: ") + error.what(), error.cause());
    }
    const auto entry = reinterpret_cast<EngineModule::Entry>(dlsym(handle, EngineModule::kEntryPoint));
    const EngineModule* module = entry ? entry() : nullptr;
    if (!module || module->version != EngineModule::kVersion || !module->makeTextRecognizer || !module->makeFaceDetector) {
        throw RecognitionError("recognition engines could not be loaded: " BRINDLECAST_DETECTION_ENGINES
                               " is not this build's engine module",
                               RecognitionError::Cause::installationDamaged);
    }
    loadedModule = new LoadedModule{module, Support::ResidentPages::readOnlySegmentsLoadedSince(before)};
    return *module;
}

std::vector<Support::ResidentPages::Range> engineLibraryPages() {
    std::lock_guard lock(moduleMutex);
    return loadedModule ? loadedModule->libraryPages : std::vector<Support::ResidentPages::Range>{};
}

// How many engines are warm. The heap's top is kept from an engine's warming until an engine is
// let go: the engines go idle together, and the heap is handed back with the threshold down
// (when one engine went while the other was kept warm, the first hand-back would reach nothing).
std::mutex warmMutex;
int warmEngines = 0;

void engineWarmed() {
    std::lock_guard lock(warmMutex);
    ++warmEngines;
    mallopt(M_TRIM_THRESHOLD, kKeptHeapTopWarm);
}

// Before an engine is destroyed: a worker thread's arena gives back its top only when a block is
// freed onto it (malloc_trim returns the main arena's top and the free blocks inside arenas), so
// the engine's own blocks are freed with the allocator's threshold down.
void engineCooling() {
    std::lock_guard lock(warmMutex);
    mallopt(M_TRIM_THRESHOLD, kKeptHeapTopIdle);
}

void engineCooled() {
    std::lock_guard lock(warmMutex);
    if (--warmEngines == 0) Support::ResidentPages::releaseUnwrittenPages(engineLibraryPages());
}

// The uses of either engine running now. Once the last one ends, the free pages of every arena go
// back, the main arena's top with them: a detection leaves its working blocks free in the middle
// of the arenas, a little elsewhere each time, and kept they let the memory held between
// detections, and the peak of the next, grow with each capture (some 30 MB over forty captures of
// a 1920x1080 screen). Faulting the pages in again costs the next detection a few hundredths of a
// second.
std::atomic<int> usesRunning{0};

struct UseRunning {
    UseRunning() { ++usesRunning; }
    ~UseRunning() {
        if (--usesRunning == 0) malloc_trim(0);
    }
};

// Made from the module on first use, and again after the keeper let it go; throws
// RecognitionError when the module cannot be loaded. An engine whose use failed (its data was
// missing, for one) is let go, so the next use makes a new one rather than meeting the same
// failure until the engine would have gone idle.
template <typename Engine>
class KeptEngine {
public:
    using Maker = std::shared_ptr<Engine> (*EngineModule::*)();
    explicit KeptEngine(Maker maker)
        : keeper_([maker]() -> std::shared_ptr<void> {
              std::shared_ptr<Engine> engine = (engineModule().*maker)();
              if (!engine) throw RecognitionError("the recognition engine could not be made");
              engineWarmed();
              // The keeper hands the heap back after this runs.
              return std::shared_ptr<void>(engine.get(), [engine](void*) mutable {
                  engineCooling();
                  engine.reset();
                  engineCooled();
              });
          }) {}

    template <typename Use>
    auto with(Use use) {
        const UseRunning running;
        IdleEngineKeeper::Lease lease = acquire();
        try {
            return use(*static_cast<Engine*>(lease.engine().get()));
        } catch (...) {
            lease.discard();
            throw;
        }
    }

    void close() { keeper_.close(); }

private:
    IdleEngineKeeper::Lease acquire() {
        try {
            return keeper_.acquire();
        } catch (const IdleEngineKeeper::Closed& closed) {
            throw RecognitionError(closed.what());
        }
    }

    IdleEngineKeeper keeper_;
};

class KeptTextRecognizer final : public TextRecognizer {
public:
    std::vector<RecognizedLine> recognize(const QImage& image) override {
        return engine_.with([&](TextRecognizer& engine) { return engine.recognize(image); });
    }
    std::vector<RecognizedLine> recognizeAround(const QImage& image, const std::vector<Support::Rect>& blanks) override {
        return engine_.with([&](TextRecognizer& engine) { return engine.recognizeAround(image, blanks); });
    }
    void prepare() override {
        engine_.with([](TextRecognizer& engine) { engine.prepare(); });
    }
    void close() { engine_.close(); }

private:
    KeptEngine<TextRecognizer> engine_{&EngineModule::makeTextRecognizer};
};

class KeptFaceDetector final : public FaceDetector {
public:
    std::vector<Support::Rect> detectFaces(const QImage& image) override {
        return engine_.with([&](FaceDetector& engine) { return engine.detectFaces(image); });
    }
    void prepare() override {
        engine_.with([](FaceDetector& engine) { engine.prepare(); });
    }
    void close() { engine_.close(); }

private:
    KeptEngine<FaceDetector> engine_{&EngineModule::makeFaceDetector};
};

// Made once and never destroyed: the engines hold on to the recognition library's own statics
// (its shared dictionary cache), which are made after these and so would be gone before these
// were torn down at exit. The engines themselves are let go after a minute without detection, and
// for good by closeSharedRecognizers().
const std::shared_ptr<KeptTextRecognizer>& keptTextRecognizer() {
    static const auto* shared = new std::shared_ptr<KeptTextRecognizer>(std::make_shared<KeptTextRecognizer>());
    return *shared;
}

const std::shared_ptr<KeptFaceDetector>& keptFaceDetector() {
    static const auto* shared = new std::shared_ptr<KeptFaceDetector>(std::make_shared<KeptFaceDetector>());
    return *shared;
}

// The preparing threads run on their own, so closing waits for them; none starts once closed.
struct Preparations {
    std::mutex mutex;
    std::condition_variable ended;
    int running = 0;
    bool closed = false;
};

Preparations& preparations() {
    static auto* shared = new Preparations;
    return *shared;
}

} // namespace

std::shared_ptr<TextRecognizer> sharedTextRecognizer() { return keptTextRecognizer(); }

std::shared_ptr<FaceDetector> sharedFaceDetector() { return keptFaceDetector(); }

void prepareSharedRecognizers() {
    Preparations& p = preparations();
    const auto prepare = [&p](auto engine) {
        {
            std::lock_guard lock(p.mutex);
            if (p.closed) return;
            ++p.running;
        }
        std::thread([&p, engine = std::move(engine)]() mutable {
            try {
                engine->prepare();
            } catch (const std::exception&) {
                // The detection that follows meets the same failure and reports it.
            }
            engine.reset();
            std::lock_guard lock(p.mutex);
            --p.running;
            p.ended.notify_all();
        }).detach();
    };
    prepare(sharedTextRecognizer());
    prepare(sharedFaceDetector());
}

void closeSharedRecognizers() {
    Preparations& p = preparations();
    {
        std::unique_lock lock(p.mutex);
        p.closed = true;
        p.ended.wait(lock, [&p] { return p.running == 0; });
    }
    keptTextRecognizer()->close();
    keptFaceDetector()->close();
}

} // namespace DetectionKit
