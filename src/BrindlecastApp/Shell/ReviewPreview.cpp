#include "BrindlecastApp/Shell/ReviewPreview.h"

#include "BrindlecastApp/Logging/AppLog.h"
#include "DetectionKit/PIIDetector.h"
#include "Support/Fonts.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QUuid>

#include <algorithm>

namespace BrindlecastApp::ReviewPreview {

namespace {

constexpr int width = 1400;
constexpr int height = 900;

QColor calibrated(double r, double g, double b) { return QColor::fromRgbF(float(r), float(g), float(b)); }

} // namespace

QImage syntheticScreenshot() {
    return sampleRecord({
        "Customer Record — Halloran Dental Group",
        "Name: Maren Okafor    MRN-4082715",
        "Email: maren.okafor@hallorandental.com",
        "SSN: 512-44-2087",
        "Phone: (415) 555-0142",
        "Card on file: 4929 1827 4420 1860",
        "Server: 10.24.8.17",
    });
}

QImage sampleRecord(const QStringList& lines) {
    QImage image(width, height, QImage::Format_ARGB32_Premultiplied);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::TextAntialiasing);

    QLinearGradient backdrop(0, 0, 0, height);
    backdrop.setColorAt(0, calibrated(0.13, 0.15, 0.20));
    backdrop.setColorAt(1, calibrated(0.07, 0.08, 0.11));
    painter.fillRect(image.rect(), backdrop);

    QPainterPath card;
    card.addRoundedRect(QRectF(120, 120, 1160, 660), 12, 12);
    painter.fillPath(card, QColor::fromRgbF(0.96f, 0.96f, 0.96f));

    painter.setPen(Qt::black);
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const QFont font = i == 0 ? Support::Fonts::monospacedFont(26, QFont::Bold) : Support::Fonts::monospacedFont(20);
        painter.setFont(font);
        // Each line sits on the line 210 + 64 i pixels from the top: 90 below the card's top
        // edge, then 64 further per line.
        const double bottom = 210 + 64.0 * double(i);
        const QFontMetricsF metrics(font);
        painter.drawText(QPointF(168, bottom - metrics.descent()), lines[i]);
    }
    painter.end();
    return image;
}

std::vector<DetectionKit::Detection> detections(const QImage& image) {
    const std::vector<DetectionKit::PatternInput> patterns{{"ssn", "", DetectionKit::PatternAction::blurMandatory}};
    try {
        return DetectionKit::PIIDetector().detect(image, patterns).detections;
    } catch (const std::exception& error) {
        appLog().error(QString("detection: %1").arg(error.what()));
        return {};
    }
}

std::vector<SidecarKit::Annotation> seedAnnotations(const QImage& image) {
    using SidecarKit::Annotation;
    const auto style = [](const char* hex, double lineWidth) {
        return Annotation::Style(hex, lineWidth, 1.0, false, std::nullopt, false);
    };
    Annotation::Box box{Support::Rect(640, 360, 320, 150), style("#0A84FF", 5), std::nullopt, 0.35};
    Annotation::Arrow arrow{{300, 620}, {560, 500}, style("#FF375F", 5), std::nullopt};
    Annotation::Text text{{260, 700},
                          "Review before sharing",
                          style("#FF9F0A", std::max(28.0, 0.04 * image.height())),
                          std::nullopt,
                          Annotation::TextAlignment::left,
                          0};
    return {Annotation(QUuid::createUuid(), 0, box), Annotation(QUuid::createUuid(), 1, arrow),
            Annotation(QUuid::createUuid(), 2, text)};
}

} // namespace BrindlecastApp::ReviewPreview
