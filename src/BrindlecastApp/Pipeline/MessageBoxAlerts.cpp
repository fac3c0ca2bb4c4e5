#include "BrindlecastApp/Pipeline/MessageBoxAlerts.h"

#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

namespace BrindlecastApp::Pipeline {

namespace {

int runRaised(QMessageBox& box) {
    box.setWindowModality(Qt::ApplicationModal);
    box.setWindowTitle(QStringLiteral("Brindlecast"));
    // The message reads as the alert's heading, its informative text as the body.
    box.setStyleSheet(QStringLiteral("QLabel#qt_msgbox_label { font-weight: bold; }"));
    // A tray application has no window in front: bring the alert up over the other applications.
    QTimer::singleShot(0, &box, [&box] {
        box.raise();
        box.activateWindow();
    });
    return box.exec();
}

} // namespace

void MessageBoxAlerts::show(const QString& message, const QString& informativeText) {
    QMessageBox box;
    box.setIcon(QMessageBox::Information);
    box.setText(message);
    box.setInformativeText(informativeText);
    box.setStandardButtons(QMessageBox::Ok);
    runRaised(box);
}

bool MessageBoxAlerts::confirm(const Confirmation& confirmation) {
    QMessageBox box;
    box.setIcon(QMessageBox::Warning);
    box.setText(confirmation.message);
    box.setInformativeText(confirmation.informativeText);
    QPushButton* confirmButton = box.addButton(confirmation.confirmTitle, QMessageBox::AcceptRole);
    box.addButton(confirmation.cancelTitle, QMessageBox::RejectRole);
    box.setDefaultButton(confirmButton);
    runRaised(box);
    return box.clickedButton() == confirmButton;
}

} // namespace BrindlecastApp::Pipeline
