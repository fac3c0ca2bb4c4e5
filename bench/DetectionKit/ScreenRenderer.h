#pragma once

#include <QImage>
#include <QRect>
#include <QString>
#include <vector>

namespace DetectionBench {

// A piece of personal data drawn into a screen, and where its ink lies.
struct PlantedItem {
    QString detector; // the built-in detector that should find it
    QString text;
    QRect bounds;     // image pixels covering the drawn text
};

struct RenderedScreen {
    QString name;
    QImage image;
    std::vector<PlantedItem> planted;
};

// The synthetic screenshot the app's previews draw: a gradient, a white card and monospaced lines
// with an e-mail address, a phone number, an SSN, a Luhn-valid card number and an IPv4 address.
RenderedScreen renderPreview();

// A text-dense desktop screen: title bar, sidebar, a table of people, a form, paragraphs, coloured
// badges and buttons, in interface fonts at 11 to 16 px, with planted personal data throughout.
// A variant other than 0 draws about half the lines' words afresh (the planted data stays): the
// same screen with new text.
RenderedScreen renderTextDense(int width, int height, bool dark, quint32 variant = 0);

// Every screen the benchmark measures, in a fixed order.
std::vector<RenderedScreen> allScreens();

} // namespace DetectionBench
