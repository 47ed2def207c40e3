#include "upload/CurlHttpClient.h"

#include <curl/curl.h>

#include <exception>
#include <mutex>

#ifdef _WIN32
#include <windows.h>
#include <wincrypt.h>
#endif

#include "base/TimingLog.h"
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

// What went wrong, in the program's language.
std::string CurlErrorText(CURLcode code) {
    switch (code) {
        case CURLE_COULDNT_RESOLVE_HOST: return "Der Servername konnte nicht aufgelöst werden.";
        case CURLE_COULDNT_CONNECT: return "Der Server ist nicht erreichbar.";
        case CURLE_OPERATION_TIMEDOUT: return "Der Server antwortet nicht.";
        case CURLE_SEND_ERROR: return "Die Daten konnten nicht gesendet werden.";
        case CURLE_RECV_ERROR: return "Die Antwort konnte nicht empfangen werden.";
        case CURLE_GOT_NOTHING: return "Der Server hat keine Antwort geschickt.";
        case CURLE_PARTIAL_FILE: return "Die Antwort des Servers war unvollständig.";
        case CURLE_WEIRD_SERVER_REPLY: return "Die Antwort des Servers war unverständlich.";
        case CURLE_SSL_CONNECT_ERROR: return "Die verschlüsselte Verbindung kam nicht zustande.";
        case CURLE_PEER_FAILED_VERIFICATION:
        case CURLE_SSL_CACERT_BADFILE: return "Das Zertifikat des Servers ist nicht vertrauenswürdig.";
        case CURLE_UNSUPPORTED_PROTOCOL: return "Dieses Programm kann keine verschlüsselten Verbindungen aufbauen.";
        default: return std::string("Fehler ") + std::to_string(int(code)) + " (" + curl_easy_strerror(code) + ").";
    }
}

#ifdef _WIN32
// Windows' Schannel checks a server's certificate itself, against the trusted
// roots (fetching missing ones from Windows Update). Wine's Schannel does
// the handshake but checks nothing, leaving that to the caller: there, libcurl
// checks the chain and the name itself, against the same trusted roots
// exported from the system store. Empty on Windows.
std::string RootsToCheckAgainstOnWine() {
    static const std::string roots = [] {
        std::string pem;
        HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
        if (!ntdll || !GetProcAddress(ntdll, "wine_get_version")) return pem;
        for (const wchar_t* name : {L"ROOT", L"CA"}) {
            HCERTSTORE store = CertOpenStore(CERT_STORE_PROV_SYSTEM_W, 0, 0,
                                             CERT_SYSTEM_STORE_LOCAL_MACHINE | CERT_STORE_READONLY_FLAG, name);
            if (!store) continue;
            for (PCCERT_CONTEXT cert = nullptr; (cert = CertEnumCertificatesInStore(store, cert));) {
                DWORD size = 0;
                CryptBinaryToStringA(cert->pbCertEncoded, cert->cbCertEncoded, CRYPT_STRING_BASE64HEADER, nullptr, &size);
                std::string text(size, '\0');
                if (CryptBinaryToStringA(cert->pbCertEncoded, cert->cbCertEncoded, CRYPT_STRING_BASE64HEADER,
                                         text.data(), &size))
                    pem.append(text.c_str());
            }
            CertCloseStore(store, 0);
        }
        return pem;
    }();
    return roots;
}
#endif

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
    bool tooLong = false;

    bool CheckCancelled() {
        cancelled = cancelled || generation != client.generation_.load();
        return cancelled;
    }

    void EndSending() {
        if (ended) return;
        ended = true;
        sentAt = TimingLog::Clock::now();
        TimingLog::Stage("sending:" + path, started);
        if (client.OnWorkEnd) client.OnWorkEnd(wmWrite);
    }
    TimingLog::Clock::time_point started = TimingLog::Clock::now(), sentAt{};
};

CurlHttpClient::CurlHttpClient(std::string service)
    : base_(service.find("://") == std::string::npos ? "http://" + service : std::move(service)) {
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
    std::string url = base_ + t.path;
    HeaderList headers;
    headers.Add(AcceptHeader);

    curl_easy_setopt(c, CURLOPT_URL, url.c_str());
    curl_easy_setopt(c, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(c, CURLOPT_USERAGENT, UserAgent);
    curl_easy_setopt(c, CURLOPT_PROXY, "");  // no proxy, whatever the environment says
    curl_easy_setopt(c, CURLOPT_FOLLOWLOCATION, 0L);
    curl_easy_setopt(c, CURLOPT_PROTOCOLS_STR, "http,https");
    // Certificates are checked (peer and name, libcurl's defaults). Schannel
    // would also fail on a certificate whose revocation list it cannot reach,
    // as with a company's own authority; only a revoked one fails then.
    curl_easy_setopt(c, CURLOPT_SSL_VERIFYPEER, 1L);
    curl_easy_setopt(c, CURLOPT_SSL_VERIFYHOST, 2L);
    curl_easy_setopt(c, CURLOPT_SSL_OPTIONS, long(CURLSSLOPT_REVOKE_BEST_EFFORT));
#ifdef _WIN32
    std::string roots = RootsToCheckAgainstOnWine();
    curl_blob rootBlob{roots.data(), roots.size(), CURL_BLOB_NOCOPY};
    if (!roots.empty()) curl_easy_setopt(c, CURLOPT_CAINFO_BLOB, &rootBlob);
#endif
    curl_easy_setopt(c, CURLOPT_SHARE, shared_->share);
    curl_easy_setopt(c, CURLOPT_COOKIEFILE, "");  // cookies in memory only
    curl_easy_setopt(c, CURLOPT_CONNECTTIMEOUT, 30L);
    // A service that accepts and then stays silent, or trickles, must not hold the request for good.
    curl_easy_setopt(c, CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl_easy_setopt(c, CURLOPT_LOW_SPEED_TIME, long(idleTimeoutSeconds));

    curl_easy_setopt(c, CURLOPT_WRITEDATA, &t);
    curl_easy_setopt(c, CURLOPT_WRITEFUNCTION, +[](char* data, size_t size, size_t count, void* self) -> size_t {
        auto& t = *static_cast<Transfer*>(self);
        size_t n = size * count;
        if (t.CheckCancelled()) return 0;  // a fast endless reply must not delay a cancel
        if (t.reply.size() + n > t.client.maxReplyBytes) {
            t.tooLong = true;
            return 0;
        }
        t.reply.append(data, n);
        return n;
    });
    // Called at least once a second, also while waiting: that is where a cancel lands.
    curl_easy_setopt(c, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(c, CURLOPT_XFERINFODATA, &t);
    curl_easy_setopt(c, CURLOPT_XFERINFOFUNCTION,
                     +[](void* self, curl_off_t, curl_off_t, curl_off_t, curl_off_t) -> int {
                         return static_cast<Transfer*>(self)->CheckCancelled() ? 1 : 0;
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
    long status = 0;
    curl_easy_getinfo(c, CURLINFO_RESPONSE_CODE, &status);
    bool failed = t.error || t.cancelled || t.tooLong || result != CURLE_OK || status < 200 || status > 299;
    // A failed request has lost its connection; the end of sending is reported
    // in every case, so the progress display never stays half way.
    if (failed) disconnected_ = true;
    if (t.body) t.EndSending();
    if (t.error) std::rethrow_exception(t.error);
    if (t.cancelled) throw HttpError("Die Verbindung zum Server wurde getrennt.");
    if (t.tooLong) throw HttpError("Die Antwort des Servers ist zu lang.");
    if (result != CURLE_OK) throw HttpError("Fehler bei der Verbindung zum Server: " + CurlErrorText(result));
    if (t.body) TimingLog::Stage("answer:" + t.path, t.sentAt);
    if (status < 200 || status > 299)
        throw HttpError("Der Server antwortete mit dem HTTP-Status " + std::to_string(status) + ".");
    return std::move(t.reply);
}

}  // namespace snapora
