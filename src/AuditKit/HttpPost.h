#pragma once

#include <QByteArray>
#include <QUrl>

#include <atomic>
#include <chrono>

namespace AuditKit {

// One blocking HTTP POST of a JSON body over libcurl. The request carries only
// "Content-Type: application/json" besides what HTTP itself needs (Host, Content-Length); only
// http and https are spoken, redirects included (which repeat the POST); TLS peers are verified.
// An attempt, connecting included, is given up at its deadline however steadily the server sends:
// one that answers a byte at a time never holds the delivery longer.
namespace HttpPost {

// The request's time-out, bounding the whole attempt.
inline constexpr std::chrono::milliseconds kAttemptDeadline{60000};

// Sets up the HTTP and TLS libraries for the process, once. Their set-up is not thread-safe, and
// their clean-up at exit must come after every thread that posts has stopped, so a caller sets
// them up before it makes the threads (and whatever stops those threads at exit).
void initialise();

// True for a response status from 200 to 299. Returns false at once when `cancelled` turns true,
// and once `deadline` has passed since the call.
bool send(const QUrl& url, const QByteArray& body, const std::atomic<bool>& cancelled,
          std::chrono::milliseconds deadline = kAttemptDeadline);

} // namespace HttpPost
} // namespace AuditKit
