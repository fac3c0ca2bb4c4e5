#include "ExportKit/TextFonts.h"

#include <fontconfig/fontconfig.h>

#include <QHash>

#include <memory>
#include <mutex>

namespace ExportKit::TextFonts {

namespace {

// Chosen for the look each family stands for: a rounded sans, a neo-grotesque, two book serifs
// apart from each other, and the monospaced face that Menlo was drawn from.
const QHash<QString, QStringList>& standInTable() {
    static const QHash<QString, QStringList> table{
        {QStringLiteral("SF Pro Rounded"), {QStringLiteral("Quicksand"), QStringLiteral("Comfortaa")}},
        {QStringLiteral("Helvetica Neue"), {QStringLiteral("Nimbus Sans"), QStringLiteral("Liberation Sans")}},
        {QStringLiteral("New York"), {QStringLiteral("C059"), QStringLiteral("Liberation Serif")}},
        {QStringLiteral("Georgia"), {QStringLiteral("DejaVu Serif"), QStringLiteral("Liberation Serif")}},
        {QStringLiteral("Menlo"), {QStringLiteral("DejaVu Sans Mono"), QStringLiteral("Liberation Mono")}},
    };
    return table;
}

struct PatternDeleter {
    void operator()(FcPattern* p) const { FcPatternDestroy(p); }
};
struct ObjectSetDeleter {
    void operator()(FcObjectSet* s) const { FcObjectSetDestroy(s); }
};
struct FontSetDeleter {
    void operator()(FcFontSet* s) const { FcFontSetDestroy(s); }
};

bool askFontconfig(const QString& family) {
    if (family.isEmpty()) return false;
    const QByteArray name = family.toUtf8();
    // Listing (unlike matching) applies no substitution: only fonts of this very family count.
    std::unique_ptr<FcPattern, PatternDeleter> pattern(FcPatternCreate());
    if (!pattern) return false;
    FcPatternAddString(pattern.get(), FC_FAMILY, reinterpret_cast<const FcChar8*>(name.constData()));
    std::unique_ptr<FcObjectSet, ObjectSetDeleter> objects(FcObjectSetBuild(FC_FAMILY, nullptr));
    if (!objects) return false;
    std::unique_ptr<FcFontSet, FontSetDeleter> fonts(FcFontList(nullptr, pattern.get(), objects.get()));
    return fonts && fonts->nfont > 0;
}

std::mutex cacheMutex;

} // namespace

const QStringList& standIns(const QString& family) {
    static const QStringList none;
    const auto found = standInTable().constFind(family);
    return found == standInTable().constEnd() ? none : *found;
}

bool isInstalled(const QString& family) {
    static QHash<QString, bool> known;
    {
        const std::lock_guard lock(cacheMutex);
        const auto found = known.constFind(family);
        if (found != known.constEnd()) return *found;
    }
    const bool installed = askFontconfig(family);
    const std::lock_guard lock(cacheMutex);
    known.insert(family, installed);
    return installed;
}

std::optional<QString> installedFamily(const QString& family) {
    if (isInstalled(family)) return family;
    for (const QString& standIn : standIns(family))
        if (isInstalled(standIn)) return standIn;
    return std::nullopt;
}

} // namespace ExportKit::TextFonts
