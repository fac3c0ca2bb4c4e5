// The canvas's keys: tool letters, palette digits, width steps, crop confirmation, deletion.
#include "BrindlecastApp/Review/ReviewCanvasView.h"
#include "BrindlecastApp/Review/ReviewViewModel.h"

#include <QKeyEvent>

#include <map>

namespace BrindlecastApp {

namespace {

const std::map<QString, AnnotationTool>& toolKeys() {
    static const std::map<QString, AnnotationTool> keys{
        {"v", AnnotationTool::select}, {"a", AnnotationTool::arrow},       {"l", AnnotationTool::line},
        {"r", AnnotationTool::box},    {"e", AnnotationTool::ellipse},     {"t", AnnotationTool::text},
        {"n", AnnotationTool::badge},  {"h", AnnotationTool::highlighter}, {"b", AnnotationTool::blur},
        {"c", AnnotationTool::crop},
    };
    return keys;
}

} // namespace

bool ReviewCanvasView::event(QEvent* event) {
    // Delete and Backspace are the canvas's with any modifier: a shortcut on one of them
    // (Shift+Delete cuts on many desktops) must not take it away.
    if (event->type() == QEvent::ShortcutOverride) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Delete || key == Qt::Key_Backspace) {
            event->accept();
            return true;
        }
    }
    return QWidget::event(event);
}

void ReviewCanvasView::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Control) setCommandHeld(true);
    if (handleKey(event)) {
        update();
        return;
    }
    QWidget::keyPressEvent(event);
}

void ReviewCanvasView::keyReleaseEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Control) setCommandHeld(false);
    QWidget::keyReleaseEvent(event);
}

bool ReviewCanvasView::handleKey(QKeyEvent* event) {
    if (!model_) return false;
    ReviewViewModel& model = *model_;
    const Qt::KeyboardModifiers modifiers = event->modifiers();
    const bool command = modifiers & Qt::ControlModifier;

    switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
        if (model.tool() != AnnotationTool::crop) break;
        model.applyCropDraft();
        return true;
    case Qt::Key_Escape:
        if (model.tool() != AnnotationTool::crop) break;
        model.cancelCropDraft();
        return true;
    case Qt::Key_Backspace:
    case Qt::Key_Delete:
        if (!command) {
            model.deleteSelectedAnnotation();
        } else if (model.onDeleteImage()) {
            // Control-Delete asks first; with Shift it does not.
            model.onDeleteImage()(!(modifiers & Qt::ShiftModifier));
        }
        return true;
    default:
        break;
    }

    if (modifiers & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier)) return false;
    const QString characters = event->text().toLower();
    if (const auto tool = toolKeys().find(characters); tool != toolKeys().end()) {
        model.setTool(tool->second);
        return true;
    }
    if (characters.size() == 1 && characters[0] >= u'1' && characters[0] <= u'6') {
        const QString colour = ReviewViewModel::colorSwatches().at(characters[0].unicode() - u'1');
        model.setDefaultStrokeColorHex(colour);
        if (auto fill = model.defaultFill()) {
            fill->colorHex = colour;
            model.setDefaultFill(fill);
        }
        model.updateSelectedStyle(colour, std::nullopt, std::nullopt);
        return true;
    }
    if (characters == "[" || characters == "]") {
        const double step = model.pixelsPerPoint();
        const double width = characters == "[" ? std::max(model.defaultStrokeWidth() - step, 1.0) : model.defaultStrokeWidth() + step;
        model.setStrokeWidth(width);
        return true;
    }
    return false;
}

} // namespace BrindlecastApp
