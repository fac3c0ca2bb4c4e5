#pragma once

#include <QFont>
#include <QString>
#include <QStringList>

namespace Support::Fonts {

// The one place that decides which families the interface draws text in. Where the design asks
// for the system font, text is set in Inter, which has every weight from thin to black, so medium
// and semibold labels keep their weight; monospaced text takes JetBrains Mono. Either falls back
// to the desktop's own font of that kind when it is not installed. Needs a running
// QGuiApplication; the choice is made once per process.

inline const QStringList kInterfaceFamilies{QStringLiteral("Inter")};
inline const QStringList kMonospacedFamilies{QStringLiteral("JetBrains Mono")};

// The first of `preferred` that is among `installed`, else `fallback`.
QString chooseFamily(const QStringList& preferred, const QStringList& installed, const QString& fallback);

QString interfaceFamily();
QString monospacedFamily();

// The family at a weight, with no size of its own: callers that draw on 72 dpi bitmaps set a
// point size, which is a pixel there.
QFont interfaceFont(QFont::Weight weight = QFont::Normal);
QFont monospacedFont(QFont::Weight weight = QFont::Normal);

// The family at a size in pixels (a point of the design is a pixel at scale 1) and a weight.
QFont interfaceFont(int pixelSize, QFont::Weight weight = QFont::Normal);
QFont monospacedFont(int pixelSize, QFont::Weight weight = QFont::Normal);

// The same at a size that need not be whole (11.5 points of the design), for widgets on screen:
// the size is given in points of the screen's logical resolution so that it draws that many pixels.
QFont interfaceFontOfSize(double pixels, QFont::Weight weight = QFont::Normal);
QFont monospacedFontOfSize(double pixels, QFont::Weight weight = QFont::Normal);

} // namespace Support::Fonts
