#pragma once

namespace BrindlecastApp {

// The grips of a selected annotation: the four corners of a rectangle-like one, the two ends of a
// line or arrow, the rotation knob, and the bend grip in the middle of an arrow.
enum class ResizeHandle { topLeft, topRight, bottomLeft, bottomRight, start, end, rotate, mid };

} // namespace BrindlecastApp
