// A bounded load run against a running snapora-server on loopback: N uploads
// from C concurrent clients (libcurl's multi interface), each client from an
// address of its own (127.0.0.2 and on) as users on their own lines are, then
// every answered address is fetched back and compared by SHA-256 with what
// was sent.
//
//   server_load_bench HOST:PORT UPLOADS CONCURRENCY JPEG...

#include <curl/curl.h>
#include <sodium.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

struct Transfer {
    CURL* easy = nullptr;
    curl_mime* form = nullptr;
    std::size_t picture = 0;  // which of the pictures was sent
    std::string reply;
    Clock::time_point started;
};

std::string Sha256(const std::string& bytes) {
    unsigned char digest[crypto_hash_sha256_BYTES];
    crypto_hash_sha256(digest, reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size());
    return std::string(reinterpret_cast<char*>(digest), sizeof digest);
}

size_t Collect(char* data, size_t size, size_t count, void* reply) {
    static_cast<std::string*>(reply)->append(data, size * count);
    return size * count;
}

// Runs the transfers made by `make` with at most `concurrency` at once; `done` sees each finished one.
template <class Make, class Done>
void RunAll(int total, int concurrency, Make make, Done done) {
    CURLM* multi = curl_multi_init();
    int started = 0, finished = 0, running = 0;
    auto add = [&] {
        const int n = started++;
        Transfer* t = make(n);
        t->started = Clock::now();
        // Client n % concurrency (up to 250): an address each, as the server counts its limits per address.
        const std::string from = "host!127.0.0." + std::to_string(2 + n % concurrency % 250);
        curl_easy_setopt(t->easy, CURLOPT_INTERFACE, from.c_str());
        curl_easy_setopt(t->easy, CURLOPT_PRIVATE, t);
        curl_easy_setopt(t->easy, CURLOPT_WRITEFUNCTION, &Collect);
        curl_easy_setopt(t->easy, CURLOPT_WRITEDATA, &t->reply);
        curl_multi_add_handle(multi, t->easy);
    };
    while (started < std::min(total, concurrency)) add();
    do {
        curl_multi_perform(multi, &running);
        int queued = 0;
        while (CURLMsg* message = curl_multi_info_read(multi, &queued)) {
            if (message->msg != CURLMSG_DONE) continue;
            Transfer* t = nullptr;
            curl_easy_getinfo(message->easy_handle, CURLINFO_PRIVATE, &t);
            curl_multi_remove_handle(multi, t->easy);
            done(*t, message->data.result);
            curl_easy_cleanup(t->easy);
            curl_mime_free(t->form);
            delete t;
            ++finished;
            if (started < total) add();
        }
        // Not `running`: it was counted before the transfers just added.
        if (finished < total) curl_multi_poll(multi, nullptr, 0, 100, nullptr);
    } while (finished < total);
    curl_multi_cleanup(multi);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 5) {
        std::fprintf(stderr, "usage: server_load_bench HOST:PORT UPLOADS CONCURRENCY JPEG...\n");
        return 2;
    }
    const std::string host = argv[1];
    const int uploads = std::atoi(argv[2]), concurrency = std::atoi(argv[3]);
    std::vector<std::string> pictures, hashes;
    for (int i = 4; i < argc; ++i) {
        std::ifstream in(argv[i], std::ios::binary);
        std::ostringstream bytes;
        bytes << in.rdbuf();
        pictures.push_back(bytes.str());
        hashes.push_back(Sha256(pictures.back()));
    }
    if (sodium_init() < 0 || curl_global_init(CURL_GLOBAL_ALL) != CURLE_OK) return 1;

    std::vector<double> latencies;
    std::vector<std::pair<std::string, std::size_t>> answered;  // address, picture
    int failed = 0;
    const auto begin = Clock::now();
    RunAll(uploads, concurrency,
           [&](int n) {
               auto* t = new Transfer;
               t->picture = std::size_t(n) % pictures.size();
               t->easy = curl_easy_init();
               t->form = curl_mime_init(t->easy);
               auto field = [&](const char* name, const std::string& value) {
                   curl_mimepart* part = curl_mime_addpart(t->form);
                   curl_mime_name(part, name);
                   curl_mime_data(part, value.data(), value.size());
               };
               field("filename", "screenshot");
               field("version", "4.2");
               field("description", "Last " + std::to_string(n));
               curl_mimepart* file = curl_mime_addpart(t->form);
               curl_mime_name(file, "screenshot");
               curl_mime_filename(file, "screen.jpg");
               curl_mime_type(file, "image/jpeg");
               curl_mime_data(file, pictures[t->picture].data(), pictures[t->picture].size());
               curl_easy_setopt(t->easy, CURLOPT_URL, ("http://" + host + "/upload.php").c_str());
               curl_easy_setopt(t->easy, CURLOPT_MIMEPOST, t->form);
               curl_easy_setopt(t->easy, CURLOPT_HTTP_VERSION, CURL_HTTP_VERSION_1_0);  // as the program does
               return t;
           },
           [&](Transfer& t, CURLcode result) {
               latencies.push_back(std::chrono::duration<double, std::milli>(Clock::now() - t.started).count());
               if (result == CURLE_OK && t.reply.rfind("ok|", 0) == 0)
                   answered.emplace_back(t.reply.substr(t.reply.find('|', 3) + 1), t.picture);
               else
                   ++failed;
           });
    const double seconds = std::chrono::duration<double>(Clock::now() - begin).count();

    int same = 0, differ = 0;
    std::size_t next = 0;
    RunAll(int(answered.size()), concurrency,
           [&](int n) {
               auto* t = new Transfer;
               t->picture = std::size_t(n);
               t->easy = curl_easy_init();
               curl_easy_setopt(t->easy, CURLOPT_URL, (answered[std::size_t(n)].first + ".jpg").c_str());
               return t;
           },
           [&](Transfer& t, CURLcode result) {
               ++next;
               if (result == CURLE_OK && Sha256(t.reply) == hashes[answered[t.picture].second]) ++same;
               else ++differ;
           });

    std::sort(latencies.begin(), latencies.end());
    auto percentile = [&](double p) { return latencies.empty() ? 0.0 : latencies[std::size_t(p * double(latencies.size() - 1))]; };
    std::printf("uploads:          %d sent, %zu answered ok, %d failed, %d concurrent\n", uploads, answered.size(), failed,
                concurrency);
    std::printf("picture size:     %zu bytes (first of %zu)\n", pictures[0].size(), pictures.size());
    std::printf("throughput:       %.1f uploads/s (%.2f s in all)\n", double(uploads) / seconds, seconds);
    std::printf("latency:          median %.1f ms, p99 %.1f ms, max %.1f ms\n", percentile(0.5), percentile(0.99),
                latencies.empty() ? 0.0 : latencies.back());
    std::printf("read back:        %d identical (SHA-256), %d missing or different\n", same, differ);
    curl_global_cleanup();
    return failed == 0 && differ == 0 && same == uploads ? 0 : 1;
}
