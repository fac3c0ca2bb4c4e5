#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <exception>
#include <map>
#include <optional>
#include <string>
#include <variant>
#include <vector>

namespace SidecarKit {

// Any JSON value, kept exactly as read. Integers stay integers (signed, or unsigned above the
// signed range) and fractional numbers stay doubles, so a value written back reads the same
// even beyond the 53 bits a double holds.
class JSONValue {
public:
    using Array = std::vector<JSONValue>;
    using Object = std::map<QString, JSONValue>;

    enum class Type { null, boolean, integer, unsignedInteger, number, string, array, object };

    JSONValue() = default; // null

    static JSONValue null() { return {}; }
    static JSONValue boolean(bool value);
    static JSONValue integer(std::int64_t value);
    // Values that fit a signed 64-bit integer are held as `integer`.
    static JSONValue unsignedInteger(std::uint64_t value);
    static JSONValue number(double value);
    static JSONValue string(QString value);
    static JSONValue array(Array elements);
    static JSONValue object(Object members);

    Type type() const;
    bool isNull() const { return type() == Type::null; }
    // Any of the three number cases.
    bool isNumber() const;

    // The held value when it is of that case, otherwise null.
    const bool* boolValue() const { return std::get_if<bool>(&value_); }
    const std::int64_t* integerValue() const { return std::get_if<std::int64_t>(&value_); }
    const std::uint64_t* unsignedValue() const { return std::get_if<std::uint64_t>(&value_); }
    const double* doubleValue() const { return std::get_if<double>(&value_); }
    const QString* stringValue() const { return std::get_if<QString>(&value_); }
    const Array* arrayValue() const { return std::get_if<Array>(&value_); }
    const Object* objectValue() const { return std::get_if<Object>(&value_); }
    // Any number as a double (large integers round to the nearest double).
    std::optional<double> toDouble() const;

    // Same case with equal contents; numbers compare by exact value whichever case holds them
    // (so 3 equals 3.0 and NaN equals nothing); objects compare as maps, arrays in order.
    friend bool operator==(const JSONValue& a, const JSONValue& b);

    // Parses one JSON text (UTF-8). Throws JSONDecodingError (dataCorrupted) when it is not JSON
    // or nests deeper than `maximumDepth`.
    static JSONValue parse(QByteArrayView utf8);
    // Compact JSON text (UTF-8): no spaces or line breaks, object keys in sorted order, doubles
    // in their shortest form that reads back to the same double. Throws JSONEncodingError when
    // a number is not finite.
    QByteArray serialized() const;

    static constexpr int maximumDepth = 512;

private:
    std::variant<std::monostate, bool, std::int64_t, std::uint64_t, double, QString, Array, Object> value_;
};

// A value that cannot be read into the expected shape. `codingPath` names the keys and array
// indices from the top of the document down to the failing value.
class JSONDecodingError : public std::exception {
public:
    enum class Kind {
        keyNotFound,   // a required key is absent
        valueNotFound, // a required key is null
        typeMismatch,  // the value is of another JSON type (or an integer out of range)
        dataCorrupted, // the value has the right type but an invalid content, or the text is not JSON
    };

    JSONDecodingError(Kind kind, QStringList codingPath, QString debugDescription);

    Kind kind() const { return kind_; }
    const QStringList& codingPath() const { return codingPath_; }
    const QString& debugDescription() const { return debugDescription_; }
    // The description with the path, e.g. `No value for key "to" (at annotations[0].to)`.
    QString description() const;
    const char* what() const noexcept override { return what_.c_str(); }

private:
    Kind kind_;
    QStringList codingPath_;
    QString debugDescription_;
    std::string what_;
};

// A value that JSON cannot express: a non-finite number. Nothing is written.
class JSONEncodingError : public std::exception {
public:
    enum class Kind { invalidValue };

    JSONEncodingError(QStringList codingPath, QString debugDescription);

    Kind kind() const { return Kind::invalidValue; }
    const QStringList& codingPath() const { return codingPath_; }
    const QString& debugDescription() const { return debugDescription_; }
    QString description() const;
    const char* what() const noexcept override { return what_.c_str(); }

private:
    QStringList codingPath_;
    QString debugDescription_;
    std::string what_;
};

// "annotations[0].style": a coding path as one readable text.
QString formatCodingPath(const QStringList& codingPath);

} // namespace SidecarKit
