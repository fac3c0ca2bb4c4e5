#include "BrindlecastApp/Settings/SettingsSectionHeader.h"

#include "BrindlecastApp/Settings/SettingsControlStyle.h"

namespace BrindlecastApp {

SettingsSectionHeader::SettingsSectionHeader(const QString& title, QWidget* parent) : QLabel(parent) {
    setTextFormat(Qt::PlainText);
    setText(title);
    QFont font = SettingsControlStyle::font(11, QFont::Bold);
    font.setLetterSpacing(QFont::AbsoluteSpacing, 0.5);
    setFont(font);
    // The themed palette's placeholder colour is the secondary text colour of the scheme.
    setForegroundRole(QPalette::PlaceholderText);
    setContentsMargins(0, 0, 0, 8);
}

} // namespace BrindlecastApp
