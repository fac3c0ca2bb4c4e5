#include "DetectionKit/SharedRecognizers.h"

#include "DetectionKit/EngineModule.h"

#include <dlfcn.h>

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

// Made on first use from the module; throws RecognitionError when the module cannot be loaded.
template <typename Engine>
class LazyEngine {
public:
    using Maker = std::shared_ptr<Engine> (*EngineModule::*)();
    explicit LazyEngine(Maker maker) : maker_(maker) {}

    Engine& get() {
        std::call_once(made_, [this] {
            const LoadedModule& loaded = engineModule();
            if (loaded.module) engine_ = (loaded.module->*maker_)();
        });
        if (!engine_) throw RecognitionError(engineModule().error);
        return *engine_;
    }

private:
    Maker maker_;
    std::once_flag made_;
    std::shared_ptr<Engine> engine_;
};

class LazyTextRecognizer final : public TextRecognizer {
public:
    std::vector<RecognizedLine> recognize(const QImage& image) override { return engine_.get().recognize(image); }
    std::vector<RecognizedLine> recognizeAround(const QImage& image, const std::vector<Support::Rect>& blanks) override {
        return engine_.get().recognizeAround(image, blanks);
    }

private:
    LazyEngine<TextRecognizer> engine_{&EngineModule::makeTextRecognizer};
};

class LazyFaceDetector final : public FaceDetector {
public:
    std::vector<Support::Rect> detectFaces(const QImage& image) override { return engine_.get().detectFaces(image); }

private:
    LazyEngine<FaceDetector> engine_{&EngineModule::makeFaceDetector};
};

} // namespace

// Made once and never destroyed: the engines hold on to the recognition library's own statics
// (its shared dictionary cache), which are made after these and so would be gone before these
// were torn down at exit.
std::shared_ptr<TextRecognizer> sharedTextRecognizer() {
    static const auto* shared = new std::shared_ptr<TextRecognizer>(std::make_shared<LazyTextRecognizer>());
    return *shared;
}

std::shared_ptr<FaceDetector> sharedFaceDetector() {
    static const auto* shared = new std::shared_ptr<FaceDetector>(std::make_shared<LazyFaceDetector>());
    return *shared;
}

} // namespace DetectionKit
