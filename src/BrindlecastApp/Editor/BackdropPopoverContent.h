#pragma once

class QWidget;

namespace BrindlecastApp {

class ReviewViewModel;

// What the toolbar's backdrop popover shows, built each time it opens. Until the backdrop
// controls exist there is nothing (null): the popover opens empty.
namespace BackdropPopoverContent {
QWidget* make(ReviewViewModel& model);
} // namespace BackdropPopoverContent

} // namespace BrindlecastApp
