#pragma once

#include "DetectionKit/Detection.h"
#include "SidecarKit/Annotation.h"

#include <QImage>
#include <QStringList>

#include <vector>

// What the review-window preview shows: a drawn sample screenshot full of made-up personal data,
// what detection finds in it, and three annotations to start from.
namespace BrindlecastApp::ReviewPreview {

// A 1400 x 900 customer record on a dark backdrop: a name with a record number, an e-mail
// address, a social security number, a phone number, a card number that passes the Luhn check
// and a private IPv4 address.
QImage syntheticScreenshot();

// A 1400 x 900 sample screenshot: a light card on a dark backdrop with `lines` of black
// monospaced text on it, the first a 26-point bold heading, each 64 points below the one before.
QImage sampleRecord(const QStringList& lines);

// The built-in detectors over `image`, with social security numbers made mandatory. A detection
// that cannot run gives none.
std::vector<DetectionKit::Detection> detections(const QImage& image);

// A turned blue box, a pink arrow and an orange "Review before sharing", each with a new ID.
std::vector<SidecarKit::Annotation> seedAnnotations(const QImage& image);

} // namespace BrindlecastApp::ReviewPreview
