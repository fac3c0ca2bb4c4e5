#include "DetectionKit/SharedRecognizers.h"

#include "DetectionKit/EngineModule.h"
#include "DetectionKit/IdleEngineKeeper.h"

#include <dlfcn.h>
#include <malloc.h>

#include <mutex>
#include <string>
#include <thread>

namespace DetectionKit {

namespace {

// The engines live in a module of their own, loaded by the first recognition: the recognition and
// vision libraries they pull in cost an idle app as much memory as everything else it maps. The
// module is never unloaded; a failure to load it is kept and reported by every recognition.
// Blocks of this size and more are mapped on their own (the allocator's upper bound).
constexpr int kOwnPagesFrom = 32 * 1024 * 1024;
// Free memory at a heap's top kept for the next capture rather than handed back at once.
constexpr int kKeptHeapTop = 1024 * 1024 * 1024;

struct LoadedModule {
    const EngineModule* module = nullptr;
    std::string error;
};

const LoadedModule& engineModule() {
    static const LoadedModule loaded = [] {
        LoadedModule result;
        // The working blocks of a capture (screen images, recognition and face buffers) stay in
        // the heaps between captures instead of being mapped, faulted in and unmapped again every
        // time: only blocks past a 4K screen's image get pages of their own, and the heaps' tops
        // are not trimmed as blocks are freed. The keeper hands all of it back (malloc_trim) when
        // it lets the engines go, so an idle app keeps none of it.
        mallopt(M_MMAP_THRESHOLD, kOwnPagesFrom);
        mallopt(M_TRIM_THRESHOLD, kKeptHeapTop);
        void* handle = dlopen(BRINDLECAST_DETECTION_ENGINES, RTLD_NOW | RTLD_LOCAL);
        if (!handle) {
            const char* reason = dlerror();
            result.error = std::string("recognition engines could not be loaded: ") + (reason ? reason : "unknown error");
            return result;
        }
        const auto entry = reinterpret_cast<EngineModule::Entry>(dlsym(handle, EngineModule::kEntryPoint));
        const EngineModule* module = entry ? entry() : nullptr;
        if (!module || module->version != EngineModule::kVersion || !module->makeTextRecognizer ||
            !module->makeFaceDetector) {
            result.error = "recognition engines could not be loaded: " BRINDLECAST_DETECTION_ENGINES
                           " is not this build's engine module";
            return result;
        }
        result.module = module;
        return result;
    }();
    return loaded;
}

// Made from the module on first use, and again after the keeper let it go; throws
// RecognitionError when the module cannot be loaded.
template <typename Engine>
class KeptEngine {
public:
    using Maker = std::shared_ptr<Engine> (*EngineModule::*)();
    explicit KeptEngine(Maker maker)
        : keeper_([maker]() -> std::shared_ptr<void> {
              const LoadedModule& loaded = engineModule();
              if (!loaded.module) throw RecognitionError(loaded.error);
              std::shared_ptr<Engine> engine = (loaded.module->*maker)();
              if (!engine) throw RecognitionError("the recognition engine could not be made");
              return engine;
          }) {}

    template <typename Use>
    auto with(Use use) {
        const IdleEngineKeeper::Lease lease = keeper_.acquire();
        return use(*static_cast<Engine*>(lease.engine().get()));
    }

private:
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

private:
    KeptEngine<FaceDetector> engine_{&EngineModule::makeFaceDetector};
};

} // namespace

// Made once and never destroyed: the engines hold on to the recognition library's own statics
// (its shared dictionary cache), which are made after these and so would be gone before these
// were torn down at exit. The engines themselves are let go after a minute without detection.
std::shared_ptr<TextRecognizer> sharedTextRecognizer() {
    static const auto* shared = new std::shared_ptr<TextRecognizer>(std::make_shared<KeptTextRecognizer>());
    return *shared;
}

std::shared_ptr<FaceDetector> sharedFaceDetector() {
    static const auto* shared = new std::shared_ptr<FaceDetector>(std::make_shared<KeptFaceDetector>());
    return *shared;
}

void prepareSharedRecognizers() {
    const auto prepare = [](auto engine) {
        std::thread([engine = std::move(engine)] {
            try {
                engine->prepare();
            } catch (const std::exception&) {
                // The detection that follows meets the same failure and reports it.
            }
        }).detach();
    };
    prepare(sharedTextRecognizer());
    prepare(sharedFaceDetector());
}

} // namespace DetectionKit
