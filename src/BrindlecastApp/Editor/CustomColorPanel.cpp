#include "BrindlecastApp/Editor/CustomColorPanel.h"

#include "BrindlecastApp/Review/Color.h"
#include "BrindlecastApp/Review/ReviewViewModel.h"

#include <QColorDialog>
#include <QPointer>

namespace BrindlecastApp::CustomColorPanel {

namespace {

// Who the chooser's changes go to: the capture's model, held weakly, and what to do with them.
struct Binding {
    QPointer<ReviewViewModel> model;
    OnChange onChange;
};

Binding& binding() {
    static Binding shared;
    return shared;
}

QPointer<QColorDialog>& sharedPanel() {
    static QPointer<QColorDialog> shared;
    return shared;
}

void deliver(const QColor& color) {
    Binding& bound = binding();
    // A model that went away ends its binding; nothing is written anywhere.
    if (!bound.model || !bound.onChange) return;
    // Copied: the callback may open the chooser again and so replace the binding.
    const OnChange onChange = bound.onChange;
    onChange(*bound.model, Color::hexRGB(color));
}

QColorDialog* ensurePanel() {
    QPointer<QColorDialog>& shared = sharedPanel();
    if (!shared) {
        shared = new QColorDialog;
        shared->setObjectName(QStringLiteral("customColorPanel"));
        shared->setWindowTitle(QStringLiteral("Colors"));
        // Changes apply as they are made, so there is nothing to confirm or cancel; the
        // toolkit's own chooser reports every movement, where a desktop's may only report the end.
        shared->setOptions(QColorDialog::DontUseNativeDialog | QColorDialog::NoButtons);
        shared->setModal(false);
        QObject::connect(shared.data(), &QColorDialog::currentColorChanged, shared.data(), &deliver);
    }
    return shared;
}

} // namespace

void open(const QColor& current, ReviewViewModel& model, OnChange onChange) {
    QColorDialog* chooser = ensurePanel();
    // Preset while bound to nothing: the preset's own change signal must not reach a model.
    binding() = {};
    chooser->setOption(QColorDialog::ShowAlphaChannel, false);
    chooser->setCurrentColor(current);
    binding() = {&model, std::move(onChange)};
    chooser->show();
    chooser->raise();
    chooser->activateWindow();
}

void detach(const ReviewViewModel* model) {
    if (model && binding().model == model) binding() = {};
}

ReviewViewModel* boundModel() { return binding().onChange ? binding().model.data() : nullptr; }

QColorDialog* panel() { return sharedPanel().data(); }

} // namespace BrindlecastApp::CustomColorPanel
