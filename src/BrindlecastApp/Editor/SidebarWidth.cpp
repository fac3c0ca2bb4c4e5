#include "BrindlecastApp/Editor/SidebarWidth.h"

#include "Support/IoError.h"
#include "Support/Log.h"
#include "Support/UserDefaults.h"

#include <algorithm>
#include <cmath>

namespace BrindlecastApp::SidebarWidth {

double fromStored(const std::optional<nlohmann::json>& stored) {
    if (!stored || !stored->is_number()) return kDefault;
    const double width = stored->get<double>();
    if (!std::isfinite(width) || width <= 0 || width > kStoredCeiling) return kDefault;
    return width;
}

double load(Support::UserDefaults& defaults) { return fromStored(defaults.value(kKey)); }

void store(Support::UserDefaults& defaults, double width) {
    try {
        defaults.setValue(kKey, nlohmann::json(width));
    } catch (const Support::IoError& error) {
        Support::Log::write("app.brindlecast", "editor", Support::LogLevel::error,
                            QString("sidebar width not stored: %1").arg(error.what()));
    }
}

double dragged(double base, double translation) { return std::clamp(base + translation, kMinimum, kMaximum); }

} // namespace BrindlecastApp::SidebarWidth
