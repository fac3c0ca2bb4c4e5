#pragma once

#include <QByteArray>
#include <QImage>
#include <QString>

namespace BrindlecastApp::Pipeline::CompanionTie {

// A desktop-less companion shows what lay under the capture's windows, unedited. It may stand in
// for its working copy under a backdrop only while that still holds the pixels it was made with:
// one painted over since (a bar over a line, in another program) would get its line back. So the
// companion carries the digest of those pixels in a PNG text chunk under this keyword.
inline constexpr char keyword[] = "brindlecast-working-copy-sha256";

// SHA-256, lowercase hex, of the image's pixels as 8-bit RGBA without premultiplied alpha: the
// same for an image and for what its PNG decodes to, whatever the file's other chunks.
QString pixelDigest(const QImage& image);

// The companion's PNG bytes with the digest of `workingCopy` added. Throws SidecarKit::SidecarError
// when they are not a PNG.
QByteArray tie(const QByteArray& companionPng, const QImage& workingCopy);

// Whether a decoded companion was made with exactly the pixels of `workingCopy`. A companion
// without the digest (written before companions carried it) does not match: nobody can tell
// whether its working copy was painted over since.
bool matches(const QImage& companion, const QImage& workingCopy);

} // namespace BrindlecastApp::Pipeline::CompanionTie
