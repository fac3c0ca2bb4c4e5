#include "BrindlecastApp/Review/ReviewCanvasView.h"

#include "BrindlecastApp/Design/Fade.h"
#include "BrindlecastApp/Design/ShadowCaster.h"
#include "BrindlecastApp/Design/Theme.h"
#include "BrindlecastApp/Design/ThemedRoot.h"
#include "BrindlecastApp/Review/AnnotationGeometry.h"
#include "BrindlecastApp/Review/CanvasColor.h"
#include "BrindlecastApp/Review/CopyTextAreas.h"
#include "BrindlecastApp/Review/EditorTextField.h"
#include "BrindlecastApp/Review/ReviewViewModel.h"
#include "DetectionKit/TextExtractor.h"
#include "ExportKit/BitmapCoordinates.h"
#include "ExportKit/Clipboard.h"
#include "Support/Fonts.h"
#include "Support/WorkerPool.h"

#include <QCoreApplication>
#include <QFontDatabase>
#include <QFontMetricsF>
#include <QFutureWatcher>
#include <QPainter>
#include <QTimer>
#include <QWheelEvent>
#include <QtConcurrent/QtConcurrentRun>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>

namespace BrindlecastApp {

using SidecarKit::Annotation;
using Support::Point;
using Support::Rect;

namespace {

constexpr int kFlashMilliseconds = 1200;
constexpr int kLuminanceSquare = 48;

ReviewCanvasView::Services realServices(ReviewCanvasView::Services services) {
    if (!services.extractText) {
        services.extractText = [](const QImage& image, const Rect& region, const std::vector<Rect>& excluded) {
            return DetectionKit::TextExtractor::text(image, region, excluded);
        };
    }
    if (!services.clipboard) services.clipboard = std::make_shared<ExportKit::SystemClipboard>();
    return services;
}

// With BRINDLECAST_TRACE_FINDINGS set, the first frame that shows a capture's findings writes the
// steady clock's time to standard error (for the capture road's timing of the editor).
const bool kTracesFindings = qEnvironmentVariableIsSet("BRINDLECAST_TRACE_FINDINGS");

QFont editorFont(const ReviewViewModel& model, double viewSize) {
    const int pixels = std::max(1, int(std::lround(viewSize)));
    if (const auto& family = model.defaultFontFamily(); family && QFontDatabase::families().contains(*family)) {
        QFont font(*family);
        font.setPixelSize(pixels);
        return font;
    }
    return Support::Fonts::interfaceFont(pixels);
}

} // namespace

ReviewCanvasView::ReviewCanvasView(ReviewViewModel& model, QWidget* parent) : ReviewCanvasView(model, {}, parent) {}

ReviewCanvasView::ReviewCanvasView(ReviewViewModel& model, Services services, QWidget* parent)
    : QWidget(parent),
      model_(&model),
      services_(realServices(std::move(services))),
      opensTextEditorWhenShown_(QCoreApplication::arguments().contains(QStringLiteral("--preview-text-chip"))) {
    setFocusPolicy(Qt::StrongFocus);
    setMouseTracking(false);
    setAttribute(Qt::WA_OpaquePaintEvent, false);
    setObjectName(QStringLiteral("reviewCanvas"));
    connect(&model, &ReviewViewModel::changed, this, &ReviewCanvasView::modelChanged);
    updateCursor();
}

ReviewCanvasView::~ReviewCanvasView() {
    // The editor's last signals (it loses the focus as it goes) must not reach a canvas that is
    // being taken apart.
    if (textEditor_) {
        textEditor_->disconnect(this);
        delete textEditor_;
    }
}

void ReviewCanvasView::setMatColor(const std::optional<QColor>& color) {
    matColor_ = color;
    update();
}

// --- Reaction to the model ------------------------------------------------------------------

void ReviewCanvasView::modelChanged() {
    update();
    updateCursor();
    // A new image, crop, tool or top chrome may call for another fit.
    publishFitScale();
    // One turn later, as the model may still be in the middle of a change.
    QTimer::singleShot(0, this, [this] {
        if (!model_) return;
        if (textEditor_) {
            const QColor colour = CanvasColor::nsColor(model_->defaultStrokeColorHex(), 1.0);
            textEditor_->setTextColor(colour);
            textEditor_->setFont(editorFont(*model_, textEditor_->font().pixelSize()));
        }
        if (model_->zoom() <= CanvasGeometry::kZoomThreshold) pan_ = {0, 0};
    });
}

void ReviewCanvasView::updateCursor() {
    const bool arrow = commandHeld_ || !model_ || model_->tool() == AnnotationTool::select;
    // The pointer tells that personal data is still being looked for, as long as it would be the
    // arrow: drawing keeps its cross.
    const bool detecting = model_ && model_->isDetectingPII();
    setCursor(!arrow ? Qt::CrossCursor : detecting ? Qt::BusyCursor : Qt::ArrowCursor);
}

void ReviewCanvasView::setCommandHeld(bool held) {
    if (held == commandHeld_) return;
    commandHeld_ = held;
    updateCursor();
}

// --- Geometry -------------------------------------------------------------------------------

Rect ReviewCanvasView::fitRect() const {
    if (!model_) return Rect(0, 0, 0, 0);
    return CanvasGeometry::fitRect(*model_, Rect(0, 0, width(), height()), pan_).fitRect;
}

CanvasGeometry::ImageViewMapping ReviewCanvasView::mapping() const {
    const Support::Size size{model_ ? double(model_->image().width()) : 0, model_ ? double(model_->image().height()) : 0};
    return CanvasGeometry::ImageViewMapping(fitRect(), size);
}

Point ReviewCanvasView::toView(const Point& p) const { return mapping().toView(p); }
Rect ReviewCanvasView::toView(const Rect& r) const { return mapping().toView(r); }
Point ReviewCanvasView::toImage(const Point& p) const { return mapping().toImage(p); }

void ReviewCanvasView::panBy(const Point& delta) {
    if (!model_ || model_->zoom() <= CanvasGeometry::kZoomThreshold) return;
    const Support::Size size{double(model_->image().width()), double(model_->image().height())};
    pan_ = CanvasGeometry::panBy(pan_, delta, size, model_->fitScale(), model_->zoom(),
                                 CanvasGeometry::workingArea(Rect(0, 0, width(), height()), model_->topChromeHeight()));
    update();
}

// --- Painting -------------------------------------------------------------------------------

void ReviewCanvasView::setFloatingCards(const QList<QWidget*>& cards) {
    floatingCards_.clear();
    for (QWidget* card : cards) floatingCards_ << card;
    update();
}

void ReviewCanvasView::paintEvent(QPaintEvent*) {
    if (!model_) return;
    const double dpr = devicePixelRatioF();
    const QSize device(int(std::ceil(width() * dpr)), int(std::ceil(height() * dpr)));
    if (frame_.size() != device) {
        frame_ = ExportKit::BitmapCoordinates::makeWorkingBitmap(device);
        frame_.setDevicePixelRatio(dpr);
    }
    if (frame_.isNull()) return;
    if (!matColor_ || matColor_->alpha() != 255) frame_.fill(Qt::transparent); // an opaque mat covers it all

    CanvasRenderer::Scene scene;
    scene.bounds = QRectF(0, 0, width(), height());
    scene.mat = matColor_;
    scene.pan = pan_;
    scene.devicePixelRatio = dpr;
    if (Theme* theme = themeFor(this)) scene.accent = theme->accent();
    scene.preview = preview();
    if (const auto* create = std::get_if<CanvasDrag::Create>(&drag_)) {
        // The rectangular select shows the crop it will make; copy text the area it will read.
        if (model_->tool() == AnnotationTool::rectSelect) {
            scene.selectRectangle = AnnotationGeometry::marqueeRect(create->start, create->current, model_->cropRatio());
        } else if (model_->tool() == AnnotationTool::copyText) {
            scene.selectRectangle = Rect(std::min(create->start.x, create->current.x), std::min(create->start.y, create->current.y),
                                         std::abs(create->current.x - create->start.x), std::abs(create->current.y - create->start.y));
        }
    }
    if (const auto* marquee = std::get_if<CanvasDrag::Marquee>(&drag_)) {
        scene.marquee = Rect(marquee->start.x, marquee->start.y, marquee->current.x - marquee->start.x,
                             marquee->current.y - marquee->start.y);
    }
    scene.hidden = editedAnnotationID();
    scene.flash = copyFlash_;
    {
        QPainter painter(&frame_);
        renderer_.paint(painter, *model_, scene);
    }
    QPainter painter(this);
    // Over an opaque mat the frame replaces what lay behind; without one it lies over it.
    if (matColor_ && matColor_->alpha() == 255) painter.setCompositionMode(QPainter::CompositionMode_Source);
    painter.drawImage(QPointF(0, 0), frame_);
    painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
    for (const QPointer<QWidget>& card : floatingCards_) {
        const auto* caster = dynamic_cast<const ShadowCaster*>(card.data());
        if (!caster || !card->isVisible()) continue;
        const ShadowCaster::Layer& layer = caster->shadowLayer(dpr);
        if (layer.image.isNull()) continue;
        const QPoint at = card->mapTo(window(), QPoint(0, 0)) - mapTo(window(), QPoint(0, 0));
        painter.setOpacity(Fade::opacityOf(*card)); // a card fading in or out casts a fading shadow
        painter.drawImage(QPointF(at) + layer.origin, layer.image);
        painter.setOpacity(1);
    }
    painter.end();
    publishFitScale();
    if (kTracesFindings && !model_->isDetectingPII() && model_->image().cacheKey() != tracedImage_) {
        tracedImage_ = model_->image().cacheKey();
        const auto now = std::chrono::steady_clock::now().time_since_epoch();
        std::fprintf(stderr, "findings shown %.6f\n", std::chrono::duration<double>(now).count());
        std::fflush(stderr);
    }
}

void ReviewCanvasView::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    // The status bar and the zoom snaps read the fit from the model: it follows a new size at
    // once, not only once the canvas is drawn again (which may come after the status bar is).
    publishFitScale();
}

void ReviewCanvasView::publishFitScale() {
    if (!model_ || fitScalePending_) return;
    // The model is written one turn later, never during a paint, with the fit the canvas's size,
    // chrome and content call for by then.
    fitScalePending_ = true;
    QTimer::singleShot(0, this, [this] {
        fitScalePending_ = false;
        if (!model_) return;
        const auto fit = CanvasGeometry::fitRect(*model_, Rect(0, 0, width(), height()), pan_).fitScale;
        if (fit && CanvasGeometry::shouldPublishFitScale(model_->fitScale(), *fit)) model_->setFitScale(*fit);
    });
}

std::optional<Annotation> ReviewCanvasView::preview() const {
    const QUuid id = QUuid::createUuid();
    if (const auto* freeform = std::get_if<CanvasDrag::Freeform>(&drag_)) {
        return Annotation(id, 0, Annotation::Freeform{freeform->points, defaultStyle(), false});
    }
    const auto* create = std::get_if<CanvasDrag::Create>(&drag_);
    if (!create) return std::nullopt;
    const Rect spanned(std::min(create->start.x, create->current.x), std::min(create->start.y, create->current.y),
                       std::abs(create->current.x - create->start.x), std::abs(create->current.y - create->start.y));
    switch (model_->tool()) {
    case AnnotationTool::arrow:
        return Annotation(id, 0, Annotation::Arrow{create->start, create->current, defaultStyle(), std::nullopt});
    case AnnotationTool::box: return Annotation(id, 0, Annotation::Box{spanned, defaultStyle(), std::nullopt, 0});
    case AnnotationTool::ellipse: return Annotation(id, 0, Annotation::Ellipse{spanned, defaultStyle(), std::nullopt, 0});
    case AnnotationTool::line:
        return Annotation(id, 0, Annotation::Line{create->start, create->current, defaultStyle(), model_->defaultLineDashed()});
    case AnnotationTool::blur: return Annotation(id, 0, Annotation::Blur{spanned, model_->redactionStyle(), 0});
    default: return std::nullopt;
    }
}

Annotation::Style ReviewCanvasView::defaultStyle() const { return CanvasGeometry::defaultStyle(*model_); }
Annotation::Style ReviewCanvasView::textStyle() const { return CanvasGeometry::textStyle(*model_); }

// --- Wheel, focus, showing ------------------------------------------------------------------

void ReviewCanvasView::wheelEvent(QWheelEvent* event) {
    if (!model_ || model_->zoom() <= CanvasGeometry::kZoomThreshold) {
        QWidget::wheelEvent(event);
        return;
    }
    const QPointF delta = !event->pixelDelta().isNull() ? QPointF(event->pixelDelta()) : QPointF(event->angleDelta()) / 4;
    panBy({delta.x(), delta.y()});
}

void ReviewCanvasView::focusOutEvent(QFocusEvent* event) {
    setCommandHeld(false);
    QWidget::focusOutEvent(event);
}

void ReviewCanvasView::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (!opensTextEditorWhenShown_) return;
    opensTextEditorWhenShown_ = false;
    QTimer::singleShot(0, this, [this] {
        if (!model_) return;
        model_->setTool(AnnotationTool::text);
        const Rect fr = fitRect();
        openTextEditor(toImage({fr.midX(), fr.minY() + 60}), QString(), textStyle().lineWidth, std::nullopt);
    });
}

// --- Text editing ---------------------------------------------------------------------------

std::optional<QUuid> ReviewCanvasView::editedAnnotationID() const {
    if (textEditor_ && editingTextAnnotation_) return editingTextAnnotation_->id;
    return std::nullopt;
}

double ReviewCanvasView::backgroundLuminance(const Point& p) const {
    const QImage& image = model_->image();
    const QRectF square(p.x - kLuminanceSquare / 2.0, p.y - kLuminanceSquare / 2.0, kLuminanceSquare, kLuminanceSquare);
    const QRect area = square.toAlignedRect().intersected(image.rect());
    if (!std::isfinite(p.x) || !std::isfinite(p.y) || area.width() < 1 || area.height() < 1) return 1.0;
    const QImage pixels = image.copy(area).convertToFormat(QImage::Format_ARGB32_Premultiplied);
    double r = 0, g = 0, b = 0;
    for (int y = 0; y < pixels.height(); ++y) {
        const auto* line = reinterpret_cast<const QRgb*>(pixels.constScanLine(y));
        for (int x = 0; x < pixels.width(); ++x) {
            r += qRed(line[x]);
            g += qGreen(line[x]);
            b += qBlue(line[x]);
        }
    }
    const double n = double(pixels.width()) * pixels.height();
    return (0.299 * r + 0.587 * g + 0.114 * b) / n / 255.0;
}

void ReviewCanvasView::openTextEditor(const Point& originImage, const QString& string, double fontSize,
                                      const std::optional<Annotation>& editing) {
    if (textEditor_) commitTextEditing();
    model_->setSelectedAnnotationIDs({});
    editingTextAnnotation_ = editing;

    const double s = mapping().scale();
    const double f = fontSize * s;
    const Point p = toView(originImage);
    const QFont font = editorFont(*model_, f);
    const double height = QFontMetricsF(font).height() + 8;
    const QRect frame(int(std::floor(p.x - 6)), int(std::floor(p.y - 4)), int(std::ceil(std::max(f * 8, 240.0))),
                      int(std::ceil(height)));

    Theme* theme = themeFor(this);
    auto* field = new EditorTextField(backgroundLuminance(originImage) > 0.5, theme ? theme->accent() : QColor(0, 122, 255), this);
    field->setObjectName(QStringLiteral("canvasTextEditor"));
    field->setFont(font);
    field->setText(string);
    field->setTextColor(CanvasColor::nsColor(model_->defaultStrokeColorHex(), 1.0));
    field->setGeometry(frame);
    connect(field, &QLineEdit::returnPressed, this, &ReviewCanvasView::commitTextEditing);
    connect(field, &EditorTextField::cancelled, this, &ReviewCanvasView::cancelTextEditing);
    connect(field, &QLineEdit::editingFinished, this, [this, field] {
        if (textEditor_ == field) commitTextEditing();
    });
    textEditor_ = field;
    textEditorOrigin_ = originImage;
    textEditorFontSize_ = fontSize;
    field->show();
    field->setFocus(Qt::OtherFocusReason);
    update();
}

void ReviewCanvasView::commitTextEditing() {
    if (!textEditor_ || !textEditorOrigin_ || !model_) return;
    const QString string = textEditor_->text();
    const std::optional<Annotation> editing = editingTextAnnotation_;
    const double fontSize = textEditorFontSize_.value_or(textStyle().lineWidth);
    const Point origin = *textEditorOrigin_;

    closeTextEditor();

    Annotation::Style style = textStyle();
    style.lineWidth = fontSize;
    if (editing) {
        const auto* old = std::get_if<Annotation::Text>(&editing->kind);
        ReviewViewModel::AnnotationList list = model_->annotations();
        const auto at = std::find_if(list.begin(), list.end(), [&](const Annotation& a) { return a.id == editing->id; });
        if (!string.isEmpty()) {
            style.outline = old ? old->style.outline : style.outline;
            style.outlineColorHex = old ? old->style.outlineColorHex : style.outlineColorHex;
            style.shadow = old ? old->style.shadow : style.shadow;
            Annotation updated(editing->id, editing->zIndex,
                               Annotation::Text{origin, string, style, old ? old->fontFamily : std::nullopt,
                                                old ? old->alignment : Annotation::TextAlignment::left, old ? old->rotation : 0});
            // One undo step brings the old text back.
            model_->snapshotForUndo();
            if (at != list.end()) {
                *at = updated;
            } else {
                list.push_back(updated);
            }
            std::stable_sort(list.begin(), list.end(), [](const Annotation& a, const Annotation& b) { return a.zIndex < b.zIndex; });
            model_->setAnnotations(std::move(list));
            model_->setSelectedAnnotationID(editing->id);
        } else if (at != list.end()) {
            // Emptied: the text goes, and undo brings it back.
            model_->snapshotForUndo();
            list.erase(at);
            model_->setAnnotations(std::move(list));
        }
    } else if (!string.isEmpty()) {
        model_->addAnnotation(Annotation::Text{origin, string, style, model_->defaultFontFamily(),
                                               model_->defaultTextAlignment(), 0});
    }
    model_->setTool(AnnotationTool::select);
    update();
}

void ReviewCanvasView::cancelTextEditing() {
    if (!textEditor_) return;
    closeTextEditor();
    update();
}

void ReviewCanvasView::closeTextEditor() {
    EditorTextField* field = std::exchange(textEditor_, nullptr);
    textEditorOrigin_.reset();
    editingTextAnnotation_.reset();
    textEditorFontSize_.reset();
    // It may be closing from one of its own signals.
    field->hide();
    field->deleteLater();
    setFocus(Qt::OtherFocusReason);
}

void ReviewCanvasView::openForEditing(const Annotation& annotation) {
    const auto* text = std::get_if<Annotation::Text>(&annotation.kind);
    if (!text) return;
    // The editor takes the text's colour; the other selected annotations keep theirs.
    model_->setDefaultStrokeColorHex(text->style.colorHex);
    if (auto fill = model_->defaultFill()) {
        fill->colorHex = text->style.colorHex;
        model_->setDefaultFill(fill);
    }
    openTextEditor(text->origin, text->string, text->style.lineWidth, annotation);
}

// --- Copy text ------------------------------------------------------------------------------

void ReviewCanvasView::copyText(const Rect& rect) {
    model_->setTool(AnnotationTool::select);
    // The policy of this moment, asked as an export asks it: the organisation may have closed the
    // clipboard, or made a pattern mandatory, since the editor opened.
    const PolicyKit::EffectivePolicy policy = model_->currentPolicy();
    if (!ReviewViewModel::destinationsAllowedBy(policy).count(ExportKit::DestinationKind::clipboard)) {
        // Nothing is read and nothing leaves.
        showCopyOutcome(kClipboardNotAllowed, rect);
        return;
    }
    if (copying_) {
        // One area is read at a time; the user learns this one was not taken.
        flash(kStillCopying, rect);
        return;
    }
    copying_ = true;
    // Detections still being found, and those of patterns made mandatory since, must be censored
    // too: the text is read once they are in.
    model_->whenDetectionsCover(policy, [self = QPointer<ReviewCanvasView>(this), rect](bool covered) {
        if (!self || !self->model_) return;
        if (!covered) {
            self->copying_ = false;
            self->showCopyOutcome(kCopyFailed, rect);
            return;
        }
        auto* watcher = new QFutureWatcher<std::pair<QString, bool>>(self);
        connect(watcher, &QFutureWatcherBase::finished, self, [self, watcher, rect] {
            const auto [text, failed] = watcher->result();
            watcher->deleteLater();
            self->copying_ = false;
            self->finishCopy(text, failed, rect);
        });
        watcher->setFuture(QtConcurrent::run(&Support::workerPool(), [extract = self->services_.extractText, image = self->model_->image(), rect,
                                              excluded = CopyTextAreas::excluded(*self->model_)]() -> std::pair<QString, bool> {
            try {
                return {extract(image, rect, excluded), false};
            } catch (...) {
                return {QString(), true};
            }
        }));
    });
}

void ReviewCanvasView::finishCopy(const QString& text, bool failed, const Rect& rect) {
    // Asked again before the text leaves: the policy may have changed while it was read.
    const PolicyKit::EffectivePolicy policy = model_->currentPolicy();
    if (!ReviewViewModel::destinationsAllowedBy(policy).count(ExportKit::DestinationKind::clipboard)) {
        showCopyOutcome(kClipboardNotAllowed, rect);
    } else if (!model_->detectionsCover(policy)) {
        // A pattern became mandatory meanwhile: the text is read again with its findings censored.
        copyText(rect);
    } else if (failed || text.trimmed().isEmpty()) {
        showCopyOutcome(kNoTextFound, rect);
    } else {
        showCopyOutcome(services_.clipboard->setData(QStringLiteral("text/plain"), text.toUtf8()) ? kCopied : kCopyFailed,
                        rect);
    }
}

void ReviewCanvasView::showCopyOutcome(const QString& message, const Rect& rect) {
    flash(message, rect);
    emit copyTextFinished(message);
}

void ReviewCanvasView::flash(const QString& message, const Rect& rect) {
    copyFlash_ = CanvasRenderer::CopyFlash{mapping().toView(rect).toQRectF(), message};
    update();
    // A later flash within the time is cleared by the earlier one's timer, as the design has it.
    QTimer::singleShot(kFlashMilliseconds, this, [this] {
        copyFlash_.reset();
        update();
    });
}

} // namespace BrindlecastApp
