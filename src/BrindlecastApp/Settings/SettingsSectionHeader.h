#pragma once

#include <QLabel>

namespace BrindlecastApp {

// A section's title above its card: small bold capitals in the secondary text colour, 8 points
// above the card. Callers pass the title in capitals ("BLOCKED APPS"); it is shown as given.
class SettingsSectionHeader : public QLabel {
    Q_OBJECT
public:
    explicit SettingsSectionHeader(const QString& title, QWidget* parent = nullptr);
};

} // namespace BrindlecastApp
