#pragma once

namespace BrindlecastApp {

// What a pointer grabs of the crop draft: an edge, a corner, or the whole draft.
enum class CropHandle { top, bottom, left, right, topLeft, topRight, bottomLeft, bottomRight, move };

} // namespace BrindlecastApp
