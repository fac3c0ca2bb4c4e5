#pragma once

#include "PolicyKit/PolicyTypes.h"

#include <QString>

namespace BrindlecastApp {

// A custom pattern as the user types it: name and expression as typed, Suggested or Required.
struct PatternDraft {
    QString name;
    QString regex;
    bool mandatory = false;

    PolicyKit::PIIPattern pattern() const {
        return {name, regex, mandatory ? PolicyKit::PIIAction::blurMandatory : PolicyKit::PIIAction::blurSuggested};
    }
    friend bool operator==(const PatternDraft&, const PatternDraft&) = default;
};

} // namespace BrindlecastApp
