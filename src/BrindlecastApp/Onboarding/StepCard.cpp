#include "BrindlecastApp/Onboarding/StepCard.h"

#include "BrindlecastApp/Design/PathBuilder.h"
#include "BrindlecastApp/Design/TextLabel.h"
#include "BrindlecastApp/Design/ThemedRoot.h"
#include "BrindlecastApp/Onboarding/OnboardingStyle.h"
#include "BrindlecastApp/Onboarding/WrappedText.h"

#include <QHBoxLayout>
#include <QPainter>
#include <QVBoxLayout>

namespace BrindlecastApp {

namespace {

// The step's number, white on an accent circle.
class NumberDisc : public QWidget {
public:
    NumberDisc(int number, QWidget* parent) : QWidget(parent), number_(number) {
        setAttribute(Qt::WA_TranslucentBackground);
        setFixedSize(22, 22);
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(Qt::NoPen);
        painter.setBrush(tokensFor(this).accent);
        painter.drawEllipse(QRectF(rect()));
        painter.setPen(Qt::white);
        painter.setFont(OnboardingStyle::font(12, QFont::Bold));
        painter.drawText(rect(), Qt::AlignCenter, QString::number(number_));
    }

private:
    int number_;
};

} // namespace

StepCard::StepCard(int number, const QString& title, const QString& caption, QWidget* picture, QWidget* parent)
    : QWidget(parent), number_(number),
      caption_(new WrappedText(caption, OnboardingStyle::font(11.5), WrappedText::Tone::secondary)), picture_(picture) {
    setAttribute(Qt::WA_TranslucentBackground);
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(12, 12, 12, 12);
    row->setSpacing(12);
    row->addWidget(new NumberDisc(number, this), 0, Qt::AlignTop);
    auto* column = new QVBoxLayout;
    column->setSpacing(6);
    column->addWidget(new TextLabel(title, OnboardingStyle::font(13, QFont::DemiBold), TextLabel::Tone::primary), 0,
                      Qt::AlignLeft);
    column->addWidget(caption_);
    const bool natural = !(picture->sizePolicy().horizontalPolicy() & QSizePolicy::ExpandFlag);
    column->addWidget(picture, 0, natural ? Qt::AlignLeft : Qt::Alignment());
    row->addLayout(column, 1);
}

void StepCard::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(OnboardingStyle::stepCardFill(tokensFor(this)));
    painter.drawPath(continuousRoundedRect(QRectF(rect()), 12));
}

} // namespace BrindlecastApp
