#include "BrindlecastApp/Settings/SettingsRowCache.h"

namespace BrindlecastApp {

QWidget* SettingsRowCache::row(const QString& key, const std::function<QWidget*()>& make) {
    QPointer<QWidget> kept;
    while (!kept && shown_.contains(key)) kept = shown_.take(key);
    QWidget* row = kept ? kept.data() : make();
    next_.insert(key, row);
    return row;
}

void SettingsRowCache::finish() {
    shown_ = std::move(next_);
    next_.clear();
}

} // namespace BrindlecastApp
