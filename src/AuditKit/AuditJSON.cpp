#include "AuditKit/AuditJSON.h"

#include "Support/BoundedJson.h"

#include <nlohmann/json.hpp>

#include <limits>

namespace AuditKit::AuditJSON {

namespace {

// nlohmann::json keeps object members in a std::map: sorted by their UTF-8 bytes, which is
// code-point order, at every level.
using Json = nlohmann::json;

std::string utf8(const QString& text) { return text.toStdString(); }

Json stringArray(const QStringList& list) {
    Json array = Json::array();
    for (const QString& item : list) array.push_back(utf8(item));
    return array;
}

QString timestampText(const QDateTime& time) {
    // Whole seconds, rounded down, in UTC.
    const qint64 seconds = time.toMSecsSinceEpoch() >= 0 ? time.toMSecsSinceEpoch() / 1000
                                                         : (time.toMSecsSinceEpoch() - 999) / 1000;
    return QDateTime::fromSecsSinceEpoch(seconds, Qt::UTC).toString("yyyy-MM-dd'T'HH:mm:ss'Z'");
}

[[noreturn]] void fail(const std::string& message) { throw DecodingError(message); }

const Json& member(const Json& object, const char* key) {
    const auto it = object.find(key);
    if (it == object.end()) fail(std::string("missing key \"") + key + "\"");
    return *it;
}

QString stringMember(const Json& object, const char* key) {
    const Json& value = member(object, key);
    if (!value.is_string()) fail(std::string("\"") + key + "\" is not a string");
    return QString::fromStdString(value.get<std::string>());
}

qint64 integer(const Json& value, const std::string& what) {
    // The reader keeps numbers above the signed range as unsigned ones, which is_number_integer()
    // also admits: read as signed they would wrap round to negative numbers.
    if (value.is_number_unsigned()) {
        if (value.get<quint64>() <= quint64(std::numeric_limits<qint64>::max())) return qint64(value.get<quint64>());
    } else if (value.is_number_integer()) {
        return value.get<qint64>();
    }
    fail(what + " is not a signed 64-bit integer");
}

QStringList stringArrayMember(const Json& object, const char* key) {
    const Json& value = member(object, key);
    if (!value.is_array()) fail(std::string("\"") + key + "\" is not an array");
    QStringList list;
    for (const Json& item : value) {
        if (!item.is_string()) fail(std::string("\"") + key + "\" holds a value that is not a string");
        list << QString::fromStdString(item.get<std::string>());
    }
    return list;
}

// True when `text` has the shape of `form`, where "9" stands for any ASCII digit.
bool hasForm(QStringView text, QStringView form) {
    if (text.size() != form.size()) return false;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const bool matches = form[i] == u'9' ? (text[i] >= u'0' && text[i] <= u'9') : text[i] == form[i];
        if (!matches) return false;
    }
    return true;
}

QDateTime parseTimestamp(const QString& text) {
    // Internet date-time without a fraction: "Z" or a numeric offset. Checked without a static
    // regex: records are decoded on delivery workers, which may still run while statics go at exit.
    if (!hasForm(text, u"9999-99-99T99:99:99Z") && !hasForm(text, u"9999-99-99T99:99:99+99:99") &&
        !hasForm(text, u"9999-99-99T99:99:99-99:99")) {
        fail("\"timestamp\" is not an ISO 8601 date-time");
    }
    QDateTime time = QDateTime::fromString(text, Qt::ISODate);
    if (!time.isValid()) fail("\"timestamp\" is not a valid date-time");
    return time.toUTC();
}

QUuid parseEventID(const QString& text) {
    const QUuid id = QUuid::fromString(text);
    if (text.size() != 36 || id.isNull()) fail("\"eventID\" is not a UUID");
    return id;
}

AuditEvent decodeEvent(const Json& object) {
    const QString kind = stringMember(object, "kind");
    if (kind == "capture") {
        return AuditEvent::capture(stringMember(object, "mode"), stringArrayMember(object, "capturedBundleIDs"),
                                   stringArrayMember(object, "blocklistHits"), stringMember(object, "behaviorApplied"));
    }
    if (kind == "redaction") {
        const Json& counts = member(object, "detectorCounts");
        if (!counts.is_object()) fail("\"detectorCounts\" is not an object");
        std::map<QString, qint64> detectorCounts;
        for (const auto& [name, count] : counts.items()) {
            detectorCounts[QString::fromStdString(name)] = integer(count, "a detector count");
        }
        return AuditEvent::redaction(std::move(detectorCounts));
    }
    if (kind == "export") return AuditEvent::export_(stringMember(object, "destinationKind"), stringMember(object, "sha256Hex"));
    if (kind == "policyViolation") {
        return AuditEvent::policyViolation(stringMember(object, "violationKind"), stringMember(object, "detail"));
    }
    fail("unknown kind \"" + kind.toStdString() + "\"");
}

struct EventWriter {
    Json& out;
    void operator()(const AuditEvent::Capture& e) const {
        out["mode"] = utf8(e.mode);
        out["capturedBundleIDs"] = stringArray(e.capturedBundleIDs);
        out["blocklistHits"] = stringArray(e.blocklistHits);
        out["behaviorApplied"] = utf8(e.behaviorApplied);
    }
    void operator()(const AuditEvent::Redaction& e) const {
        Json counts = Json::object();
        for (const auto& [name, count] : e.detectorCounts) counts[utf8(name)] = count;
        out["detectorCounts"] = std::move(counts);
    }
    void operator()(const AuditEvent::Export& e) const {
        out["destinationKind"] = utf8(e.destinationKind);
        out["sha256Hex"] = utf8(e.sha256Hex);
    }
    void operator()(const AuditEvent::PolicyViolation& e) const {
        out["violationKind"] = utf8(e.kind);
        out["detail"] = utf8(e.detail);
    }
};

} // namespace

QByteArray encode(const AuditRecord& record) {
    Json object = Json::object();
    object["timestamp"] = utf8(timestampText(record.timestamp));
    object["eventID"] = utf8(record.eventID.toString(QUuid::WithoutBraces).toUpper());
    object["host"] = utf8(record.host);
    object["user"] = utf8(record.user);
    object["schemaVersion"] = record.schemaVersion;
    object["kind"] = utf8(record.event.kindName());
    std::visit(EventWriter{object}, record.event.value);

    const std::string text = object.dump(-1, ' ', false, Json::error_handler_t::replace);
    // A slash occurs only inside strings, so escaping every one keeps the text valid JSON.
    QByteArray bytes;
    bytes.reserve(static_cast<qsizetype>(text.size() + 16));
    for (const char c : text) {
        if (c == '/') bytes.append('\\');
        bytes.append(c);
    }
    return bytes;
}

AuditRecord decode(QByteArrayView text) {
    QString parseError;
    std::optional<Json> parsed = Support::BoundedJson::parse(text, &parseError);
    if (!parsed) fail("not valid JSON: " + parseError.toStdString());
    const Json& object = *parsed;
    if (!object.is_object()) fail("not a JSON object");
    const QDateTime timestamp = parseTimestamp(stringMember(object, "timestamp"));
    const QUuid eventID = parseEventID(stringMember(object, "eventID"));
    const QString host = stringMember(object, "host");
    const QString user = stringMember(object, "user");
    const qint64 schemaVersion = integer(member(object, "schemaVersion"), "\"schemaVersion\"");
    AuditRecord record(decodeEvent(object), timestamp, eventID, host, user);
    record.schemaVersion = schemaVersion;
    return record;
}

} // namespace AuditKit::AuditJSON
