#include "AuditKit/HttpPost.h"

#include <curl/curl.h>

#include <algorithm>
#include <memory>
#include <mutex>

namespace AuditKit::HttpPost {

namespace {

constexpr long kConnectTimeoutSeconds = 60;
constexpr long kMaxRedirects = 5;

size_t discardBody(char*, size_t size, size_t count, void*) { return size * count; }

int abortWhenCancelled(void* flag, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
    return static_cast<const std::atomic<bool>*>(flag)->load() ? 1 : 0;
}

struct EasyDeleter {
    void operator()(CURL* handle) const { curl_easy_cleanup(handle); }
};
struct ListDeleter {
    void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};

} // namespace

void initialise() {
    static std::once_flag initialised;
    std::call_once(initialised, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

bool send(const QUrl& url, const QByteArray& body, const std::atomic<bool>& cancelled, std::chrono::milliseconds deadline) {
    initialise();
    if (cancelled) return false;

    std::unique_ptr<CURL, EasyDeleter> easy(curl_easy_init());
    if (!easy) return false;
    // Blank values remove the headers curl would add by itself.
    curl_slist* list = curl_slist_append(nullptr, "Content-Type: application/json");
    list = list ? curl_slist_append(list, "Expect:") : nullptr;
    list = list ? curl_slist_append(list, "Accept:") : nullptr;
    std::unique_ptr<curl_slist, ListDeleter> headers(list);
    if (!headers) return false;

    const QByteArray address = url.toEncoded();
    CURL* h = easy.get();
    curl_easy_setopt(h, CURLOPT_URL, address.constData());
    curl_easy_setopt(h, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(h, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(h, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(h, CURLOPT_MAXREDIRS, kMaxRedirects);
    // A redirect must carry the record on: turned into a GET, its 2xx would count as delivered.
    curl_easy_setopt(h, CURLOPT_POSTREDIR, CURL_REDIR_POST_ALL);
    curl_easy_setopt(h, CURLOPT_SSL_VERIFYPEER, 1L);
    curl_easy_setopt(h, CURLOPT_SSL_VERIFYHOST, 2L);
    curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(h, CURLOPT_POST, 1L);
    curl_easy_setopt(h, CURLOPT_POSTFIELDS, body.constData());
    curl_easy_setopt(h, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(body.size()));
    curl_easy_setopt(h, CURLOPT_HTTPHEADER, headers.get());
    curl_easy_setopt(h, CURLOPT_CONNECTTIMEOUT, kConnectTimeoutSeconds);
    // Never 0, which curl takes for no deadline at all.
    curl_easy_setopt(h, CURLOPT_TIMEOUT_MS, std::max<long>(long(deadline.count()), 1L));
    curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, discardBody);
    curl_easy_setopt(h, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(h, CURLOPT_XFERINFOFUNCTION, abortWhenCancelled);
    curl_easy_setopt(h, CURLOPT_XFERINFODATA, const_cast<std::atomic<bool>*>(&cancelled));

    if (curl_easy_perform(h) != CURLE_OK) return false;
    long status = 0;
    curl_easy_getinfo(h, CURLINFO_RESPONSE_CODE, &status);
    return status >= 200 && status <= 299;
}

} // namespace AuditKit::HttpPost
