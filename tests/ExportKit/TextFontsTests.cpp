#include "ExportKit/Exporter.h"
#include "ExportKit/TextFonts.h"
#include "ImageTestHelpers.h"

#include <gtest/gtest.h>

using namespace ExportKitTests;
using SidecarKit::Annotation;
namespace TextFonts = ExportKit::TextFonts;

namespace {

QImage textIn(const std::optional<QString>& family) {
    const Annotation::Style style("#000000", 28, 1, false, std::nullopt, false);
    const Annotation note(QUuid::createUuid(), 0,
                          Annotation::Text{{6, 6}, "Il1 0O g{}", style, family, Annotation::TextAlignment::left, 0});
    return ExportKit::Exporter::flatten(filledImage(260, 50, Qt::white), {note});
}

} // namespace

// The stand-ins the project installs (scripts/packages) stand for the families the editor offers.
TEST(TextFonts, TheEditorsFamiliesDrawInInstalledStandIns) {
    struct Case {
        QString family;
        std::optional<QString> drawn;
    };
    const Case cases[] = {
        {"SF Pro Rounded", "Quicksand"},
        {"Helvetica Neue", "Nimbus Sans"},
        {"New York", "C059"},
        {"Georgia", "DejaVu Serif"},
        {"Menlo", "DejaVu Sans Mono"},
        {"DejaVu Sans Mono", "DejaVu Sans Mono"}, // an installed family is itself
        {"dejavu sans mono", "dejavu sans mono"}, // as fontconfig compares names
        {"No Such Family 7", std::nullopt},
        {"", std::nullopt},
    };
    for (const Case& c : cases) EXPECT_EQ(TextFonts::installedFamily(c.family), c.drawn) << c.family.toStdString();
}

// A family's text looks like its stand-in's, unlike the plain interface font's; the canvas draws
// through the same code (its own test compares it with this).
TEST(TextFonts, AFlattenedTextDrawsInTheMappedFamily) {
    const QImage plain = textIn(std::nullopt);
    for (const auto& [family, standIn] : {std::pair<QString, QString>{"Menlo", "DejaVu Sans Mono"},
                                          std::pair<QString, QString>{"SF Pro Rounded", "Quicksand"}}) {
        const QImage mapped = textIn(family);
        EXPECT_TRUE(samePixels(mapped, textIn(standIn))) << family.toStdString();
        EXPECT_FALSE(samePixels(mapped, plain)) << family.toStdString();
    }
    // A family that is nowhere draws in the plain font.
    EXPECT_TRUE(samePixels(textIn(QStringLiteral("No Such Family 7")), plain));
}
