#pragma once

#include <QString>
#include <QStringList>

#include <optional>

namespace ExportKit::TextFonts {

// Text annotations store the font family as the user chose it in the editor ("SF Pro Rounded",
// "New York", "Menlo", ...), and documents written elsewhere may carry any name. Drawing needs a
// family that is installed here: the family itself when fontconfig knows it, else the first
// installed of its stand-ins, else nothing (the plain interface font). The canvas and the
// flattened export both draw text through this, so they always agree.

// The families drawn in place of a family the editor offers, best first; empty for other names.
const QStringList& standIns(const QString& family);

// The installed family to draw `family` in; nothing when neither it nor a stand-in is installed.
// Thread-safe; fontconfig is asked once per name and process.
std::optional<QString> installedFamily(const QString& family);

// Whether fontconfig lists a font of exactly this family (compared as fontconfig compares
// names: without regard to case).
bool isInstalled(const QString& family);

} // namespace ExportKit::TextFonts
