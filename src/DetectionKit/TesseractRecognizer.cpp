#include "DetectionKit/TesseractRecognizer.h"

#include "DetectionKit/BaselineJoin.h"
#include "DetectionKit/ImageBoxes.h"
#include "DetectionKit/LineAssembly.h"
#include "DetectionKit/ReadRegionCache.h"
#include "DetectionKit/ScreenTextRegions.h"

#include <opencv2/imgproc.hpp>
#include <tesseract/baseapi.h>
#include <tesseract/resultiterator.h>

#include <dlfcn.h>
#include <sched.h>

#include <algorithm>
#include <cmath>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <functional>
#include <mutex>
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
    // Each glyph's other readings are kept only where they are asked for (readWords).
    std::vector<std::string> names = {"load_system_dawg", "load_freq_dawg", "tessedit_do_invert", "user_defined_dpi",
                                      "debug_file", "lstm_choice_mode"};
    std::vector<std::string> values = {"0", "0", "0", "300", "/dev/null", "0"};
    const QByteArray dataPath = options.dataPath.toUtf8();
    const QByteArray language = options.language.toUtf8();
    const int status = engine->Init(dataPath.isEmpty() ? nullptr : dataPath.constData(), language.constData(),
                                    tesseract::OEM_LSTM_ONLY, nullptr, 0, &names, &values, false);
    if (status != 0) {
        error = "the text recognition engine could not load its '" + language.toStdString() + "' data";
        return nullptr;
    }
    // Every region handed over is one line of text: no layout analysis.
    engine->SetPageSegMode(tesseract::PSM_SINGLE_LINE);
    return engine;
}

using LineAssembly::PixelGlyph;
using LineAssembly::PixelLine;

// The engine's glyph boxes checked against the ink of the prepared picture (dark on white). The
// engine can put a glyph's box beside its ink (a word's leading "j" gets a sliver at the next
// letter) or make it as tall as the field around the text, and a finding's box must cover the
// matched characters' ink and little more.
class InkFit {
public:
    explicit InkFit(const cv::Mat& grey) : grey_(grey) {}

    // Fits the line's glyph boxes to the ink and returns, per word, the widest blank run of columns
    // between it and the next word.
    std::vector<double> fitLine(std::vector<LineAssembly::Word>& words, const LineAssembly::Spacing& spacing) const {
        std::vector<double> heights;
        double top = grey_.rows, bottom = 0;
        for (const auto& word : words)
            for (const auto& glyph : word) {
                heights.push_back(glyph.box.height());
                top = std::min(top, glyph.box.minY());
                bottom = std::max(bottom, glyph.box.maxY());
            }
        if (heights.empty()) return {};
        std::nth_element(heights.begin(), heights.begin() + long(heights.size() / 2), heights.end());
        const double typical = heights[heights.size() / 2];
        const int pad = int(std::lround(0.3 * typical));
        bandTop_ = std::max(0, int(top) - pad);
        bandBottom_ = std::min(grey_.rows, int(std::ceil(bottom)) + pad);
        findRuleRows(int(std::lround(kRuleInHeights * typical)));
        // Blank columns that end a word: a monospaced space is a whole empty cell.
        const int space = std::max(2, int(std::lround(spacing.monospaced ? 0.8 * spacing.pitch : 0.3 * typical)));

        std::vector<double> blankAfter;
        for (size_t k = 0; k + 1 < words.size(); ++k)
            blankAfter.push_back(widestBlank(int(words[k].back().box.minX()), int(std::ceil(words[k + 1].front().box.maxX()))));
        for (size_t k = 0; k < words.size(); ++k) {
            auto& word = words[k];
            if (word.empty()) continue;
            const int leftLimit = k > 0 && !words[k - 1].empty() ? int(std::ceil(words[k - 1].back().box.maxX())) : 0;
            const int rightLimit = k + 1 < words.size() && !words[k + 1].empty() ? int(words[k + 1].front().box.minX()) : grey_.cols;
            Support::Rect& first = word.front().box;
            const int left = inkReach(int(first.minX()), leftLimit, -1, space);
            first = Support::Rect(left, first.minY(), std::max(first.maxX(), double(left + 1)) - left, first.height());
            Support::Rect& last = word.back().box;
            const int right = inkReach(int(std::ceil(last.maxX())) - 1, rightLimit - 1, +1, space) + 1;
            last = Support::Rect(last.minX(), last.minY(), std::max(last.width(), right - last.minX()), last.height());
            for (auto& glyph : word) glyph.box = tightened(glyph.box);
        }
        return blankAfter;
    }

private:
    bool columnHasInk(int x) const {
        if (x < 0 || x >= grey_.cols) return false;
        for (int y = bandTop_; y < bandBottom_; ++y)
            if (grey_.at<uchar>(y, x) < kInk) return true;
        return false;
    }

    // Rows of the band that hold a run of ink longer than any glyph: an underline, a field's border,
    // a strike-through. They pass under the blank between two words, which must still measure.
    void findRuleRows(int longestGlyphRun) const {
        ruleRows_.assign(size_t(std::max(0, bandBottom_ - bandTop_)), false);
        for (int y = bandTop_; y < bandBottom_; ++y) {
            const uchar* row = grey_.ptr<uchar>(y);
            int run = 0;
            for (int x = 0; x < grey_.cols && run <= longestGlyphRun; ++x) run = row[x] < kInk ? run + 1 : 0;
            ruleRows_[size_t(y - bandTop_)] = run > longestGlyphRun;
        }
    }

    bool columnHasInkOffRules(int x) const {
        if (x < 0 || x >= grey_.cols) return false;
        for (int y = bandTop_; y < bandBottom_; ++y)
            if (!ruleRows_[size_t(y - bandTop_)] && grey_.at<uchar>(y, x) < kInk) return true;
        return false;
    }

    int widestBlank(int from, int to) const {
        int widest = 0, run = 0;
        for (int x = std::max(0, from); x < std::min(grey_.cols, to); ++x) {
            run = columnHasInkOffRules(x) ? 0 : run + 1;
            widest = std::max(widest, run);
        }
        return widest;
    }

    // From column `from`, stepping by `step` up to `limit`, the farthest column with ink that is
    // not cut off by a gap as wide as a space.
    int inkReach(int from, int limit, int step, int space) const {
        int reach = from;
        int blank = 0;
        for (int x = from + step; step < 0 ? x >= limit : x <= limit; x += step) {
            if (columnHasInk(x)) {
                reach = x;
                blank = 0;
            } else if (++blank >= space) {
                break;
            }
        }
        return reach;
    }

    // The box shrunk or grown to the ink within its columns and the line's band; unchanged when
    // there is none.
    Support::Rect tightened(const Support::Rect& box) const {
        const int left = std::clamp(int(box.minX()), 0, grey_.cols);
        const int right = std::clamp(int(std::ceil(box.maxX())), left, grey_.cols);
        int minX = right, maxX = left - 1, minY = bandBottom_, maxY = bandTop_ - 1;
        for (int y = bandTop_; y < bandBottom_; ++y)
            for (int x = left; x < right; ++x)
                if (grey_.at<uchar>(y, x) < kInk) {
                    minX = std::min(minX, x);
                    maxX = std::max(maxX, x);
                    minY = std::min(minY, y);
                    maxY = std::max(maxY, y);
                }
        if (maxX < minX) return box;
        return Support::Rect(minX, minY, maxX + 1 - minX, maxY + 1 - minY);
    }

    static constexpr uchar kInk = 160;
    // A run of ink this many glyph heights long is no glyph's.
    static constexpr double kRuleInHeights = 3;
    const cv::Mat& grey_;
    mutable int bandTop_ = 0;
    mutable int bandBottom_ = 0;
    mutable std::vector<bool> ruleRows_;
};

// The least confidence (0-100) at which the engine's other reading "@" of a glyph is taken up.
constexpr float kLeastAtConfidence = 50;

// What the engine read in the prepared picture: per line, its words' glyphs, boxes in the picture.
// With `choices`, each glyph also tells whether "@" was among the engine's other readings of it;
// keeping those costs the engine a sixth more time, so they are asked for only where needed.
std::vector<std::vector<LineAssembly::Word>> readWords(tesseract::TessBaseAPI& engine, const cv::Mat& grey,
                                                       bool choices) {
    engine.SetImage(grey.data, grey.cols, grey.rows, 1, int(grey.step));
    engine.SetSourceResolution(300);
    engine.SetVariable("lstm_choice_mode", choices ? "2" : "0");
    const int status = engine.Recognize(nullptr);
    engine.SetVariable("lstm_choice_mode", "0");
    if (status != 0) throw std::runtime_error("the text recognition engine failed on a region");

    std::vector<std::vector<LineAssembly::Word>> words;
    std::unique_ptr<tesseract::ResultIterator> it(engine.GetIterator());
    if (!it) return words;
    do {
        if (it->Empty(tesseract::RIL_SYMBOL)) continue;
        if (it->IsAtBeginningOf(tesseract::RIL_TEXTLINE) || words.empty()) words.emplace_back();
        if (it->IsAtBeginningOf(tesseract::RIL_WORD) || words.back().empty()) words.back().emplace_back();
        std::unique_ptr<char[]> utf8(it->GetUTF8Text(tesseract::RIL_SYMBOL));
        int left = 0, top = 0, right = 0, bottom = 0;
        if (!utf8 || !it->BoundingBox(tesseract::RIL_SYMBOL, &left, &top, &right, &bottom) || right <= left ||
            bottom <= top)
            continue;
        LineAssembly::Glyph glyph{QString::fromUtf8(utf8.get()), Support::Rect(left, top, right - left, bottom - top),
                                  it->Confidence(tesseract::RIL_SYMBOL)};
        if (choices && glyph.text != QLatin1String("@")) {
            tesseract::ChoiceIterator choice(*it);
            do {
                const char* text = choice.GetUTF8Text();
                if (text && std::strcmp(text, "@") == 0 && choice.Confidence() >= kLeastAtConfidence) glyph.couldBeAt = true;
            } while (!glyph.couldBeAt && choice.Next());
        }
        words.back().back().push_back(std::move(glyph));
    } while (it->Next(tesseract::RIL_SYMBOL));
    for (auto& lineWords : words)
        std::erase_if(lineWords, [](const LineAssembly::Word& w) { return w.empty(); });
    return words;
}

// The glyph boxes of a reading of `from` moved into the pixels of `to`, a picture of the same crop.
void movePicture(std::vector<std::vector<LineAssembly::Word>>& words, const ScreenTextRegions::Prepared& from,
                 const ScreenTextRegions::Prepared& to) {
    const double ratio = to.scale / from.scale;
    for (auto& lineWords : words)
        for (auto& word : lineWords)
            for (auto& glyph : word) {
                const Support::Rect& b = glyph.box;
                glyph.box = Support::Rect((b.minX() - from.margin) * ratio + to.margin, (b.minY() - from.margin) * ratio + to.margin,
                                          b.width() * ratio, b.height() * ratio);
            }
}

// The lines the engine read in one prepared region, boxes in image pixels. `lightlyInked`, when
// given, prepares the same region with its partial ink darkened less, for a second reading.
std::vector<PixelLine> readRegion(tesseract::TessBaseAPI& engine, const ScreenTextRegions::Prepared& prepared,
                                  const std::function<ScreenTextRegions::Prepared()>& lightlyInked) {
    const cv::Mat& grey = prepared.grey;
    std::vector<std::vector<LineAssembly::Word>> words = readWords(engine, grey, false);
    // A word that an at sign read as a letter would make an address is read again, with the other
    // readings of its glyphs.
    if (std::any_of(words.begin(), words.end(), LineAssembly::mayHideAtSign)) words = readWords(engine, grey, true);
    for (auto& lineWords : words) LineAssembly::readAtSigns(lineWords);
    // Darkening fills the small loops of an at sign or a zero in 9-11 pt monospaced text, where the
    // engine then reads "G" or "@". A word still misread is taken from a reading of the lighter
    // ink where it reads as it should.
    if (lightlyInked && std::any_of(words.begin(), words.end(), LineAssembly::mayBeMisread)) {
        const ScreenTextRegions::Prepared light = lightlyInked();
        std::vector<std::vector<LineAssembly::Word>> second = readWords(engine, light.grey, true);
        for (auto& lineWords : second) LineAssembly::readAtSigns(lineWords);
        movePicture(second, light, prepared);
        for (auto& lineWords : words) LineAssembly::takeBetterReadings(lineWords, second);
    }

    std::vector<PixelLine> lines;
    const double s = prepared.scale;
    const double m = prepared.margin;
    const InkFit inkFit(grey);
    for (auto& lineWords : words) {
        const LineAssembly::Spacing spacing = LineAssembly::spacingOf(lineWords);
        std::vector<LineAssembly::Word> engineBoxes = lineWords;
        std::vector<double> blankAfter = inkFit.fitLine(lineWords, spacing);
        for (double& blank : blankAfter) blank /= s;
        LineAssembly::dropRepeatsInACell(lineWords, engineBoxes, spacing);
        for (auto& word : lineWords)
            for (auto& glyph : word) {
                const Support::Rect& b = glyph.box;
                glyph.box = Support::Rect(prepared.origin.x + (b.minX() - m) / s, prepared.origin.y + (b.minY() - m) / s,
                                          b.width() / s, b.height() / s);
            }
        PixelLine line = LineAssembly::assemble(lineWords, blankAfter);
        if (!line.text.trimmed().isEmpty() && !line.box.isEmpty()) lines.push_back(std::move(line));
    }
    return lines;
}

cv::Mat bgrOf(const QImage& image) {
    cv::Mat bgr;
    if (image.format() == QImage::Format_RGB32 && Q_BYTE_ORDER == Q_LITTLE_ENDIAN) {
        // A screen capture: its pixels are stored blue, green, red, unused; one pass takes the three.
        const cv::Mat view(image.height(), image.width(), CV_8UC4, const_cast<uchar*>(image.constBits()),
                           size_t(image.bytesPerLine()));
        cv::cvtColor(view, bgr, cv::COLOR_BGRA2BGR);
        return bgr;
    }
    const QImage rgb = image.convertToFormat(QImage::Format_RGB888);
    const cv::Mat view(rgb.height(), rgb.width(), CV_8UC3, const_cast<uchar*>(rgb.constBits()),
                       size_t(rgb.bytesPerLine()));
    cv::cvtColor(view, bgr, cv::COLOR_RGB2BGR);
    return bgr;
}

// The cores this process may run on: a process pinned to two cores (taskset, a container's cpuset)
// gains nothing from eight engines but their memory.
int usableCores() {
    cpu_set_t set;
    CPU_ZERO(&set);
    if (sched_getaffinity(0, sizeof set, &set) == 0) return std::max(1, CPU_COUNT(&set));
    return int(std::max(1u, std::thread::hardware_concurrency()));
}

} // namespace

// Worker threads, each owning one engine for its whole life. The engines are made in parallel,
// each on its own worker; a worker takes jobs as soon as its engine is ready, so the first lines
// are read while the other engines are still loading. Jobs are run in the order queued.
class TesseractRecognizer::EnginePool {
public:
    using Job = std::function<void(tesseract::TessBaseAPI&)>;

    explicit EnginePool(const Options& options) {
        const int count = options.workers > 0 ? options.workers : usableCores();
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

    // Waits until one engine is ready or every one has failed; the failure, or empty.
    std::string waitForAnEngine() {
        std::unique_lock lock(mutex_);
        started_.wait(lock, [this] { return ready_ > 0 || starting_ == 0; });
        return ready_ > 0 ? std::string() : startupError_;
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
            --starting_;
            if (engine)
                ++ready_;
            else if (startupError_.empty())
                startupError_ = error;
        }
        started_.notify_all();
        if (!engine) return; // the workers that have an engine do the work
        for (;;) {
            Job job;
            {
                std::unique_lock lock(mutex_);
                wake_.wait(lock, [this] { return stopping_ || !jobs_.empty(); });
                if (jobs_.empty()) return;
                job = std::move(jobs_.front());
                jobs_.pop_front();
            }
            job(*engine);
        }
    }

    std::mutex mutex_;
    std::condition_variable wake_;
    std::condition_variable started_;
    int starting_ = 0;
    int ready_ = 0;
    std::string startupError_;
    std::deque<Job> jobs_;
    bool stopping_ = false;
    std::vector<std::thread> threads_;
};

TesseractRecognizer::TesseractRecognizer() : TesseractRecognizer(Options{}) {}

// Every line picture of two or three full screens.
constexpr std::size_t kReadBeforeBytes = 24 * 1024 * 1024;

TesseractRecognizer::TesseractRecognizer(Options options)
    : options_(std::move(options)),
      readBefore_(std::make_unique<ReadRegionCache>(options_.rememberLines ? kReadBeforeBytes : 0)) {}

TesseractRecognizer::~TesseractRecognizer() = default;

TesseractRecognizer::EnginePool& TesseractRecognizer::pool() {
    std::call_once(poolMade_, [this] { pool_ = std::make_unique<EnginePool>(options_); });
    return *pool_;
}

void TesseractRecognizer::prepare() { pool(); }

std::vector<RecognizedLine> TesseractRecognizer::recognize(const QImage& image) { return recognizeAround(image, {}); }

std::vector<RecognizedLine> TesseractRecognizer::recognizeAround(const QImage& image,
                                                                 const std::vector<Support::Rect>& blanks) {
    if (image.isNull() || image.width() <= 0 || image.height() <= 0) throw RecognitionError("the image is empty");
    // The engines are started by the first call that needs them, and load while its lines are found.
    EnginePool& pool = this->pool();
    const cv::Mat bgr = bgrOf(image);
    std::vector<cv::Rect> blankPixels;
    const Support::Rect bounds(0, 0, image.width(), image.height());
    for (const Support::Rect& blank : blanks) {
        const Support::Rect r = blank.integral().intersection(bounds);
        if (r.width() > 0 && r.height() > 0) blankPixels.emplace_back(int(r.x()), int(r.y()), int(r.width()), int(r.height()));
    }
    std::vector<ScreenTextRegions::Region> regions = ScreenTextRegions::find(bgr, blankPixels);
    BaselineJoin::cutSideBorders(bgr, regions);
    // An image without text must not pass for a successful reading when no engine could start.
    if (const std::string error = pool.waitForAnEngine(); !error.empty()) throw RecognitionError(error);

    // Each job fills its own slot; the caller waits for all of them.
    struct Shared {
        std::mutex mutex;
        std::condition_variable done;
        size_t remaining = 0;
        std::string error;
        std::vector<std::vector<PixelLine>> results;
    };
    // A line drawn again elsewhere on the screen is read once.
    const std::vector<int> repeatOf = ScreenTextRegions::repeats(bgr, regions, blankPixels);
    std::vector<size_t> order;
    for (size_t i = 0; i < regions.size(); ++i)
        if (repeatOf[i] < 0) order.push_back(i);
    auto shared = std::make_shared<Shared>();
    shared->remaining = order.size();
    shared->results.resize(regions.size());

    // Longest lines first, so that the last jobs to start are short ones.
    std::stable_sort(order.begin(), order.end(),
                     [&](size_t a, size_t b) { return regions[a].area.area() > regions[b].area.area(); });

    std::vector<EnginePool::Job> jobs;
    for (size_t index : order) {
        jobs.push_back([shared, index, &bgr, &blankPixels, region = regions[index],
                        readBefore = readBefore_.get()](tesseract::TessBaseAPI& engine) {
            std::vector<PixelLine> lines;
            std::string failure;
            try {
                const ScreenTextRegions::Prepared prepared = ScreenTextRegions::prepare(bgr, region, blankPixels);
                if (std::optional<std::vector<PixelLine>> known = readBefore->find(prepared)) {
                    lines = std::move(*known);
                } else {
                    std::function<ScreenTextRegions::Prepared()> lightlyInked;
                    if (ScreenTextRegions::darkensInk(region))
                        lightlyInked = [&] { return ScreenTextRegions::prepare(bgr, region, blankPixels, ScreenTextRegions::Ink::light); };
                    lines = readRegion(engine, prepared, lightlyInked);
                    readBefore->remember(prepared, lines);
                }
            } catch (const std::exception& e) {
                failure = e.what();
            }
            std::lock_guard lock(shared->mutex);
            shared->results[index] = std::move(lines);
            if (!failure.empty() && shared->error.empty()) shared->error = failure;
            if (--shared->remaining == 0) shared->done.notify_all();
        });
    }
    pool.submit(std::move(jobs));
    {
        std::unique_lock lock(shared->mutex);
        shared->done.wait(lock, [&] { return shared->remaining == 0; });
        if (!shared->error.empty()) throw RecognitionError(shared->error);
    }
    for (size_t i = 0; i < regions.size(); ++i) {
        if (repeatOf[i] < 0) continue;
        const cv::Point offset = ScreenTextRegions::repeatOffset(bgr, regions[size_t(repeatOf[i])], regions[i]);
        shared->results[i] = shared->results[size_t(repeatOf[i])];
        LineAssembly::moveLines(shared->results[i], offset.x, offset.y);
    }

    const double w = image.width();
    const double h = image.height();
    std::vector<RecognizedLine> lines;
    for (const PixelLine& pixelLine : BaselineJoin::join(bgr, std::move(shared->results), blanks)) {
        RecognizedLine line;
        line.text = pixelLine.text;
        line.box = ImageBoxes::normalized(pixelLine.box, w, h);
        for (const PixelGlyph& g : pixelLine.glyphs)
            line.glyphs.push_back({g.start, g.length, ImageBoxes::normalized(g.box, w, h)});
        lines.push_back(std::move(line));
    }
    return lines;
}

} // namespace DetectionKit
