#include "upload/CurlHttpClient.h"

#include <curl/curl.h>

#include <exception>
#include <mutex>

#include "upload/Multipart.h"

namespace snapora {

namespace {

std::once_flag curlInitialised;

constexpr const char* UserAgent = "Screenshot Uploader";
constexpr const char* AcceptHeader = "Accept: text/html, */*";

struct HeaderList {
    curl_slist* list = nullptr;
    ~HeaderList() { curl_slist_free_all(list); }
    void Add(const std::string& line) { list = curl_slist_append(list, line.c_str()); }
};

struct EasyHandle {
    CURL* handle = curl_easy_init();
    ~EasyHandle() { curl_easy_cleanup(handle); }
};

}  // namespace

// The cookie store every request shares, guarded by libcurl's lock callbacks.
struct CurlHttpClient::Shared {
    CURLSH* share = curl_share_init();
    std::mutex locks[CURL_LOCK_DATA_LAST];

    Shared() {
        curl_share_setopt(share, CURLSHOPT_SHARE, CURL_LOCK_DATA_COOKIE);
        curl_share_setopt(share, CURLSHOPT_SHARE, CURL_LOCK_DATA_DNS);
        curl_share_setopt(share, CURLSHOPT_USERDATA, this);
        curl_share_setopt(share, CURLSHOPT_LOCKFUNC, +[](CURL*, curl_lock_data data, curl_lock_access, void* self) {
            static_cast<Shared*>(self)->locks[data].lock();
        });
        curl_share_setopt(share, CURLSHOPT_UNLOCKFUNC, +[](CURL*, curl_lock_data data, void* self) {
            static_cast<Shared*>(self)->locks[data].unlock();
        });
    }
    ~Shared() { curl_share_cleanup(share); }
};

// One request in flight: its body, its reply and what its callbacks saw.
struct CurlHttpClient::Transfer {
    Transfer(CurlHttpClient& c, std::string p) : client(c), generation(c.generation_.load()), path(std::move(p)) {}
    CurlHttpClient& client;
    unsigned generation;
    std::string path;
    MultipartForm* body = nullptr;
    std::int64_t total = 0;
    std::int64_t sent = 0;
    bool ended = false;
    std::string reply;
    std::exception_ptr error;  // from a progress handler or the body, rethrown after the request
    bool cancelled = false;

    void EndSending() {
        if (ended) return;
        ended = true;
        if (client.OnWorkEnd) client.OnWorkEnd(wmWrite);
    }
};

CurlHttpClient::CurlHttpClient(std::string host) : host_(std::move(host)) {
    std::call_once(curlInitialised, [] { curl_global_init(CURL_GLOBAL_ALL); });
    shared_ = std::make_unique<Shared>();
}

CurlHttpClient::~CurlHttpClient() = default;

void CurlHttpClient::Disconnect() {
    disconnected_ = true;
    ++generation_;
}

std::string CurlHttpClient::Post(const std::string& path, MultipartForm& body) {
    Transfer transfer(*this, path);
    transfer.body = &body;
    transfer.total = std::int64_t(body.Size());
    return Perform(transfer);
}

std::string CurlHttpClient::Get(const std::string& pathAndQuery) {
    Transfer transfer(*this, pathAndQuery);
    return Perform(transfer);
}

std::string CurlHttpClient::Perform(Transfer& t) {
    disconnected_ = false;
    EasyHandle easy;
    if (!easy.handle) throw HttpError("Die Verbindung zum Server konnte nicht vorbereitet werden.");
    CURL* c = easy.handle;
    std::string url = "http://" + host_ + t.path;
    HeaderList headers;
    headers.Add(AcceptHeader);

    curl_easy_setopt(c, CURLOPT_URL, url.c_str());
    curl_easy_setopt(c, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(c, CURLOPT_USERAGENT, UserAgent);
    curl_easy_setopt(c, CURLOPT_PROXY, "");  // no proxy, whatever the environment says
    curl_easy_setopt(c, CURLOPT_FOLLOWLOCATION, 0L);
    curl_easy_setopt(c, CURLOPT_SHARE, shared_->share);
    curl_easy_setopt(c, CURLOPT_COOKIEFILE, "");  // cookies in memory only
    curl_easy_setopt(c, CURLOPT_CONNECTTIMEOUT, 30L);

    curl_easy_setopt(c, CURLOPT_WRITEDATA, &t);
    curl_easy_setopt(c, CURLOPT_WRITEFUNCTION, +[](char* data, size_t size, size_t count, void* self) -> size_t {
        static_cast<Transfer*>(self)->reply.append(data, size * count);
        return size * count;
    });
    // Called at least once a second, also while waiting: that is where a cancel lands.
    curl_easy_setopt(c, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(c, CURLOPT_XFERINFODATA, &t);
    curl_easy_setopt(c, CURLOPT_XFERINFOFUNCTION,
                     +[](void* self, curl_off_t, curl_off_t, curl_off_t, curl_off_t) -> int {
                         auto& t = *static_cast<Transfer*>(self);
                         t.cancelled = t.generation != t.client.generation_.load();
                         return t.cancelled ? 1 : 0;
                     });

    if (t.body) {
        // HTTP/1.0 on a fresh connection, with a Content-Length and no "Expect".
        curl_easy_setopt(c, CURLOPT_HTTP_VERSION, CURL_HTTP_VERSION_1_0);
        curl_easy_setopt(c, CURLOPT_FRESH_CONNECT, 1L);
        curl_easy_setopt(c, CURLOPT_FORBID_REUSE, 1L);
        curl_easy_setopt(c, CURLOPT_POST, 1L);
        curl_easy_setopt(c, CURLOPT_POSTFIELDSIZE_LARGE, curl_off_t(t.total));
        headers.Add("Content-Type: " + t.body->ContentType());
        headers.Add("Expect:");
        curl_easy_setopt(c, CURLOPT_READDATA, &t);
        curl_easy_setopt(c, CURLOPT_READFUNCTION, +[](char* buffer, size_t size, size_t count, void* self) -> size_t {
            auto& t = *static_cast<Transfer*>(self);
            try {
                size_t n = t.body->Read(buffer, size * count);
                t.sent += std::int64_t(n);
                if (n > 0 && t.client.OnWork) t.client.OnWork(wmWrite, t.sent);
                if (t.sent >= t.total) t.EndSending();
                return n;
            } catch (...) {
                t.error = std::current_exception();
                return size_t(CURL_READFUNC_ABORT);
            }
        });
        if (OnWorkBegin) OnWorkBegin(wmWrite, t.total);
    } else {
        curl_easy_setopt(c, CURLOPT_HTTP_VERSION, CURL_HTTP_VERSION_1_1);
        curl_easy_setopt(c, CURLOPT_HTTPGET, 1L);
    }
    curl_easy_setopt(c, CURLOPT_HTTPHEADER, headers.list);

    CURLcode result = curl_easy_perform(c);
    if (t.body && t.sent >= t.total && !t.ended) t.EndSending();
    if (t.error) std::rethrow_exception(t.error);
    if (t.cancelled) throw HttpError("Die Verbindung zum Server wurde getrennt.");
    if (result != CURLE_OK)
        throw HttpError(std::string("Fehler bei der Verbindung zum Server: ") + curl_easy_strerror(result));
    long status = 0;
    curl_easy_getinfo(c, CURLINFO_RESPONSE_CODE, &status);
    if (status < 200 || status > 299)
        throw HttpError("Der Server antwortete mit dem HTTP-Status " + std::to_string(status) + ".");
    return std::move(t.reply);
}

}  // namespace snapora
