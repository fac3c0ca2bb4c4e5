#pragma once

#include <QByteArray>
#include <QByteArrayList>
#include <QList>
#include <QString>

#include <cstdint>
#include <utility>

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

// A chunk's length and type alone, for a chunk whose data follows as a hole.
QByteArray chunkHeader(std::uint32_t length, const QByteArray& type);
// Writes the pieces one after another, each followed by a hole of so many bytes (the file then
// takes no disk for them): a file of gigabytes in a few kilobytes.
void writeWithHoles(const QString& path, const QList<std::pair<QByteArray, qint64>>& pieces);
// The most memory this process has held at once, in bytes.
qint64 peakResidentBytes();

// The chunk types of a PNG in order, read independently of the code under test; a "tEXt" chunk
// with the keyword "brindlecast" is listed as "tEXt brindlecast".
QByteArrayList chunkTypes(const QByteArray& png);

} // namespace SidecarTest
