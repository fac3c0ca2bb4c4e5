#pragma once

#include <QByteArray>
#include <QByteArrayList>
#include <QString>

#include <cstdint>

namespace SidecarTest {

// One PNG chunk: length, type, data and the CRC of type and data.
QByteArray chunk(const QByteArray& type, const QByteArray& data);
// The eight signature bytes.
QByteArray signature();
// An IHDR chunk for an 8-bit RGBA image.
QByteArray header(std::uint32_t width, std::uint32_t height);
// A "tEXt" chunk with the given keyword and text.
QByteArray textChunk(const QByteArray& keyword, const QByteArray& text);
// Signature followed by the chunks.
QByteArray png(const QByteArrayList& chunks);
// A real image of that size encoded by Qt's PNG writer.
QByteArray realPng(int width, int height);

// The chunk types of a PNG in order, read independently of the code under test; a "tEXt" chunk
// with the keyword "brindlecast" is listed as "tEXt brindlecast".
QByteArrayList chunkTypes(const QByteArray& png);

} // namespace SidecarTest
