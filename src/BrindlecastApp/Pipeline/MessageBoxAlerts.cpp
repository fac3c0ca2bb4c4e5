#include "BrindlecastApp/Pipeline/MessageBoxAlerts.h"

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
    setPlainTexts(box, message, informativeText);
    box.setStandardButtons(QMessageBox::Ok);
    runRaised(box);
}

bool MessageBoxAlerts::confirm(const Confirmation& confirmation) {
    QMessageBox box;
    box.setIcon(QMessageBox::Warning);
    setPlainTexts(box, confirmation.message, confirmation.informativeText);
    QPushButton* confirmButton = box.addButton(confirmation.confirmTitle, QMessageBox::AcceptRole);
    box.addButton(confirmation.cancelTitle, QMessageBox::RejectRole);
    box.setDefaultButton(confirmButton);
    runRaised(box);
    return box.clickedButton() == confirmButton;
}

} // namespace BrindlecastApp::Pipeline
