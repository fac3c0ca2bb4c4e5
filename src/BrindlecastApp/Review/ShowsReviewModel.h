#pragma once

namespace BrindlecastApp {

class ReviewViewModel;

// A window's content that shows a review model: the Edit menu's Undo and Redo reach the model of
// the active window through it, since the canvas that has the focus keeps no history of its own.
class ShowsReviewModel {
public:
    virtual ~ShowsReviewModel() = default;
    // The model shown now, or null when there is none.
    virtual ReviewViewModel* shownReviewModel() const = 0;
};

} // namespace BrindlecastApp
