#include "BrindlecastApp/Design/Window/EditorWindowChrome.h"

#include "BrindlecastApp/Design/GlassPanel.h"
#include "BrindlecastApp/Design/ThemedRoot.h"
#include "BrindlecastApp/Design/PathBuilder.h"
#include "BrindlecastApp/Design/Window/TrafficLightButton.h"
#include "BrindlecastApp/Design/WindowSurface.h"

#include <QApplication>
#include <QMouseEvent>
#include <QPainter>
#include <QTimer>
#include <QWindow>

namespace BrindlecastApp {

namespace {

Qt::CursorShape cursorFor(Qt::Edges edges) {
    const bool horizontal = edges & (Qt::LeftEdge | Qt::RightEdge);
    const bool vertical = edges & (Qt::TopEdge | Qt::BottomEdge);
    if (horizontal && vertical) {
        const bool falling = (edges & Qt::LeftEdge && edges & Qt::TopEdge) || (edges & Qt::RightEdge && edges & Qt::BottomEdge);
        return falling ? Qt::SizeFDiagCursor : Qt::SizeBDiagCursor;
    }
    return horizontal ? Qt::SizeHorCursor : Qt::SizeVerCursor;
}

} // namespace

EditorWindowChrome::EditorWindowChrome(QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::FramelessWindowHint),
      close_(new TrafficLightButton(TrafficLightButton::Kind::close, this)),
      minimize_(new TrafficLightButton(TrafficLightButton::Kind::minimize, this)),
      zoom_(new TrafficLightButton(TrafficLightButton::Kind::zoom, this)),
      lights_(new TrafficLightGroup({close_, minimize_, zoom_}, this)) {
    // Glass whose outline is rounded while a compositor can show the corners clear.
    surface_ = WindowSurface::attach(
        this, [this] { return continuousRoundedRect(QRectF(rect()), cornerRadius()); }, WindowSurface::Kind::glass);
    connect(surface_, &WindowSurface::changed, this, [this] {
        // Only a change of see-through changes the radius; a blur that comes or goes does not.
        if (cornerRadius() == shownRadius_) return;
        shownRadius_ = cornerRadius();
        emit cornerRadiusChanged();
    });
    shownRadius_ = cornerRadius();
    setMinimumSize(200, 120);
    connect(close_, &QAbstractButton::clicked, this, &QWidget::close);
    connect(minimize_, &QAbstractButton::clicked, this, &QWidget::showMinimized);
    connect(zoom_, &QAbstractButton::clicked, this, [this] { isMaximized() ? showNormal() : showMaximized(); });
    qApp->installEventFilter(this);
    alignButtons();
}

void EditorWindowChrome::setStripHeight(double height) {
    stripHeight_ = height;
    alignButtons();
}

void EditorWindowChrome::setCornerInset(double inset) {
    cornerInset_ = inset;
    alignButtons();
}

void EditorWindowChrome::setFixedSizeMode(const QSize& size, bool minimisable) {
    fixedSize_ = true;
    minimize_->setEnabled(minimisable);
    zoom_->setEnabled(false);
    unsetCursor();
    setFixedSize(size);
}

TrafficLights::Buttons EditorWindowChrome::trafficLightButtons() const { return {close_, minimize_, zoom_}; }

bool EditorWindowChrome::isTranslucent() const { return surface_->isSeeThrough(); }

double EditorWindowChrome::cornerRadius() const { return isTranslucent() ? tokensFor(this).radii.window : 0; }

void EditorWindowChrome::keepRounding(GlassPanel* panel) {
    panel->setRadius(cornerRadius());
    connect(this, &EditorWindowChrome::cornerRadiusChanged, panel, [this, panel] { panel->setRadius(cornerRadius()); });
}

Qt::Edges EditorWindowChrome::edgesAt(const QPoint& local) const {
    Qt::Edges edges;
    if (fixedSize_ || isMaximized() || isFullScreen() || !rect().contains(local)) return edges;
    if (local.x() < resizeBand) edges |= Qt::LeftEdge;
    if (local.x() >= width() - resizeBand) edges |= Qt::RightEdge;
    if (local.y() < resizeBand) edges |= Qt::TopEdge;
    if (local.y() >= height() - resizeBand) edges |= Qt::BottomEdge;
    return edges;
}

void EditorWindowChrome::alignButtons() {
    TrafficLights::align(trafficLightButtons(), stripHeight_, cornerInset_);
    // The content is laid out under the buttons, so they must stay on top of it.
    lights_->follow();
}

void EditorWindowChrome::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    alignButtons();
}

void EditorWindowChrome::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    alignButtons();
    // Layouts of the content settle on the next turn; place the buttons again after them.
    QTimer::singleShot(0, this, [this] {
        if (!TrafficLights::aligned(trafficLightButtons(), stripHeight_, cornerInset_)) alignButtons();
    });
}

void EditorWindowChrome::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    if (event->type() == QEvent::WindowStateChange || event->type() == QEvent::ActivationChange) alignButtons();
}

void EditorWindowChrome::paintEvent(QPaintEvent*) {
    if (isTranslucent()) return; // the content paints its own rounded surface
    QPainter painter(this);
    painter.fillRect(rect(), palette().color(QPalette::Window));
}

bool EditorWindowChrome::eventFilter(QObject* watched, QEvent* event) {
    // The filter sees every event of the application: the type check comes first, as it is cheapest.
    const QEvent::Type type = event->type();
    if (type == QEvent::MouseMove || type == QEvent::MouseButtonPress || type == QEvent::MouseButtonRelease) {
        auto* widget = qobject_cast<QWidget*>(watched);
        if (widget && widget->window() == this && handleEdgeEvent(event)) return true;
    }
    return QWidget::eventFilter(watched, event);
}

bool EditorWindowChrome::handleEdgeEvent(QEvent* event) {
    const QEvent::Type type = event->type();
    auto* mouse = static_cast<QMouseEvent*>(event);
    const QPoint global = mouse->globalPosition().toPoint();
    if (type == QEvent::MouseButtonRelease) {
        const bool wasResizing = manualEdges_ != Qt::Edges();
        manualEdges_ = Qt::Edges();
        return wasResizing;
    }
    if (type == QEvent::MouseMove && manualEdges_ != Qt::Edges()) {
        QRect g = pressGeometry_;
        const QPoint d = global - pressGlobal_;
        if (manualEdges_ & Qt::LeftEdge) g.setLeft(std::min(g.left() + d.x(), g.right() - minimumWidth()));
        if (manualEdges_ & Qt::RightEdge) g.setRight(g.right() + d.x());
        if (manualEdges_ & Qt::TopEdge) g.setTop(std::min(g.top() + d.y(), g.bottom() - minimumHeight()));
        if (manualEdges_ & Qt::BottomEdge) g.setBottom(g.bottom() + d.y());
        setGeometry(g);
        return true;
    }
    const Qt::Edges edges = edgesAt(mapFromGlobal(global));
    if (type == QEvent::MouseMove) {
        if (mouse->buttons() != Qt::NoButton) return false;
        if (edges != Qt::Edges()) setCursor(cursorFor(edges));
        else unsetCursor();
        return false;
    }
    if (mouse->button() != Qt::LeftButton || edges == Qt::Edges()) return false;
    QWindow* handle = windowHandle();
    if (handle && handle->startSystemResize(edges)) return true;
    manualEdges_ = edges;
    pressGlobal_ = global;
    pressGeometry_ = geometry();
    return true;
}

} // namespace BrindlecastApp
