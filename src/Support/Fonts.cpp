#include "Support/Fonts.h"

#include <QFontDatabase>
#include <QGuiApplication>
#include <QScreen>

namespace Support::Fonts {

namespace {

QFont weighted(const QString& family, QFont::Weight weight) {
    QFont font(family);
    font.setWeight(weight);
    return font;
}

QFont sized(QFont font, int pixelSize) {
    if (pixelSize > 0) font.setPixelSize(pixelSize);
    return font;
}

QFont sizedInPixels(QFont font, double pixels) {
    const QScreen* screen = QGuiApplication::primaryScreen();
    const double dpi = screen ? screen->logicalDotsPerInchY() : 96.0;
    if (pixels > 0) font.setPointSizeF(pixels * 72.0 / dpi);
    return font;
}

} // namespace

QString chooseFamily(const QStringList& preferred, const QStringList& installed, const QString& fallback) {
    for (const QString& family : preferred) {
        if (installed.contains(family, Qt::CaseInsensitive)) return family;
    }
    return fallback;
}

QString interfaceFamily() {
    static const QString family = chooseFamily(kInterfaceFamilies, QFontDatabase::families(),
                                               QFontDatabase::systemFont(QFontDatabase::GeneralFont).family());
    return family;
}

QString monospacedFamily() {
    static const QString family = chooseFamily(kMonospacedFamilies, QFontDatabase::families(),
                                               QFontDatabase::systemFont(QFontDatabase::FixedFont).family());
    return family;
}

QFont interfaceFont(QFont::Weight weight) { return weighted(interfaceFamily(), weight); }
QFont monospacedFont(QFont::Weight weight) { return weighted(monospacedFamily(), weight); }
QFont interfaceFont(int pixelSize, QFont::Weight weight) { return sized(interfaceFont(weight), pixelSize); }
QFont monospacedFont(int pixelSize, QFont::Weight weight) { return sized(monospacedFont(weight), pixelSize); }
QFont interfaceFontOfSize(double pixels, QFont::Weight weight) { return sizedInPixels(interfaceFont(weight), pixels); }
QFont monospacedFontOfSize(double pixels, QFont::Weight weight) { return sizedInPixels(monospacedFont(weight), pixels); }

} // namespace Support::Fonts
