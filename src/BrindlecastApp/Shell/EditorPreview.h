#pragma once

#include "BrindlecastApp/Review/AnnotationTool.h"

#include <QImage>
#include <QString>
#include <QStringList>

#include <optional>

// What the editor's design preview ("--preview-editor") shows: a drawn customer record whose
// e-mail address, social security number and phone number the built-in detectors find.
namespace BrindlecastApp::EditorPreview {

inline const QString kFilename = QStringLiteral("Screen Shot 2026-07-05 at 2.14.09 PM");

// 1400 x 900: a heading and four lines (name with a record number, e-mail, SSN, phone).
QImage syntheticScreenshot();

// The tool named after the first "--tool": its exact raw value ("Crop", not "crop"); nothing for
// any other name or for a "--tool" with nothing after it.
std::optional<AnnotationTool> toolFromArguments(const QStringList& arguments);

} // namespace BrindlecastApp::EditorPreview
