#include "BrindlecastApp/Shell/EditorPreview.h"

#include "BrindlecastApp/Shell/ReviewPreview.h"

namespace BrindlecastApp::EditorPreview {

QImage syntheticScreenshot() {
    return ReviewPreview::sampleRecord({
        "Customer Record — Larkspur Veterinary Clinic",
        "Name: Tobias Fenwick    MRN-5519024",
        "Email: tobias.fenwick@larkspurvet.com",
        "SSN: 634-21-7750",
        "Phone: (503) 555-0187",
    });
}

std::optional<AnnotationTool> toolFromArguments(const QStringList& arguments) {
    const qsizetype at = arguments.indexOf(QStringLiteral("--tool"));
    if (at < 0 || at + 1 >= arguments.size()) return std::nullopt;
    return AnnotationTools::fromRawValue(arguments[at + 1]);
}

} // namespace BrindlecastApp::EditorPreview
