#pragma once

#include <nlohmann/json.hpp>

#include <optional>

namespace Support {
class UserDefaults;
}

// The width of the editor's sidebar, shared by every editor window and kept across launches under
// "editorSidebarWidth" in the user's preference file.
namespace BrindlecastApp::SidebarWidth {

inline constexpr const char* kKey = "editorSidebarWidth";
inline constexpr double kDefault = 212;
// A drag keeps the width within these.
inline constexpr double kMinimum = 180;
inline constexpr double kMaximum = 340;
// Half the window's narrowest content (1180 points): a stored width beyond it would leave the
// canvas no room, so it counts as damaged.
inline constexpr double kStoredCeiling = 590;

// The width a stored value gives: the default for a value that is missing, not a number, not
// positive or above the ceiling; any other value unchanged, also outside the drag range.
double fromStored(const std::optional<nlohmann::json>& stored);
double load(Support::UserDefaults& defaults);
// Writes the width; a store that fails is logged and the width kept for this window only.
void store(Support::UserDefaults& defaults, double width);

// The width while a drag that began at `base` has moved `translation` points sideways.
double dragged(double base, double translation);

} // namespace BrindlecastApp::SidebarWidth
