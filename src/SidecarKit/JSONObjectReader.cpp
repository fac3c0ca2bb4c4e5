#include "SidecarKit/JSONObjectReader.h"

#include <cmath>

namespace SidecarKit {

namespace {

using Kind = JSONDecodingError::Kind;

QString typeName(const JSONValue& value) {
    switch (value.type()) {
    case JSONValue::Type::null: return QStringLiteral("null");
    case JSONValue::Type::boolean: return QStringLiteral("a boolean");
    case JSONValue::Type::integer:
    case JSONValue::Type::unsignedInteger:
    case JSONValue::Type::number: return QStringLiteral("a number");
    case JSONValue::Type::string: return QStringLiteral("a string");
    case JSONValue::Type::array: return QStringLiteral("an array");
    case JSONValue::Type::object: return QStringLiteral("an object");
    }
    return {};
}

[[noreturn]] void mismatch(const JSONValue& value, const QStringList& path, const QString& expected) {
    if (value.isNull()) {
        throw JSONDecodingError(Kind::valueNotFound, path, QStringLiteral("Expected %1 but found null.").arg(expected));
    }
    throw JSONDecodingError(Kind::typeMismatch, path,
                            QStringLiteral("Expected %1 but found %2.").arg(expected, typeName(value)));
}

QStringList indexed(const QStringList& path, qsizetype index) {
    return path + QStringList{QStringLiteral("[%1]").arg(index)};
}

bool isHyphenatedUuid(const QString& text) {
    if (text.size() != 36) return false;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (i == 8 || i == 13 || i == 18 || i == 23) {
            if (c != '-') return false;
        } else if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'))) {
            return false;
        }
    }
    return true;
}

// A pair of numbers, [a, b]: a point or a size.
std::pair<double, double> numberPair(const JSONValue& value, const QStringList& path) {
    const JSONValue::Array& elements = JSONRead::array(value, path);
    if (elements.size() < 2) {
        throw JSONDecodingError(Kind::valueNotFound, indexed(path, static_cast<qsizetype>(elements.size())),
                                QStringLiteral("Expected a pair of numbers but the array has %1 element(s).")
                                    .arg(elements.size()));
    }
    if (elements.size() > 2) {
        throw JSONDecodingError(Kind::dataCorrupted, path,
                                QStringLiteral("Expected a pair of numbers but the array has %1 elements.")
                                    .arg(elements.size()));
    }
    return {JSONRead::number(elements[0], indexed(path, 0)), JSONRead::number(elements[1], indexed(path, 1))};
}

} // namespace

namespace JSONRead {

QString string(const JSONValue& value, const QStringList& codingPath) {
    if (const QString* s = value.stringValue()) return *s;
    mismatch(value, codingPath, QStringLiteral("a string"));
}

bool boolean(const JSONValue& value, const QStringList& codingPath) {
    if (const bool* b = value.boolValue()) return *b;
    mismatch(value, codingPath, QStringLiteral("a boolean"));
}

std::int64_t integer(const JSONValue& value, const QStringList& codingPath) {
    if (const auto* i = value.integerValue()) return *i;
    if (const auto* u = value.unsignedValue()) {
        throw JSONDecodingError(Kind::typeMismatch, codingPath,
                                QStringLiteral("Number %1 does not fit in a 64-bit integer.").arg(*u));
    }
    if (const double* d = value.doubleValue()) {
        // 2^63 is the first double past the signed range.
        if (*d == std::floor(*d) && *d >= -9223372036854775808.0 && *d < 9223372036854775808.0) {
            return static_cast<std::int64_t>(*d);
        }
        throw JSONDecodingError(Kind::typeMismatch, codingPath,
                                QStringLiteral("Number %1 is not a 64-bit integer.").arg(*d, 0, 'g', 17));
    }
    mismatch(value, codingPath, QStringLiteral("an integer"));
}

double number(const JSONValue& value, const QStringList& codingPath) {
    if (const auto d = value.toDouble()) return *d;
    mismatch(value, codingPath, QStringLiteral("a number"));
}

QUuid uuid(const JSONValue& value, const QStringList& codingPath) {
    const QString text = string(value, codingPath);
    if (!isHyphenatedUuid(text)) {
        throw JSONDecodingError(Kind::dataCorrupted, codingPath,
                                QStringLiteral("Attempted to decode a UUID from invalid UUID string."));
    }
    return QUuid::fromString(text);
}

Support::Point point(const JSONValue& value, const QStringList& codingPath) {
    const auto [x, y] = numberPair(value, codingPath);
    return {x, y};
}

Support::Rect rect(const JSONValue& value, const QStringList& codingPath) {
    const JSONValue::Array& parts = array(value, codingPath);
    if (parts.size() != 2) {
        throw JSONDecodingError(parts.size() < 2 ? Kind::valueNotFound : Kind::dataCorrupted, codingPath,
                                QStringLiteral("Expected [[x, y], [width, height]] but the array has %1 element(s).")
                                    .arg(parts.size()));
    }
    const auto [x, y] = numberPair(parts[0], indexed(codingPath, 0));
    const auto [width, height] = numberPair(parts[1], indexed(codingPath, 1));
    return {x, y, width, height};
}

const JSONValue::Array& array(const JSONValue& value, const QStringList& codingPath) {
    if (const auto* a = value.arrayValue()) return *a;
    mismatch(value, codingPath, QStringLiteral("an array"));
}

} // namespace JSONRead

namespace JSONWrite {

JSONValue uuid(const QUuid& id) { return JSONValue::string(id.toString(QUuid::WithoutBraces).toUpper()); }

JSONValue point(const Support::Point& point) {
    return JSONValue::array({JSONValue::number(point.x), JSONValue::number(point.y)});
}

JSONValue rect(const Support::Rect& rect) {
    return JSONValue::array(
        {point(rect.origin), JSONValue::array({JSONValue::number(rect.size.width), JSONValue::number(rect.size.height)})});
}

} // namespace JSONWrite

JSONObjectReader::JSONObjectReader(const JSONValue& value, QStringList codingPath)
    : object_(value.objectValue()), codingPath_(std::move(codingPath)) {
    if (!object_) mismatch(value, codingPath_, QStringLiteral("an object"));
}

const JSONValue& JSONObjectReader::required(const QString& key) const {
    const auto it = object_->find(key);
    if (it == object_->end()) {
        throw JSONDecodingError(Kind::keyNotFound, pathTo(key),
                                QStringLiteral("No value associated with key \"%1\".").arg(key));
    }
    if (it->second.isNull()) {
        throw JSONDecodingError(Kind::valueNotFound, pathTo(key),
                                QStringLiteral("Key \"%1\" holds null where a value is required.").arg(key));
    }
    return it->second;
}

const JSONValue* JSONObjectReader::optional(const QString& key) const {
    const auto it = object_->find(key);
    if (it == object_->end() || it->second.isNull()) return nullptr;
    return &it->second;
}

QString JSONObjectReader::requiredString(const QString& key) const {
    return JSONRead::string(required(key), pathTo(key));
}

std::optional<QString> JSONObjectReader::optionalString(const QString& key) const {
    if (const JSONValue* v = optional(key)) return JSONRead::string(*v, pathTo(key));
    return std::nullopt;
}

bool JSONObjectReader::requiredBool(const QString& key) const { return JSONRead::boolean(required(key), pathTo(key)); }

std::optional<bool> JSONObjectReader::optionalBool(const QString& key) const {
    if (const JSONValue* v = optional(key)) return JSONRead::boolean(*v, pathTo(key));
    return std::nullopt;
}

std::int64_t JSONObjectReader::requiredInteger(const QString& key) const {
    return JSONRead::integer(required(key), pathTo(key));
}

std::optional<std::int64_t> JSONObjectReader::optionalInteger(const QString& key) const {
    if (const JSONValue* v = optional(key)) return JSONRead::integer(*v, pathTo(key));
    return std::nullopt;
}

double JSONObjectReader::requiredDouble(const QString& key) const { return JSONRead::number(required(key), pathTo(key)); }

std::optional<double> JSONObjectReader::optionalDouble(const QString& key) const {
    if (const JSONValue* v = optional(key)) return JSONRead::number(*v, pathTo(key));
    return std::nullopt;
}

QUuid JSONObjectReader::requiredUuid(const QString& key) const { return JSONRead::uuid(required(key), pathTo(key)); }

std::optional<QUuid> JSONObjectReader::optionalUuid(const QString& key) const {
    if (const JSONValue* v = optional(key)) return JSONRead::uuid(*v, pathTo(key));
    return std::nullopt;
}

Support::Point JSONObjectReader::requiredPoint(const QString& key) const {
    return JSONRead::point(required(key), pathTo(key));
}

std::optional<Support::Point> JSONObjectReader::optionalPoint(const QString& key) const {
    if (const JSONValue* v = optional(key)) return JSONRead::point(*v, pathTo(key));
    return std::nullopt;
}

Support::Rect JSONObjectReader::requiredRect(const QString& key) const {
    return JSONRead::rect(required(key), pathTo(key));
}

const JSONValue::Array& JSONObjectReader::requiredArray(const QString& key) const {
    return JSONRead::array(required(key), pathTo(key));
}

} // namespace SidecarKit
