#pragma once

#include <QByteArray>
#include <QUrl>

#include <atomic>

namespace AuditKit {

// One blocking HTTP POST of a JSON body over libcurl. The request carries only
// "Content-Type: application/json" besides what HTTP itself needs (Host, Content-Length); only
// http and https are spoken, redirects included (which repeat the POST); TLS peers are verified. The connection may take
// 60 s, and a transfer that moves less than a byte a second for 60 s is given up.
namespace HttpPost {

// Sets up the HTTP and TLS libraries for the process, once. Their set-up is not thread-safe, and
// their clean-up at exit must come after every thread that posts has stopped, so a caller sets
// them up before it makes the threads (and whatever stops those threads at exit).
void initialise();

// True for a response status from 200 to 299. Returns false at once when `cancelled` turns true.
bool send(const QUrl& url, const QByteArray& body, const std::atomic<bool>& cancelled);

} // namespace HttpPost
} // namespace AuditKit
