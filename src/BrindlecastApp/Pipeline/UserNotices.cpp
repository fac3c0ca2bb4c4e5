#include "BrindlecastApp/Pipeline/UserNotices.h"

#include <QStringList>

namespace BrindlecastApp::Pipeline {

namespace {

// "“employee-id” (2 lines), “badge” (1 line)"
QString namedWithLines(const std::vector<DetectionKit::UnfinishedPattern>& unfinished, DetectionKit::PatternAction action) {
    QStringList named;
    for (const DetectionKit::UnfinishedPattern& pattern : unfinished) {
        if (pattern.action != action) continue;
        named << QStringLiteral("\u201C%1\u201D (%2 %3)")
                     .arg(pattern.name)
                     .arg(pattern.lines)
                     .arg(pattern.lines == 1 ? QStringLiteral("line") : QStringLiteral("lines"));
    }
    return named.join(QStringLiteral(", "));
}

} // namespace

std::optional<AlertText> unfinishedPatternsAlert(const std::vector<DetectionKit::UnfinishedPattern>& unfinished) {
    const QString mandatory = namedWithLines(unfinished, DetectionKit::PatternAction::blurMandatory);
    const QString suggested = namedWithLines(unfinished, DetectionKit::PatternAction::blurSuggested);
    if (mandatory.isEmpty() && suggested.isEmpty()) return std::nullopt;

    QStringList paragraphs;
    if (!mandatory.isEmpty()) {
        paragraphs << QStringLiteral("Mandatory patterns that could not finish in time: %1. Those lines are hidden "
                                     "whole in this screenshot, and it is not copied automatically: review it "
                                     "before you share it.")
                          .arg(mandatory);
    }
    if (!suggested.isEmpty()) {
        paragraphs << QStringLiteral("Suggested patterns that could not finish in time: %1. Those lines were not "
                                     "searched to the end: look them over yourself.")
                          .arg(suggested);
    }
    return AlertText{mandatory.isEmpty() ? QStringLiteral("Some lines were not searched")
                                         : QStringLiteral("Some lines were hidden whole"),
                     paragraphs.join(QStringLiteral("\n\n"))};
}

AlertText preferencesMovedAsideAlert(const QString& asidePath) {
    return AlertText{QStringLiteral("Preferences moved aside"),
                     QStringLiteral("Your preferences file could not be read, so it was moved aside to %1. Until you "
                                    "set them again, captures use the default settings and none of your own "
                                    "patterns; your organisation's rules still apply.")
                         .arg(asidePath)};
}

AlertText preferencesNotSavedAlert(const QString& path, const QString& reason) {
    return AlertText{QStringLiteral("Settings not saved"),
                     QStringLiteral("Your preferences file %1 could not be written (%2). Settings you change now are "
                                    "not saved: when Brindlecast starts again they are back as they were. Look them "
                                    "over once the file can be written again.")
                         .arg(path, reason)};
}

} // namespace BrindlecastApp::Pipeline
