#include "DetectionKit/SharedRecognizers.h"

#include "DetectionKit/EngineModule.h"
#include "DetectionKit/IdleEngineKeeper.h"

#include <dlfcn.h>
#include <malloc.h>

#include <mutex>
#include <string>

namespace DetectionKit {

namespace {

// The engines live in a module of their own, loaded by the first recognition: the recognition and
// vision libraries they pull in cost an idle app as much memory as everything else it maps. The
// module is never unloaded; a failure to load it is kept and reported by every recognition.
struct LoadedModule {
    const EngineModule* module = nullptr;
    std::string error;
};

const LoadedModule& engineModule() {
    static const LoadedModule loaded = [] {
        LoadedModule result;
        // Blocks of 128 KiB and more get pages of their own, handed back when freed. Without this
        // the allocator raises that bound as the engines free large blocks and then serves them
        // from the worker threads' heaps, which keep some 100 MB after the engines are let go.
        mallopt(M_MMAP_THRESHOLD, 128 * 1024);
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

private:
    KeptEngine<TextRecognizer> engine_{&EngineModule::makeTextRecognizer};
};

class KeptFaceDetector final : public FaceDetector {
public:
    std::vector<Support::Rect> detectFaces(const QImage& image) override {
        return engine_.with([&](FaceDetector& engine) { return engine.detectFaces(image); });
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

} // namespace DetectionKit
