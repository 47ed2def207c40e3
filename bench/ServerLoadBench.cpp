// A bounded load run against a running snapora-server on loopback: N uploads
// from C concurrent clients (libcurl's multi interface), each client from an
// address of its own (127.0.0.2 and on) as users on their own lines are, then
// every answered address is fetched back and compared by SHA-256 with what
// was sent.
//
//   server_load_bench HOST:PORT UPLOADS CONCURRENCY JPEG...

#include <curl/curl.h>
#include <sodium.h>
#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

struct Transfer {
    CURL* easy = nullptr;
    curl_slist* headers = nullptr;
    std::size_t picture = 0;  // which of the pictures was sent
    int number = 0;           // in the order started; the first `concurrency` start together
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
        t->number = n;
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
            curl_slist_free_all(t->headers);
            delete t;
            ++finished;
            if (started < total) add();
        }
        // Not `running`: it was counted before the transfers just added.
        if (finished < total) curl_multi_poll(multi, nullptr, 0, 100, nullptr);
    } while (finished < total);
    curl_multi_cleanup(multi);
}

// The program's upload body for a picture (its boundary, its fields, the
// picture as a file field), built once so that the clients spend their time
// sending, not copying.
std::string UploadBody(const std::string& boundary, const std::string& picture) {
    std::string body;
    auto field = [&](const char* name, const std::string& value) {
        body += "--" + boundary + "\r\nContent-Disposition: form-data; name=\"" + name + "\"\r\n\r\n" + value + "\r\n";
    };
    field("filename", "screenshot");
    field("version", "4.2");
    field("description", "Last");
    body += "--" + boundary +
            "\r\nContent-Disposition: form-data; name=\"screenshot\"; filename=\"C:\\Temp\\screen.jpg\"\r\n"
            "Content-Type: image/jpeg\r\nContent-Transfer-Encoding: binary\r\n\r\n" +
            picture + "\r\n--" + boundary + "--\r\n";
    return body;
}

// Processor time this process has used so far, in seconds.
double CpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
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
    const std::string Boundary = "--------120824153012345";
    std::vector<std::string> bodies;
    for (const std::string& picture : pictures) bodies.push_back(UploadBody(Boundary, picture));

    std::vector<double> latencies, afterFirstWave;
    std::vector<std::pair<double, double>> timeline;  // each upload's start and latency, for SNAPORA_BENCH_TIMES
    std::vector<std::pair<std::string, std::size_t>> answered;  // address, picture
    int failed = 0;
    const double cpuBefore = CpuSeconds();
    const auto begin = Clock::now();
    RunAll(uploads, concurrency,
           [&](int n) {
               auto* t = new Transfer;
               t->picture = std::size_t(n) % pictures.size();
               t->easy = curl_easy_init();
               const std::string& body = bodies[t->picture];
               t->headers = curl_slist_append(nullptr, ("Content-Type: multipart/form-data; boundary=" + Boundary).c_str());
               curl_easy_setopt(t->easy, CURLOPT_URL, ("http://" + host + "/upload.php").c_str());
               curl_easy_setopt(t->easy, CURLOPT_HTTPHEADER, t->headers);
               curl_easy_setopt(t->easy, CURLOPT_POSTFIELDS, body.data());
               curl_easy_setopt(t->easy, CURLOPT_POSTFIELDSIZE_LARGE, curl_off_t(body.size()));
               curl_easy_setopt(t->easy, CURLOPT_HTTP_VERSION, CURL_HTTP_VERSION_1_0);  // as the program does
               return t;
           },
           [&](Transfer& t, CURLcode result) {
               latencies.push_back(std::chrono::duration<double, std::milli>(Clock::now() - t.started).count());
               if (t.number >= concurrency) afterFirstWave.push_back(latencies.back());
               timeline.emplace_back(std::chrono::duration<double, std::milli>(t.started - begin).count(),
                                     latencies.back());
               if (result == CURLE_OK && t.reply.rfind("ok|", 0) == 0)
                   answered.emplace_back(t.reply.substr(t.reply.find('|', 3) + 1), t.picture);
               else
                   ++failed;
           });
    const double seconds = std::chrono::duration<double>(Clock::now() - begin).count();
    const double clientCpu = CpuSeconds() - cpuBefore;
    // When each upload started and how long it took, to see whether slow ones come together (a stall) or alone.
    if (const char* times = std::getenv("SNAPORA_BENCH_TIMES")) {
        if (std::FILE* out = std::fopen(times, "w")) {
            for (const auto& [start, latency] : timeline) std::fprintf(out, "%.1f %.1f\n", start, latency);
            std::fclose(out);
        }
    }
    if (std::getenv("SNAPORA_BENCH_PAUSE")) {  // lets a script measure the servers between the two phases
        std::printf("uploads done\n");
        std::fflush(stdout);
        std::getchar();
    }

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
    std::sort(afterFirstWave.begin(), afterFirstWave.end());
    auto percentile = [](const std::vector<double>& sorted, double p) {
        return sorted.empty() ? 0.0 : sorted[std::size_t(p * double(sorted.size() - 1))];
    };
    std::printf("uploads:          %d sent, %zu answered ok, %d failed, %d concurrent\n", uploads, answered.size(), failed,
                concurrency);
    std::printf("picture size:     %zu bytes (first of %zu)\n", pictures[0].size(), pictures.size());
    std::printf("throughput:       %.1f uploads/s (%.2f s in all)\n", double(uploads) / seconds, seconds);
    std::printf("latency:          median %.1f ms, p99 %.1f ms, max %.1f ms\n", percentile(latencies, 0.5),
                percentile(latencies, 0.99), latencies.empty() ? 0.0 : latencies.back());
    // The first wave starts all at once, before any work is under way; the rest arrive as answers go out.
    std::printf("  of those after the first %d: median %.1f ms, p99 %.1f ms\n", concurrency,
                percentile(afterFirstWave, 0.5), percentile(afterFirstWave, 0.99));
    std::printf("read back:        %d identical (SHA-256), %d missing or different\n", same, differ);
    // What hashing one picture costs on this machine (the server hashes each upload once on PostgreSQL).
    const auto hashStart = Clock::now();
    for (int i = 0; i < 200; ++i) Sha256(pictures[0]);
    std::printf("client CPU:       %.2f s for the uploads; SHA-256 of one picture %.2f ms\n", clientCpu,
                std::chrono::duration<double, std::milli>(Clock::now() - hashStart).count() / 200);
    curl_global_cleanup();
    return failed == 0 && differ == 0 && same == uploads ? 0 : 1;
}
