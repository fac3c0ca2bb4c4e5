#include "BrindlecastApp/Pipeline/MessageBoxAlerts.h"

#include "BrindlecastApp/Design/Theme.h"
#include "BrindlecastApp/Design/ThemedRoot.h"

#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

namespace BrindlecastApp::Pipeline {

namespace {

// Alerts carry file names and other text the user does not control: a name holding markup is
// shown as the characters it is made of, never rendered.
void setPlainTexts(QMessageBox& box, const QString& message, const QString& informativeText) {
    box.setTextFormat(Qt::PlainText);
    box.setText(message);
    box.setInformativeText(informativeText);
    for (QLabel* label : box.findChildren<QLabel*>(QStringLiteral("qt_msgbox_informativelabel")))
        label->setTextFormat(Qt::PlainText);
}

} // namespace

int MessageBoxAlerts::run(QMessageBox& box) const {
    // Light or dark, with the accent, as the app's other windows.
    ThemedRoot::install(&box, theme_.data());
    box.setWindowModality(Qt::ApplicationModal);
    box.setWindowTitle(QStringLiteral("Brindlecast"));
    // The message reads as the alert's heading, its informative text as the body. (A style sheet
    // would keep the theme's colours from reaching the labels.)
    if (auto* heading = box.findChild<QLabel*>(QStringLiteral("qt_msgbox_label"))) {
        QFont font = heading->font();
        font.setBold(true);
        heading->setFont(font);
    }
    // A tray application has no window in front: bring the alert up over the other applications.
    QTimer::singleShot(0, &box, [&box] {
        box.raise();
        box.activateWindow();
    });
    return box.exec();
}

void MessageBoxAlerts::show(const QString& message, const QString& informativeText) {
    QMessageBox box;
    box.setIcon(QMessageBox::Information);
    setPlainTexts(box, message, informativeText);
    box.setStandardButtons(QMessageBox::Ok);
    run(box);
}

bool MessageBoxAlerts::confirm(const Confirmation& confirmation) {
    QMessageBox box;
    box.setIcon(QMessageBox::Warning);
    setPlainTexts(box, confirmation.message, confirmation.informativeText);
    QPushButton* confirmButton = box.addButton(confirmation.confirmTitle, QMessageBox::AcceptRole);
    box.addButton(confirmation.cancelTitle, QMessageBox::RejectRole);
    box.setDefaultButton(confirmButton);
    run(box);
    return box.clickedButton() == confirmButton;
}

} // namespace BrindlecastApp::Pipeline
