#include "SidecarKit/JSONValue.h"

#include <nlohmann/json.hpp>

#include <charconv>
#include <cmath>
#include <limits>

namespace SidecarKit {

namespace {

constexpr double twoTo63 = 9223372036854775808.0;
constexpr double twoTo64 = 18446744073709551616.0;

bool doubleEqualsInteger(double d, std::int64_t i) {
    if (!std::isfinite(d) || d != std::floor(d) || d < -twoTo63 || d >= twoTo63) return false;
    return static_cast<std::int64_t>(d) == i;
}

bool doubleEqualsUnsigned(double d, std::uint64_t u) {
    if (!std::isfinite(d) || d != std::floor(d) || d < 0 || d >= twoTo64) return false;
    return static_cast<std::uint64_t>(d) == u;
}

// Builds a JSONValue straight from the parser's events, refusing nesting deeper than the limit
// so that neither this builder nor anything walking the result can exhaust the stack.
class Builder {
public:
    using json = nlohmann::json;

    bool null() { return add(JSONValue::null()); }
    bool boolean(bool value) { return add(JSONValue::boolean(value)); }
    bool number_integer(json::number_integer_t value) { return add(JSONValue::integer(value)); }
    bool number_unsigned(json::number_unsigned_t value) { return add(JSONValue::unsignedInteger(value)); }
    bool number_float(json::number_float_t value, const json::string_t& text) {
        if (!std::isfinite(value)) {
            return fail(QStringLiteral("Number %1 is not representable as a double.")
                            .arg(QString::fromStdString(text)));
        }
        return add(JSONValue::number(value));
    }
    bool string(json::string_t& value) { return add(JSONValue::string(QString::fromStdString(value))); }
    bool binary(json::binary_t&) { return fail(QStringLiteral("Unsupported JSON value")); }

    bool start_object(std::size_t) { return open(JSONValue::Object{}); }
    bool key(json::string_t& key) {
        pendingKeys_.back() = QString::fromStdString(key);
        return true;
    }
    bool end_object() { return close(); }
    bool start_array(std::size_t) { return open(JSONValue::Array{}); }
    bool end_array() { return close(); }

    bool parse_error(std::size_t position, const std::string&, const nlohmann::detail::exception& error) {
        if (error_.isEmpty()) {
            error_ = QStringLiteral("The given data was not valid JSON (at byte %1): %2")
                         .arg(position)
                         .arg(QString::fromUtf8(error.what()));
        }
        return false;
    }

    const QString& error() const { return error_; }
    JSONValue takeResult() { return std::move(result_); }

private:
    struct Open {
        JSONValue::Array array;
        JSONValue::Object object;
        bool isObject;
    };

    bool fail(const QString& message) {
        if (error_.isEmpty()) error_ = message;
        return false;
    }

    bool open(JSONValue::Array) {
        if (!checkDepth()) return false;
        stack_.push_back({{}, {}, false});
        pendingKeys_.emplace_back();
        return true;
    }
    bool open(JSONValue::Object) {
        if (!checkDepth()) return false;
        stack_.push_back({{}, {}, true});
        pendingKeys_.emplace_back();
        return true;
    }
    bool checkDepth() {
        if (static_cast<int>(stack_.size()) >= JSONValue::maximumDepth) {
            return fail(QStringLiteral("JSON nests deeper than %1 levels.").arg(JSONValue::maximumDepth));
        }
        return true;
    }
    bool close() {
        Open top = std::move(stack_.back());
        stack_.pop_back();
        pendingKeys_.pop_back();
        return add(top.isObject ? JSONValue::object(std::move(top.object)) : JSONValue::array(std::move(top.array)));
    }
    bool add(JSONValue value) {
        if (stack_.empty()) {
            result_ = std::move(value);
        } else if (stack_.back().isObject) {
            // A repeated key keeps its last value, as most readers do.
            stack_.back().object.insert_or_assign(pendingKeys_.back(), std::move(value));
        } else {
            stack_.back().array.push_back(std::move(value));
        }
        return true;
    }

    std::vector<Open> stack_;
    std::vector<QString> pendingKeys_;
    JSONValue result_;
    QString error_;
};

class Writer {
public:
    QByteArray take() { return std::move(out_); }

    void write(const JSONValue& value) {
        switch (value.type()) {
        case JSONValue::Type::null: out_ += "null"; break;
        case JSONValue::Type::boolean: out_ += *value.boolValue() ? "true" : "false"; break;
        case JSONValue::Type::integer: out_ += QByteArray::number(static_cast<qlonglong>(*value.integerValue())); break;
        case JSONValue::Type::unsignedInteger:
            out_ += QByteArray::number(static_cast<qulonglong>(*value.unsignedValue()));
            break;
        case JSONValue::Type::number: writeDouble(*value.doubleValue()); break;
        case JSONValue::Type::string: writeString(*value.stringValue()); break;
        case JSONValue::Type::array: {
            out_ += '[';
            int index = 0;
            for (const JSONValue& element : *value.arrayValue()) {
                if (index > 0) out_ += ',';
                path_.push_back(index++);
                write(element);
                path_.pop_back();
            }
            out_ += ']';
            break;
        }
        case JSONValue::Type::object: {
            out_ += '{';
            bool first = true;
            for (const auto& [key, member] : *value.objectValue()) {
                if (!first) out_ += ',';
                first = false;
                writeString(key);
                out_ += ':';
                path_.push_back(&key);
                write(member);
                path_.pop_back();
            }
            out_ += '}';
            break;
        }
        }
    }

private:
    void writeDouble(double value) {
        if (!std::isfinite(value)) {
            throw JSONEncodingError(codingPath(), QStringLiteral("Unable to encode the non-finite number %1 in JSON.")
                                               .arg(std::isnan(value) ? QStringLiteral("nan")
                                                    : value > 0       ? QStringLiteral("inf")
                                                                      : QStringLiteral("-inf")));
        }
        char buffer[32];
        const auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, value);
        const QByteArray text(buffer, end - buffer);
        out_ += text;
        // Shortest form of 3.0 is "3"; keep a fraction mark so that it reads back as a double.
        if (!text.contains('.') && !text.contains('e')) out_ += ".0";
    }

    void writeString(const QString& string) {
        out_ += '"';
        for (const char c : string.toUtf8()) {
            switch (c) {
            case '"': out_ += "\\\""; break;
            case '\\': out_ += "\\\\"; break;
            case '\b': out_ += "\\b"; break;
            case '\f': out_ += "\\f"; break;
            case '\n': out_ += "\\n"; break;
            case '\r': out_ += "\\r"; break;
            case '\t': out_ += "\\t"; break;
            default:
                if (static_cast<unsigned char>(c) < 0x20) {
                    char escape[8];
                    std::snprintf(escape, sizeof escape, "\\u%04x", static_cast<unsigned>(c));
                    out_ += escape;
                } else {
                    out_ += c;
                }
            }
        }
        out_ += '"';
    }

    // Only formatted when something fails: a key, or an array index.
    QStringList codingPath() const {
        QStringList path;
        for (const auto& component : path_) {
            if (const auto* key = std::get_if<const QString*>(&component)) {
                path << **key;
            } else {
                path << QStringLiteral("[%1]").arg(std::get<int>(component));
            }
        }
        return path;
    }

    QByteArray out_;
    std::vector<std::variant<const QString*, int>> path_;
};

} // namespace

JSONValue JSONValue::boolean(bool value) {
    JSONValue v;
    v.value_ = value;
    return v;
}

JSONValue JSONValue::integer(std::int64_t value) {
    JSONValue v;
    v.value_ = value;
    return v;
}

JSONValue JSONValue::unsignedInteger(std::uint64_t value) {
    if (value <= static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max())) {
        return integer(static_cast<std::int64_t>(value));
    }
    JSONValue v;
    v.value_ = value;
    return v;
}

JSONValue JSONValue::number(double value) {
    JSONValue v;
    v.value_ = value;
    return v;
}

JSONValue JSONValue::string(QString value) {
    JSONValue v;
    v.value_ = std::move(value);
    return v;
}

JSONValue JSONValue::array(Array elements) {
    JSONValue v;
    v.value_ = std::move(elements);
    return v;
}

JSONValue JSONValue::object(Object members) {
    JSONValue v;
    v.value_ = std::move(members);
    return v;
}

JSONValue::Type JSONValue::type() const { return static_cast<Type>(value_.index()); }

bool JSONValue::isNumber() const {
    const Type t = type();
    return t == Type::integer || t == Type::unsignedInteger || t == Type::number;
}

std::optional<double> JSONValue::toDouble() const {
    if (const auto* d = doubleValue()) return *d;
    if (const auto* i = integerValue()) return static_cast<double>(*i);
    if (const auto* u = unsignedValue()) return static_cast<double>(*u);
    return std::nullopt;
}

bool operator==(const JSONValue& a, const JSONValue& b) {
    if (a.isNumber() && b.isNumber()) {
        if (const auto* ad = a.doubleValue()) {
            if (const auto* bd = b.doubleValue()) return *ad == *bd;
            if (const auto* bi = b.integerValue()) return doubleEqualsInteger(*ad, *bi);
            return doubleEqualsUnsigned(*ad, *b.unsignedValue());
        }
        if (b.doubleValue()) return b == a;
        // Integers: unsigned values are always above the signed range, so mixed cases differ.
        return a.value_ == b.value_;
    }
    return a.value_ == b.value_;
}

JSONValue JSONValue::parse(QByteArrayView utf8) {
    Builder builder;
    const char* begin = utf8.data();
    const bool ok = nlohmann::json::sax_parse(begin, begin + utf8.size(), &builder);
    if (!ok) {
        throw JSONDecodingError(JSONDecodingError::Kind::dataCorrupted, {},
                                builder.error().isEmpty() ? QStringLiteral("The given data was not valid JSON.")
                                                          : builder.error());
    }
    return builder.takeResult();
}

QByteArray JSONValue::serialized() const {
    Writer writer;
    writer.write(*this);
    return writer.take();
}

QString formatCodingPath(const QStringList& codingPath) {
    QString text;
    for (const QString& component : codingPath) {
        if (!component.startsWith('[') && !text.isEmpty()) text += '.';
        text += component;
    }
    return text;
}

namespace {

QString withPath(const QString& description, const QStringList& codingPath) {
    if (codingPath.isEmpty()) return description;
    return QStringLiteral("%1 (at %2)").arg(description, formatCodingPath(codingPath));
}

} // namespace

JSONDecodingError::JSONDecodingError(Kind kind, QStringList codingPath, QString debugDescription)
    : kind_(kind), codingPath_(std::move(codingPath)), debugDescription_(std::move(debugDescription)),
      what_(description().toStdString()) {}

QString JSONDecodingError::description() const { return withPath(debugDescription_, codingPath_); }

JSONEncodingError::JSONEncodingError(QStringList codingPath, QString debugDescription)
    : codingPath_(std::move(codingPath)), debugDescription_(std::move(debugDescription)),
      what_(description().toStdString()) {}

QString JSONEncodingError::description() const { return withPath(debugDescription_, codingPath_); }

} // namespace SidecarKit
