#pragma once

#include "AuditKit/AuditRecord.h"

#include <QByteArray>
#include <QByteArrayView>

#include <stdexcept>

// The audit trail's one wire format: a record as a single flat, compact JSON object with sorted
// keys, "\/" for every slash, UTF-8 text, and the time in whole UTC seconds ("2026-12-05T16:27:13Z").
// The same bytes go to the journal, to the webhook and into the offline buffer.
namespace AuditKit::AuditJSON {

class DecodingError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

QByteArray encode(const AuditRecord& record);

// Reads a record; every envelope key, "kind" and the kind's own keys are required, anything else
// is ignored. Throws DecodingError.
AuditRecord decode(QByteArrayView text);

} // namespace AuditKit::AuditJSON
