#include "BrindlecastApp/Editor/BackdropPopoverContent.h"

namespace BrindlecastApp::BackdropPopoverContent {

QWidget* make(ReviewViewModel&) { return nullptr; }

} // namespace BrindlecastApp::BackdropPopoverContent
