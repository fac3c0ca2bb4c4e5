#pragma once

#include "DetectionKit/Recognition.h"

#include <QString>
#include <memory>
#include <mutex>

namespace DetectionKit {

// Text recognition with Tesseract 5 (LSTM engine, English data, dictionaries off so nothing is
// "corrected" towards words). The screen is cut into lines of text first; the lines are
// recognised in parallel by a pool of engines, one per worker thread. The engines are started,
// in parallel, by prepare() or the first recognition (never by constructing this), and kept warm
// after it. A line whose picture was read in an earlier capture is not read again.
class ReadRegionCache;

class TesseractRecognizer final : public TextRecognizer {
public:
    struct Options {
        int workers = 0;       // 0: one per core
        QString dataPath;      // empty: the engine's installed data
        QString language = QStringLiteral("eng");
        bool rememberLines = true; // false: every line is read, also one read before (benchmarks)
    };

    TesseractRecognizer();
    explicit TesseractRecognizer(Options options);
    ~TesseractRecognizer() override;

    // Throws RecognitionError when an engine cannot be started (data missing).
    std::vector<RecognizedLine> recognize(const QImage& image) override;
    std::vector<RecognizedLine> recognizeAround(const QImage& image, const std::vector<Support::Rect>& blanks) override;
    // Starts the engines (each on its worker) without waiting for them.
    void prepare() override;

private:
    class EnginePool;
    EnginePool& pool();

    Options options_;
    std::once_flag poolMade_;
    std::unique_ptr<EnginePool> pool_;
    std::unique_ptr<ReadRegionCache> readBefore_;
};

} // namespace DetectionKit
