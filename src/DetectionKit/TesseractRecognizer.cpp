#include "DetectionKit/TesseractRecognizer.h"

#include "DetectionKit/ImageBoxes.h"
#include "DetectionKit/LineAssembly.h"
#include "DetectionKit/ScreenTextRegions.h"

#include <opencv2/imgproc.hpp>
#include <tesseract/baseapi.h>
#include <tesseract/resultiterator.h>

#include <dlfcn.h>

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <numeric>
#include <stdexcept>
#include <thread>

namespace DetectionKit {

namespace {

// The engine's own OpenMP threads would fight the pool for the same cores: each engine reads one
// line at a time on its worker, the pool supplies the parallelism. The setting belongs to the
// calling thread, so every worker makes it for itself. The runtime comes with the engine's
// library when it was built with OpenMP, and is looked up there rather than linked.
void keepThisThreadsEngineSingleThreaded() {
    using SetLevels = void (*)(int);
    static const auto setMaxActiveLevels =
        reinterpret_cast<SetLevels>(dlsym(RTLD_DEFAULT, "omp_set_max_active_levels"));
    if (setMaxActiveLevels) setMaxActiveLevels(0);
}

std::unique_ptr<tesseract::TessBaseAPI> makeEngine(const TesseractRecognizer::Options& options, std::string& error) {
    auto engine = std::make_unique<tesseract::TessBaseAPI>();
    // Dictionaries off: nothing is "corrected" towards words. Regions arrive dark on white, so the
    // engine's second pass over inverted lines would only cost time.
    std::vector<std::string> names = {"load_system_dawg", "load_freq_dawg", "tessedit_do_invert", "user_defined_dpi",
                                      "debug_file"};
    std::vector<std::string> values = {"0", "0", "0", "300", "/dev/null"};
    const QByteArray dataPath = options.dataPath.toUtf8();
    const QByteArray language = options.language.toUtf8();
    const int status = engine->Init(dataPath.isEmpty() ? nullptr : dataPath.constData(), language.constData(),
                                    tesseract::OEM_LSTM_ONLY, nullptr, 0, &names, &values, false);
    if (status != 0) {
        error = "the text recognition engine could not load its '" + language.toStdString() + "' data";
        return nullptr;
    }
    engine->SetPageSegMode(tesseract::PSM_SINGLE_BLOCK);
    return engine;
}

using LineAssembly::PixelGlyph;
using LineAssembly::PixelLine;

// The lines the engine read in one prepared region, boxes in image pixels.
std::vector<PixelLine> readRegion(tesseract::TessBaseAPI& engine, const ScreenTextRegions::Prepared& prepared) {
    const cv::Mat& grey = prepared.grey;
    engine.SetImage(grey.data, grey.cols, grey.rows, 1, int(grey.step));
    engine.SetSourceResolution(300);
    std::vector<PixelLine> lines;
    if (engine.Recognize(nullptr) != 0) throw std::runtime_error("the text recognition engine failed on a region");

    auto toImage = [&](int left, int top, int right, int bottom) {
        const double s = prepared.scale;
        const double m = prepared.margin;
        return Support::Rect(prepared.origin.x + (left - m) / s, prepared.origin.y + (top - m) / s,
                             (right - left) / s, (bottom - top) / s);
    };

    std::unique_ptr<tesseract::ResultIterator> it(engine.GetIterator());
    if (!it) return lines;
    std::vector<std::vector<LineAssembly::Word>> words; // per line
    do {
        if (it->Empty(tesseract::RIL_SYMBOL)) continue;
        if (it->IsAtBeginningOf(tesseract::RIL_TEXTLINE) || words.empty()) words.emplace_back();
        if (it->IsAtBeginningOf(tesseract::RIL_WORD) || words.back().empty()) words.back().emplace_back();
        std::unique_ptr<char[]> utf8(it->GetUTF8Text(tesseract::RIL_SYMBOL));
        int left = 0, top = 0, right = 0, bottom = 0;
        if (!utf8 || !it->BoundingBox(tesseract::RIL_SYMBOL, &left, &top, &right, &bottom) || right <= left ||
            bottom <= top)
            continue;
        words.back().back().push_back({QString::fromUtf8(utf8.get()), toImage(left, top, right, bottom)});
    } while (it->Next(tesseract::RIL_SYMBOL));

    for (const auto& lineWords : words) {
        PixelLine line = LineAssembly::assemble(lineWords);
        if (!line.text.trimmed().isEmpty() && !line.box.isEmpty()) lines.push_back(std::move(line));
    }
    return lines;
}

cv::Mat bgrOf(const QImage& image) {
    const QImage rgb = image.convertToFormat(QImage::Format_RGB888);
    const cv::Mat view(rgb.height(), rgb.width(), CV_8UC3, const_cast<uchar*>(rgb.constBits()),
                       size_t(rgb.bytesPerLine()));
    cv::Mat bgr;
    cv::cvtColor(view, bgr, cv::COLOR_RGB2BGR);
    return bgr;
}

} // namespace

// Worker threads, each owning one engine for its whole life. Jobs are run in the order queued.
class TesseractRecognizer::EnginePool {
public:
    using Job = std::function<void(tesseract::TessBaseAPI*, const std::string& error)>;

    explicit EnginePool(const Options& options) {
        const int count = options.workers > 0 ? options.workers : int(std::max(1u, std::thread::hardware_concurrency()));
        starting_ = count;
        for (int i = 0; i < count; ++i) threads_.emplace_back([this, options] { work(options); });
    }

    ~EnginePool() {
        {
            std::lock_guard lock(mutex_);
            stopping_ = true;
        }
        wake_.notify_all();
        for (std::thread& t : threads_) t.join();
    }

    // Waits until every worker has tried to make its engine; the first failure, or empty.
    std::string startupError() {
        std::unique_lock lock(mutex_);
        started_.wait(lock, [this] { return starting_ == 0; });
        return startupError_;
    }

    void submit(std::vector<Job> jobs) {
        {
            std::lock_guard lock(mutex_);
            for (Job& job : jobs) jobs_.push_back(std::move(job));
        }
        wake_.notify_all();
    }

private:
    void work(const Options& options) {
        keepThisThreadsEngineSingleThreaded();
        std::string error;
        std::unique_ptr<tesseract::TessBaseAPI> engine = makeEngine(options, error);
        {
            std::lock_guard lock(mutex_);
            if (!error.empty() && startupError_.empty()) startupError_ = error;
            if (--starting_ == 0) started_.notify_all();
        }
        for (;;) {
            Job job;
            {
                std::unique_lock lock(mutex_);
                wake_.wait(lock, [this] { return stopping_ || !jobs_.empty(); });
                if (jobs_.empty()) return;
                job = std::move(jobs_.front());
                jobs_.pop_front();
            }
            job(engine.get(), error);
        }
    }

    std::mutex mutex_;
    std::condition_variable wake_;
    std::condition_variable started_;
    int starting_ = 0;
    std::string startupError_;
    std::deque<Job> jobs_;
    bool stopping_ = false;
    std::vector<std::thread> threads_;
};

TesseractRecognizer::TesseractRecognizer() : TesseractRecognizer(Options{}) {}

TesseractRecognizer::TesseractRecognizer(Options options) : pool_(std::make_unique<EnginePool>(options)) {}

TesseractRecognizer::~TesseractRecognizer() = default;

std::vector<RecognizedLine> TesseractRecognizer::recognize(const QImage& image) {
    if (image.isNull() || image.width() <= 0 || image.height() <= 0) throw RecognitionError("the image is empty");
    // An image without text must not pass for a successful reading when no engine could start.
    if (const std::string error = pool_->startupError(); !error.empty()) throw RecognitionError(error);

    const cv::Mat bgr = bgrOf(image);
    const std::vector<ScreenTextRegions::Region> regions = ScreenTextRegions::find(bgr);

    // Each job fills its own slot; the caller waits for all of them.
    struct Shared {
        std::mutex mutex;
        std::condition_variable done;
        size_t remaining = 0;
        std::string error;
        std::vector<std::vector<PixelLine>> results;
    };
    auto shared = std::make_shared<Shared>();
    shared->remaining = regions.size();
    shared->results.resize(regions.size());

    // Longest lines first, so that the last jobs to start are short ones.
    std::vector<size_t> order(regions.size());
    std::iota(order.begin(), order.end(), size_t(0));
    std::stable_sort(order.begin(), order.end(),
                     [&](size_t a, size_t b) { return regions[a].area.area() > regions[b].area.area(); });

    std::vector<EnginePool::Job> jobs;
    for (size_t index : order) {
        jobs.push_back([shared, index, &bgr, region = regions[index]](tesseract::TessBaseAPI* engine,
                                                                        const std::string& error) {
            std::vector<PixelLine> lines;
            std::string failure = error;
            if (engine) {
                try {
                    lines = readRegion(*engine, ScreenTextRegions::prepare(bgr, region));
                } catch (const std::exception& e) {
                    failure = e.what();
                }
            }
            std::lock_guard lock(shared->mutex);
            shared->results[index] = std::move(lines);
            if (!failure.empty() && shared->error.empty()) shared->error = failure;
            if (--shared->remaining == 0) shared->done.notify_all();
        });
    }
    pool_->submit(std::move(jobs));
    {
        std::unique_lock lock(shared->mutex);
        shared->done.wait(lock, [&] { return shared->remaining == 0; });
        if (!shared->error.empty()) throw RecognitionError(shared->error);
    }

    const double w = image.width();
    const double h = image.height();
    std::vector<RecognizedLine> lines;
    for (const std::vector<PixelLine>& regionLines : shared->results) {
        for (const PixelLine& pixelLine : regionLines) {
            RecognizedLine line;
            line.text = pixelLine.text;
            line.box = ImageBoxes::normalized(pixelLine.box, w, h);
            for (const PixelGlyph& g : pixelLine.glyphs)
                line.glyphs.push_back({g.start, g.length, ImageBoxes::normalized(g.box, w, h)});
            lines.push_back(std::move(line));
        }
    }
    return lines;
}

} // namespace DetectionKit
