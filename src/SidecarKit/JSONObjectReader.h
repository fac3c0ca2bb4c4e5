#pragma once

#include "SidecarKit/JSONValue.h"
#include "Support/Geometry.h"

#include <QUuid>

#include <cstdint>
#include <optional>

namespace SidecarKit {

// Reads the members of one JSON object by name, with the decoding rules every stored object
// shares: a required key must be present and not null; an optional key that is absent or null
// gives nothing, while one of the wrong type is an error. Errors carry the path to the value.
class JSONObjectReader {
public:
    // Throws typeMismatch when `value` is not an object.
    JSONObjectReader(const JSONValue& value, QStringList codingPath);

    const QStringList& codingPath() const { return codingPath_; }
    QStringList pathTo(const QString& key) const { return codingPath_ + QStringList{key}; }

    // The raw member, checked for presence and null.
    const JSONValue& required(const QString& key) const;
    // The raw member; nothing when absent or null.
    const JSONValue* optional(const QString& key) const;

    QString requiredString(const QString& key) const;
    std::optional<QString> optionalString(const QString& key) const;
    bool requiredBool(const QString& key) const;
    std::optional<bool> optionalBool(const QString& key) const;
    std::int64_t requiredInteger(const QString& key) const;
    std::optional<std::int64_t> optionalInteger(const QString& key) const;
    double requiredDouble(const QString& key) const;
    std::optional<double> optionalDouble(const QString& key) const;
    QUuid requiredUuid(const QString& key) const;
    std::optional<QUuid> optionalUuid(const QString& key) const;
    Support::Point requiredPoint(const QString& key) const;
    std::optional<Support::Point> optionalPoint(const QString& key) const;
    Support::Rect requiredRect(const QString& key) const;
    const JSONValue::Array& requiredArray(const QString& key) const;

private:
    const JSONValue::Object* object_;
    QStringList codingPath_;
};

// The value converters behind the reader, for values that stand in arrays.
namespace JSONRead {
QString string(const JSONValue& value, const QStringList& codingPath);
bool boolean(const JSONValue& value, const QStringList& codingPath);
// A number without a fraction that fits 64 bits (5.0 counts; 5.5 and 2^63 do not).
std::int64_t integer(const JSONValue& value, const QStringList& codingPath);
double number(const JSONValue& value, const QStringList& codingPath);
// The 36-character hyphenated form, hex digits in either case.
QUuid uuid(const JSONValue& value, const QStringList& codingPath);
// [x, y]
Support::Point point(const JSONValue& value, const QStringList& codingPath);
// [[x, y], [width, height]]
Support::Rect rect(const JSONValue& value, const QStringList& codingPath);
const JSONValue::Array& array(const JSONValue& value, const QStringList& codingPath);
} // namespace JSONRead

// The written forms matching the readers above.
namespace JSONWrite {
JSONValue uuid(const QUuid& id);
JSONValue point(const Support::Point& point);
JSONValue rect(const Support::Rect& rect);
} // namespace JSONWrite

} // namespace SidecarKit
