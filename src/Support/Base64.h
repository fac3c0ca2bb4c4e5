#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <optional>

namespace Support::Base64 {

// Standard alphabet, '=' padding, no line breaks.
QByteArray encode(QByteArrayView bytes);

// Strict decoding: only the standard alphabet, a length that is a multiple of four, padding only
// at the end (at most two '='), no white space. Anything else gives nothing.
std::optional<QByteArray> decode(QByteArrayView text);

} // namespace Support::Base64
