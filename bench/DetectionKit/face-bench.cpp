// face-bench [FOLDER]: judges face detectors on the face set (portraits from Debian packages placed
// into rendered interfaces), on harder kinds (masked, backlit, turned, small grey faces), on screens
// without people and on screens of animals and anime drawings. Per detector: faces found in each set
// (a face counts when the union of the boxes covers at least 90% of it), boxes on the people-free screens,
// boxes elsewhere on the face screens, boxes beyond the first on one face (a box is on the face it
// shares the most pixels with), the median wall time on a 1920x1080 call screen, and the
// process's peak resident memory while the detector ran over what it held before (the screens).
// With FOLDER, every screen is written there with the face boxes (green) and the production
// detector's boxes (red) drawn on it.
#include "CascadeFaceDetector.h"
#include "FaceSet.h"
#include "HardFaceSet.h"

#include "DetectionKit/ImageBoxes.h"
#include "DetectionKit/NeuralFaceDetector.h"

#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QPainter>
#include <opencv2/imgproc.hpp>
#include <opencv2/objdetect.hpp>

#ifdef FACE_BENCH_WITH_DLIB
#include <dlib/image_processing/frontal_face_detector.h>
#include <dlib/opencv/cv_image.h>
#endif

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <utility>

using namespace DetectionBench;

namespace {

using Boxes = std::vector<QRectF>; // image pixels
using Detect = std::function<Boxes(const QImage&)>;

cv::Mat greyOf(const QImage& image) {
    const QImage grey = image.convertToFormat(QImage::Format_Grayscale8);
    return cv::Mat(grey.height(), grey.width(), CV_8UC1, const_cast<uchar*>(grey.constBits()), size_t(grey.bytesPerLine()))
        .clone();
}

QString cascadeFile(const char* name) { return QStringLiteral("/usr/share/opencv4/") + QString::fromLatin1(name); }

std::vector<cv::Rect> runCascade(cv::CascadeClassifier& cascade, const cv::Mat& grey, double step, int neighbours,
                                 int smallest = 20) {
    std::vector<cv::Rect> found;
    cascade.detectMultiScale(grey, found, step, neighbours, 0, cv::Size(smallest, smallest));
    return found;
}

Boxes toBoxes(const std::vector<cv::Rect>& found) {
    Boxes boxes;
    for (const cv::Rect& r : found) boxes.push_back(QRectF(r.x, r.y, r.width, r.height));
    return boxes;
}

// The rows of the comparison; each cascade is loaded once.
struct Variant {
    QString name;
    Detect detect;
};

std::vector<Variant> variants() {
    auto load = [](const char* name) {
        auto cascade = std::make_shared<cv::CascadeClassifier>();
        if (!cascade->load(cascadeFile(name).toStdString())) throw std::runtime_error(std::string("cannot load ") + name);
        return cascade;
    };
    auto alt2 = load("haarcascades/haarcascade_frontalface_alt2.xml");
    auto deflt = load("haarcascades/haarcascade_frontalface_default.xml");
    auto lbp = load("lbpcascades/lbpcascade_frontalface_improved.xml");
    std::vector<Variant> list;
    list.push_back({"alt2, whole screen equalised (before)", [alt2](const QImage& image) {
                        cv::Mat grey = greyOf(image);
                        cv::equalizeHist(grey, grey);
                        return toBoxes(runCascade(*alt2, grey, 1.15, 5));
                    }});
    list.push_back({"alt2, no equalisation", [alt2](const QImage& image) {
                        return toBoxes(runCascade(*alt2, greyOf(image), 1.15, 5));
                    }});
    list.push_back({"alt2, no equalisation, step 1.1, 3 neighbours", [alt2](const QImage& image) {
                        return toBoxes(runCascade(*alt2, greyOf(image), 1.1, 3));
                    }});
    list.push_back({"alt2, no equalisation, step 1.15, 3 neighbours", [alt2](const QImage& image) {
                        return toBoxes(runCascade(*alt2, greyOf(image), 1.15, 3));
                    }});
    list.push_back({"alt2, no equalisation, step 1.1, 3, from 24 px", [alt2](const QImage& image) {
                        return toBoxes(runCascade(*alt2, greyOf(image), 1.1, 3, 24));
                    }});
    list.push_back({"alt2, no equalisation, step 1.1, 4 neighbours", [alt2](const QImage& image) {
                        return toBoxes(runCascade(*alt2, greyOf(image), 1.1, 4));
                    }});
    list.push_back({"alt2, local equalisation (CLAHE 8x8)", [alt2](const QImage& image) {
                        cv::Mat grey = greyOf(image);
                        cv::createCLAHE(2.0, cv::Size(8, 8))->apply(grey, grey);
                        return toBoxes(runCascade(*alt2, grey, 1.15, 5));
                    }});
    list.push_back({"default cascade, step 1.1, 5 neighbours", [deflt](const QImage& image) {
                        return toBoxes(runCascade(*deflt, greyOf(image), 1.1, 5));
                    }});
    list.push_back({"LBP improved, step 1.1, 3 neighbours", [lbp](const QImage& image) {
                        return toBoxes(runCascade(*lbp, greyOf(image), 1.1, 3));
                    }});
    list.push_back({"alt2 confirmed by default (both, step 1.1, 3)", [alt2, deflt](const QImage& image) {
                        const cv::Mat grey = greyOf(image);
                        const auto a = runCascade(*alt2, grey, 1.1, 3);
                        const auto b = runCascade(*deflt, grey, 1.1, 3);
                        std::vector<cv::Rect> agreed;
                        for (const cv::Rect& r : a)
                            for (const cv::Rect& s : b)
                                if ((r & s).area() > 0.4 * std::min(r.area(), s.area())) {
                                    agreed.push_back(r);
                                    break;
                                }
                        return toBoxes(agreed);
                    }});
#ifdef FACE_BENCH_WITH_DLIB
    // dlib's HOG detector finds faces from 80 px; one doubling of the image reaches 40 px.
    list.push_back({"dlib HOG, image doubled", [](const QImage& image) {
                        thread_local dlib::frontal_face_detector hog = dlib::get_frontal_face_detector();
                        const cv::Mat grey = greyOf(image);
                        dlib::array2d<unsigned char> pixels;
                        dlib::assign_image(pixels, dlib::cv_image<unsigned char>(grey));
                        dlib::pyramid_up(pixels);
                        Boxes boxes;
                        for (const dlib::rectangle& r : hog(pixels))
                            boxes.push_back(QRectF(r.left() / 2.0, r.top() / 2.0, r.width() / 2.0, r.height() / 2.0));
                        return boxes;
                    }});
#endif
    // The detectors of the app, scored like the other rows: before the finding's growth.
    auto scored = [](DetectionKit::FaceDetector& detector, const QImage& image) {
        Boxes boxes;
        for (const Support::Rect& n : detector.detectFaces(image)) {
            const Support::Rect r = DetectionKit::ImageBoxes::findingBox(n, image.width(), image.height());
            boxes.push_back(r.insetBy(DetectionKit::ImageBoxes::kGrowth, DetectionKit::ImageBoxes::kGrowth).toQRectF());
        }
        return boxes;
    };
    auto cascade = std::make_shared<DetectionKit::CascadeFaceDetector>();
    // The timed screen is the same each time: the detectors timed search it afresh, keeping nothing
    // of what they saw; the last one keeps it, as the app's does, and is timed on a screen seen before.
    DetectionKit::NeuralFaceDetector::Options afresh;
    afresh.rememberBytes = 0;
    auto neural = std::make_shared<DetectionKit::NeuralFaceDetector>(afresh);
    auto keeping = std::make_shared<DetectionKit::NeuralFaceDetector>();
    list.push_back({"CascadeFaceDetector (before)", [=](const QImage& image) { return scored(*cascade, image); }});
    for (const int workers : {1, 4}) {
        DetectionKit::NeuralFaceDetector::Options options = afresh;
        options.workers = workers;
        auto few = std::make_shared<DetectionKit::NeuralFaceDetector>(options);
        list.push_back({QStringLiteral("NeuralFaceDetector, %1 worker(s)").arg(workers),
                        [=](const QImage& image) { return scored(*few, image); }});
    }
    list.push_back({"NeuralFaceDetector and cascade together", [=](const QImage& image) {
                        Boxes boxes = scored(*neural, image);
                        const Boxes more = scored(*cascade, image);
                        boxes.insert(boxes.end(), more.begin(), more.end());
                        return boxes;
                    }});
    list.push_back({"NeuralFaceDetector (shipped)", [=](const QImage& image) { return scored(*neural, image); }});
    list.push_back({"NeuralFaceDetector (shipped), seen before", [=](const QImage& image) { return scored(*keeping, image); }});
    return list;
}

// The share of `face` that the union of `boxes` covers.
double coverage(const QRect& face, const Boxes& boxes) {
    if (face.isEmpty()) return 0;
    long covered = 0;
    for (int y = face.top(); y <= face.bottom(); ++y)
        for (int x = face.left(); x <= face.right(); ++x)
            for (const QRectF& b : boxes)
                if (b.contains(x + 0.5, y + 0.5)) {
                    ++covered;
                    break;
                }
    return double(covered) / (double(face.width()) * face.height());
}

// Every box grown by the finding's 4 pixels, as detection reports them.
Boxes grown(const Boxes& boxes) {
    Boxes out;
    const double g = DetectionKit::ImageBoxes::kGrowth;
    for (const QRectF& b : boxes) out.push_back(b.adjusted(-g, -g, g, g));
    return out;
}

struct Score {
    int found = 0;
    int faces = 0;
    int hardFound = 0;
    int hardFaces = 0;
    int strayOnFaceScreens = 0;
    int doubled = 0;
    int onPeopleFree = 0;
    int onHardPeopleFree = 0;
    QStringList missed;
    double medianMs = 0;
    double peakMiB = 0;
    double baseMiB = 0;
};

// The process's peak resident memory is reset (Linux: "5" to clear_refs) and read back (VmHWM).
void resetPeakMemory() {
    QFile refs(QStringLiteral("/proc/self/clear_refs"));
    if (refs.open(QIODevice::WriteOnly)) refs.write("5");
}

// A figure of /proc/self/status in MiB ("VmHWM:" the peak, "VmRSS:" the present).
double memoryMiB(const QByteArray& key) {
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly)) return 0;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith(key)) return line.mid(key.size()).trimmed().split(' ').first().toDouble() / 1024.0;
    return 0;
}

// The face a box lies on: the one it shares the most pixels with; -1 when it touches none.
int faceOf(const QRectF& box, const std::vector<QRect>& faces) {
    int best = -1;
    double most = 0;
    for (size_t i = 0; i < faces.size(); ++i) {
        const QRectF shared = box.intersected(QRectF(faces[i]));
        const double area = shared.width() * shared.height();
        if (area > most) most = area, best = int(i);
    }
    return best;
}

// Faces found on `screens`, counted into `found` of `faces`; boxes on no face into the strays, and
// every box beyond the first on one face (a second box, larger or smaller, on the same face) into
// the doubled.
void judgeFaces(const Variant& v, const std::vector<FaceScreen>& screens, int& found, int& faces, Score& s) {
    for (const FaceScreen& screen : screens) {
        const Boxes boxes = grown(v.detect(screen.image));
        std::vector<Boxes> onFace(screen.faces.size());
        for (const QRectF& b : boxes) {
            const int face = faceOf(b, screen.faces);
            if (face < 0)
                ++s.strayOnFaceScreens;
            else
                onFace[size_t(face)].push_back(b);
        }
        for (size_t i = 0; i < screen.faces.size(); ++i) {
            const QRect& face = screen.faces[i];
            ++faces;
            const double c = coverage(face, boxes);
            if (c >= 0.9)
                ++found;
            else
                s.missed.append(QStringLiteral("missed %1 %2px (%3%)").arg(screen.name).arg(face.width()).arg(int(c * 100)));
            if (onFace[i].size() < 2) continue;
            s.doubled += int(onFace[i].size()) - 1;
            QStringList widths;
            for (const QRectF& b : onFace[i]) widths.append(QString::number(b.width() / face.width(), 'f', 1) + 'x');
            s.missed.append(QStringLiteral("%1 boxes on %2 %3px at (%4, %5): %6 the face's width")
                                .arg(onFace[i].size())
                                .arg(screen.name)
                                .arg(face.width())
                                .arg(face.x())
                                .arg(face.y())
                                .arg(widths.join(", ")));
        }
    }
}

Score judge(const Variant& v, const std::vector<FaceScreen>& faceSet, const std::vector<FaceScreen>& hardSet,
            const std::vector<FaceScreen>& empty, const std::vector<FaceScreen>& hardEmpty) {
    Score s;
    resetPeakMemory();
    s.baseMiB = memoryMiB("VmRSS:");
    judgeFaces(v, faceSet, s.found, s.faces, s);
    judgeFaces(v, hardSet, s.hardFound, s.hardFaces, s);
    for (const auto& [screens, count] : {std::pair{&empty, &s.onPeopleFree}, std::pair{&hardEmpty, &s.onHardPeopleFree}})
        for (const FaceScreen& screen : *screens) {
            const int found = int(v.detect(screen.image).size());
            *count += found;
            if (found) s.missed.append(QStringLiteral("%1 box(es) on %2").arg(found).arg(screen.name));
        }
    std::vector<double> times;
    for (int i = 0; i < 5; ++i) {
        const auto start = std::chrono::steady_clock::now();
        v.detect(faceSet.front().image);
        times.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
    }
    std::sort(times.begin(), times.end());
    s.medianMs = times[times.size() / 2];
    s.peakMiB = memoryMiB("VmHWM:");
    return s;
}

void writeAnnotated(const QString& folder, const FaceScreen& screen, const Boxes& boxes) {
    QImage image = screen.image.convertToFormat(QImage::Format_RGB32);
    QPainter p(&image);
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(Qt::green, 2));
    for (const QRect& f : screen.faces) p.drawRect(f);
    p.setPen(QPen(Qt::red, 2));
    for (const QRectF& b : boxes) p.drawRect(b);
    p.end();
    image.save(QDir(folder).filePath(screen.name + ".png"));
}

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const QString out = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QString();
    QString whyNot;
    const auto portraits = fetchPortraits(QStringLiteral(FACE_BENCH_CACHE), &whyNot);
    if (!portraits) {
        std::fprintf(stderr, "face-bench: %s\n", qPrintable(whyNot));
        return 1;
    }
    const auto hard = hardSources(QStringLiteral(FACE_BENCH_CACHE), &whyNot);
    if (!hard) {
        std::fprintf(stderr, "face-bench: %s\n", qPrintable(whyNot));
        return 1;
    }
    const std::vector<FaceScreen> faceSet = faceScreens(*portraits);
    const std::vector<FaceScreen> hardSet = hardFaceScreens(*portraits, *hard);
    const std::vector<FaceScreen> empty = peopleFreeScreens(peopleFreePhotos(QStringLiteral(FACE_BENCH_CACHE)));
    const std::vector<FaceScreen> hardEmpty = hardPeopleFreeScreens(*hard);

    const std::vector<Variant> list = variants();
    if (!out.isEmpty()) {
        QDir().mkpath(out);
        for (const auto* screens : {&faceSet, &hardSet, &empty, &hardEmpty})
            for (const FaceScreen& screen : *screens) writeAnnotated(out, screen, grown(list.back().detect(screen.image)));
    }
    std::printf("%-48s %12s %12s %10s %8s %12s %12s %9s %9s\n", "detector", "faces found", "hard kinds", "elsewhere",
                "doubled", "people-free", "animals/art", "ms", "peak MiB over the rest");
    const QString only = qEnvironmentVariable("FACE_BENCH_ONLY");
    for (const Variant& v : list) {
        if (!only.isEmpty() && !v.name.contains(only)) continue;
        const Score s = judge(v, faceSet, hardSet, empty, hardEmpty);
        std::printf("%-48s %5d/%-3d%3.0f%% %5d/%-3d%3.0f%% %10d %8d %12d %12d %9.0f %9.0f\n", qPrintable(v.name), s.found, s.faces,
                    100.0 * s.found / std::max(1, s.faces), s.hardFound, s.hardFaces,
                    100.0 * s.hardFound / std::max(1, s.hardFaces), s.strayOnFaceScreens, s.doubled, s.onPeopleFree,
                    s.onHardPeopleFree, s.medianMs, s.peakMiB - s.baseMiB);
        if (qEnvironmentVariableIsSet("FACE_BENCH_VERBOSE"))
            for (const QString& m : s.missed) std::printf("    %s\n", qPrintable(m));
    }
    return 0;
}
