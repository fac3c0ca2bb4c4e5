// Saves and embeds ever-changing annotation documents for one image until it is killed; the
// store tests kill it at an arbitrary moment and check that what is on disk still loads.
#include "SidecarKit/SidecarStore.h"

#include <QCoreApplication>
#include <QUuid>

#include <cstdio>

using namespace SidecarKit;

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s IMAGE.png\n", argv[0]);
        return 2;
    }
    const QString image = QString::fromLocal8Bit(argv[1]);
    const Annotation::Style style{"#FF3B30", 3, 1, false, std::nullopt, false};
    for (std::int64_t round = 0;; ++round) {
        std::vector<Annotation> annotations;
        // Sizes vary from a few hundred bytes to tens of kilobytes, so a kill can land in any step.
        for (std::int64_t i = 0; i < (round * 37) % 400; ++i) {
            annotations.emplace_back(QUuid::createUuid(), i, Annotation::Badge{{double(i), double(round)}, i, 8, style});
        }
        const SidecarDocument document(1, {"shot.png", 64, 48, 1.0}, {"region", false}, std::move(annotations));
        SidecarStore::save(document, image);
        SidecarStore::embed(document, image);
        if (round == 0) {
            std::printf("ready\n");
            std::fflush(stdout);
        }
    }
}
