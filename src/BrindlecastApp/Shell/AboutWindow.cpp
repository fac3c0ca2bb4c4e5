#include "BrindlecastApp/Shell/AboutWindow.h"

#include "BrindlecastApp/Design/GlassPanel.h"
#include "BrindlecastApp/Design/PathBuilder.h"
#include "BrindlecastApp/Design/Symbols.h"
#include "BrindlecastApp/Design/TextLabel.h"
#include "BrindlecastApp/Design/ThemedRoot.h"
#include "BrindlecastApp/Design/Window/ScreenPlacement.h"
#include "BrindlecastApp/Design/Window/WindowDragArea.h"
#include "Support/Fonts.h"

#include <QDesktopServices>
#include <QFontMetricsF>
#include <QMouseEvent>
#include <QPainter>
#include <QVBoxLayout>

#include <cmath>

namespace BrindlecastApp {

namespace {

// The app's tile: the shield on the indigo-to-blue gradient the tray's walkthrough shows too.
class AppTile : public QWidget {
public:
    explicit AppTile(QWidget* parent = nullptr) : QWidget(parent) {
        setAttribute(Qt::WA_TranslucentBackground);
        setFixedSize(64, 64);
    }

protected:
    void paintEvent(QPaintEvent*) override {
        const bool dark = tokensFor(this).isDark();
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        QLinearGradient gradient(0, 0, 0, height());
        gradient.setColorAt(0, dark ? QColor(94, 92, 230) : QColor(88, 86, 214));
        gradient.setColorAt(1, dark ? QColor(10, 132, 255) : QColor(0, 122, 255));
        painter.setPen(Qt::NoPen);
        painter.setBrush(gradient);
        painter.drawPath(continuousRoundedRect(QRectF(rect()), 15));
        Symbols::paint(painter, "lock.shield", QRectF(rect()).adjusted(14, 14, -14, -14), Qt::white, SymbolWeight::medium);
    }
};

// A line of text that is wholly a link: accent, underlined, a pointing hand, opened on click.
class LinkLabel : public QWidget {
public:
    LinkLabel(QString text, QUrl url, AboutWindow::OpenUrl open, QWidget* parent = nullptr)
        : QWidget(parent), text_(std::move(text)), url_(std::move(url)), open_(std::move(open)) {
        setAttribute(Qt::WA_TranslucentBackground);
        setCursor(Qt::PointingHandCursor);
        setObjectName(QStringLiteral("creditsLink"));
        setToolTip(url_.toString());
    }

    QSize sizeHint() const override {
        const QFontMetricsF metrics(font());
        return {static_cast<int>(std::ceil(metrics.horizontalAdvance(text_))), static_cast<int>(std::ceil(metrics.height()))};
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        QFont f = font();
        f.setUnderline(true);
        painter.setFont(f);
        painter.setPen(tokensFor(this).accent);
        painter.drawText(rect(), Qt::AlignCenter, text_);
    }
    void mouseReleaseEvent(QMouseEvent* event) override {
        if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint())) open_(url_);
    }
    void mousePressEvent(QMouseEvent* event) override { event->accept(); }

private:
    QFont font() const { return Support::Fonts::interfaceFont(12); }

    QString text_;
    QUrl url_;
    AboutWindow::OpenUrl open_;
};

} // namespace

QString AboutWindow::defaultVersion() { return QStringLiteral(BRINDLECAST_VERSION); }

QString AboutWindow::versionLine(const QString& version) { return QStringLiteral("Version %1").arg(version); }

AboutWindow::AboutWindow(Theme* theme, QString version, OpenUrl openUrl, QWidget* parent) : EditorWindowChrome(parent) {
    setWindowTitle(kTitle);
    setObjectName(QStringLiteral("aboutWindow"));
    setStripHeight(44);
    ThemedRoot::install(this, theme);
    if (!openUrl) openUrl = [](const QUrl& url) { QDesktopServices::openUrl(url); };

    auto* panel = new GlassPanel(GlassVariant::window, cornerRadius());
    keepRounding(panel);
    auto* windowLayout = new QVBoxLayout(this);
    windowLayout->setContentsMargins(0, 0, 0, 0);
    windowLayout->addWidget(panel);
    auto* panelLayout = new QVBoxLayout(panel);
    panelLayout->setContentsMargins(0, 0, 0, 0);
    auto* dragArea = new WindowDragArea;
    panelLayout->addWidget(dragArea);

    auto* column = new QVBoxLayout(dragArea);
    column->setContentsMargins(28, 40, 28, 24);
    column->setSpacing(6);
    column->addWidget(new AppTile, 0, Qt::AlignHCenter);
    column->addSpacing(8);
    column->addWidget(new TextLabel(kName, Support::Fonts::interfaceFont(16, QFont::Bold), TextLabel::Tone::primary), 0,
                      Qt::AlignHCenter);
    if (!version.isEmpty())
        column->addWidget(new TextLabel(versionLine(version), Support::Fonts::interfaceFont(11), TextLabel::Tone::secondary),
                          0, Qt::AlignHCenter);
    column->addSpacing(10);
    credits_ = new LinkLabel(kCredits, kCreditsUrl, std::move(openUrl));
    column->addWidget(credits_, 0, Qt::AlignHCenter);
    column->addWidget(new TextLabel(kRights, Support::Fonts::interfaceFont(10), TextLabel::Tone::secondary), 0,
                      Qt::AlignHCenter);

    const QSize size(std::max(280, column->sizeHint().width()), column->sizeHint().height());
    setFixedSizeMode(size);
    ScreenPlacement::centre(*this, size);
}

} // namespace BrindlecastApp
