// dump-regions IMAGE [OUT_DIR]: prints the text regions found on a screen image, one per line
// (x y width height textHeight), and with OUT_DIR writes the image with the regions outlined
// (regions.png) and each region's prepared picture (NNN.png). A debugging aid.
#include "DetectionKit/ScreenTextRegions.h"

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include <cstdio>
#include <string>

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: dump-regions IMAGE [OUT_DIR]\n");
        return 2;
    }
    const cv::Mat bgr = cv::imread(argv[1], cv::IMREAD_COLOR);
    if (bgr.empty()) {
        std::fprintf(stderr, "cannot read %s\n", argv[1]);
        return 1;
    }
    using namespace DetectionKit::ScreenTextRegions;
    const std::vector<Region> regions = find(bgr);
    cv::Mat outlined = bgr.clone();
    for (size_t i = 0; i < regions.size(); ++i) {
        const Region& r = regions[i];
        std::printf("%zu %d %d %d %d %d%s\n", i, r.area.x, r.area.y, r.area.width, r.area.height, r.textHeight,
                    r.onPicture ? " picture" : "");
        cv::rectangle(outlined, r.area, i % 2 ? cv::Scalar(0, 0, 255) : cv::Scalar(255, 0, 0));
        if (argc > 2) {
            char name[32];
            std::snprintf(name, sizeof name, "/%03zu.png", i);
            cv::imwrite(argv[2] + std::string(name), prepare(bgr, r).grey);
        }
    }
    if (argc > 2) cv::imwrite(argv[2] + std::string("/regions.png"), outlined);
    return 0;
}
