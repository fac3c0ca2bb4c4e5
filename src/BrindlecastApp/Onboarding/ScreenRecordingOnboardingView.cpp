#include "BrindlecastApp/Onboarding/ScreenRecordingOnboardingView.h"

#include "BrindlecastApp/Design/Symbols.h"
#include "BrindlecastApp/Design/TextLabel.h"
#include "BrindlecastApp/Design/ThemedRoot.h"
#include "BrindlecastApp/Design/ShadowCaster.h"
#include "BrindlecastApp/Onboarding/BreadcrumbIllustration.h"
#include "BrindlecastApp/Onboarding/OnboardingFooter.h"
#include "BrindlecastApp/Onboarding/OnboardingStyle.h"
#include "BrindlecastApp/Onboarding/RelaunchIllustration.h"
#include "BrindlecastApp/Onboarding/StepCard.h"
#include "BrindlecastApp/Onboarding/ToggleRowIllustration.h"
#include "BrindlecastApp/Onboarding/WrappedText.h"

#include <QPainter>
#include <QTimer>
#include <QVBoxLayout>

namespace BrindlecastApp {

namespace {

// The header's badge: the capture symbol in white on an accent disc that glows below it.
class HeaderIcon : public QWidget, public ShadowCaster {
public:
    explicit HeaderIcon(QWidget* parent = nullptr) : QWidget(parent) {
        setAttribute(Qt::WA_TranslucentBackground);
        setFixedSize(52, 52);
    }

    QList<Tokens::Shadow> castShadows() const override {
        return {Tokens::Shadow{Design::withOpacity(tokensFor(this).accent, 0.35), 10, 0, 4}};
    }
    QPainterPath shadowShape() const override {
        QPainterPath path;
        path.addEllipse(QRectF(rect()));
        return path;
    }

protected:
    void paintEvent(QPaintEvent*) override {
        const QColor accent = tokensFor(this).accent;
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        QLinearGradient gradient(QPointF(0, 0), QPointF(width(), height()));
        gradient.setColorAt(0, Design::withOpacity(accent, 0.85));
        gradient.setColorAt(1, Design::withOpacity(accent, 0.55));
        painter.setPen(Qt::NoPen);
        painter.setBrush(gradient);
        painter.drawEllipse(QRectF(rect()));
        const double side = Symbols::sideForPointSize(22);
        Symbols::paint(painter, "rectangle.inset.filled.badge.record",
                       QRectF(QPointF(width() / 2.0 - side / 2, height() / 2.0 - side / 2), QSizeF(side, side)), Qt::white,
                       SymbolWeight::medium);
    }
};

} // namespace

const QString& ScreenRecordingOnboardingView::title() {
    static const QString text = QStringLiteral("Allow Screen Recording");
    return text;
}

const QString& ScreenRecordingOnboardingView::subtitle() {
    static const QString text = QStringLiteral("macOS asks once, then hides the switch away.\n"
                                               "Three steps and Brindlecast can capture your screen.");
    return text;
}

const QList<ScreenRecordingOnboardingView::Step>& ScreenRecordingOnboardingView::steps() {
    static const QList<Step> list{
        {"Open System Settings", "Brindlecast lives under Privacy & Security \u2192 Screen Recording."},
        {"Turn on Brindlecast", "Find Brindlecast in the list and flip its switch on."},
        {"Quit & Reopen if asked", "macOS may offer to relaunch Brindlecast \u2014 accept, and you're done."},
    };
    return list;
}

ScreenRecordingOnboardingView::ScreenRecordingOnboardingView(WalkthroughEnvironment environment, QObject* finishContext,
                                                             std::function<void()> onFinished, QWidget* parent)
    : QWidget(parent), environment_(std::move(environment)), finishContext_(finishContext ? finishContext : this),
      onFinished_(std::move(onFinished)), state_(environment_.accessGranted() ? State::granted : State::waiting),
      poll_(new QTimer(this)) {
    setAttribute(Qt::WA_TranslucentBackground);
    setObjectName(QStringLiteral("screenRecordingOnboarding"));

    auto* column = new QVBoxLayout(this);
    // The top band of 36 points is where the window's buttons sit.
    column->setContentsMargins(26, 36, 26, 22);
    column->setSpacing(18);

    auto* header = new QVBoxLayout;
    header->setSpacing(8);
    header->addWidget(new HeaderIcon, 0, Qt::AlignHCenter);
    header->addWidget(new TextLabel(title(), OnboardingStyle::font(18, QFont::Bold), TextLabel::Tone::primary), 0,
                      Qt::AlignHCenter);
    header->addWidget(new WrappedText(subtitle(), OnboardingStyle::font(12), WrappedText::Tone::secondary, Qt::AlignHCenter));
    column->addLayout(header);

    auto* stepsColumn = new QVBoxLayout;
    stepsColumn->setSpacing(12);
    toggleRow_ = new ToggleRowIllustration(environment_.clock);
    QWidget* pictures[] = {new BreadcrumbIllustration, toggleRow_, new RelaunchIllustration};
    for (int i = 0; i < steps().size(); ++i) {
        auto* card = new StepCard(i + 1, steps()[i].title, steps()[i].caption, pictures[i]);
        cards_ << card;
        stepsColumn->addWidget(card);
    }
    column->addLayout(stepsColumn);

    footer_ = new OnboardingFooter(state_ == State::granted, [this] { openSettings(); }, environment_.clock);
    column->addWidget(footer_);

    poll_->setObjectName(QStringLiteral("permissionPoll"));
    poll_->setInterval(pollMs);
    poll_->setTimerType(Qt::PreciseTimer);
    connect(poll_, &QTimer::timeout, this, &ScreenRecordingOnboardingView::poll);
}

void ScreenRecordingOnboardingView::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (state_ == State::waiting) poll_->start();
}

void ScreenRecordingOnboardingView::hideEvent(QHideEvent* event) {
    QWidget::hideEvent(event);
    // A closed walkthrough is never shown again (the next opening builds a new one): nothing
    // asks for access on its behalf.
    poll_->stop();
}

void ScreenRecordingOnboardingView::poll() {
    // Once access has been seen nothing more happens, so the finish is scheduled at most once.
    if (state_ != State::waiting) return;
    if (!environment_.accessGranted()) return;
    state_ = State::granted;
    poll_->stop();
    footer_->showGranted();
    if (!finishContext_) return;
    QPointer<ScreenRecordingOnboardingView> self(this);
    environment_.clock->after(finishDelay, finishContext_, [self] {
        if (!self) return;
        self->state_ = State::finished;
        if (self->onFinished_) self->onFinished_();
    });
}

void ScreenRecordingOnboardingView::openSettings() {
    environment_.requestAccess();
    environment_.openSettings();
}

} // namespace BrindlecastApp
