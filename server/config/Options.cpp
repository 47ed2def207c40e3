#include "config/Options.h"

#include <libpq-fe.h>

#include <charconv>

namespace snapora::server {

namespace {

template <class Number>
bool ReadNumber(const std::string& text, Number& out, Number smallest, Number largest) {
    Number value{};
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || value < smallest || value > largest) return false;
    out = value;
    return true;
}

bool ReadListen(const std::string& text, Options& options) {
    std::size_t colon = text.rfind(':');
    if (colon == std::string::npos || colon == 0) return false;
    options.listenAddress = text.substr(0, colon);
    return ReadNumber(text.substr(colon + 1), options.listenPort, 0, 65535);
}

// A host name or address with an optional port: no scheme, path, blank or control character.
bool IsHost(const std::string& text) {
    if (text.empty() || text.size() > 255) return false;
    for (char c : text)
        if (!((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' || c == '-' ||
              c == ':' || c == '[' || c == ']'))
            return false;
    return true;
}

// Whatever libpq accepts: a postgresql:// URI or key=value pairs.
bool IsConnectionString(const std::string& text, std::string& why) {
    char* error = nullptr;
    PQconninfoOption* parsed = PQconninfoParse(text.c_str(), &error);
    if (error) why = error;
    PQfreemem(error);
    PQconninfoFree(parsed);
    while (!why.empty() && why.back() == '\n') why.pop_back();
    return parsed != nullptr && !text.empty();
}

}  // namespace

ParsedOptions ParseOptions(const std::vector<std::string>& arguments) {
    ParsedOptions parsed;
    Options& o = parsed.options;
    std::size_t first = 0;
    if (!arguments.empty() && arguments[0] == "migrate") {
        o.command = Options::Command::Migrate;
        first = 1;
    }
    for (std::size_t i = first; i < arguments.size(); ++i) {
        const std::string& name = arguments[i];
        if (name == "--help" || name == "-h") {
            o.help = true;
            continue;
        }
        if (name == "--behind-proxy") {
            o.behindProxy = true;
            continue;
        }
        if (i + 1 >= arguments.size()) {
            parsed.error = name.rfind("--", 0) == 0 ? name + " needs a value" : "unknown argument " + name;
            return parsed;
        }
        const std::string& value = arguments[++i];
        bool ok = true;
        if (name == "--listen") ok = ReadListen(value, o);
        else if (name == "--public-host") { o.publicHost = value; ok = IsHost(value); }
        else if (name == "--data") { o.dataDir = value; ok = !value.empty(); }
        else if (name == "--database") {
            std::string why;
            o.database = value;
            if (!IsConnectionString(value, why)) {
                parsed.error = "invalid value for --database" + (why.empty() ? std::string() : ": " + why);
                return parsed;
            }
        }
        else if (name == "--downloads") { o.downloadsDir = value; ok = !value.empty(); }
        else if (name == "--max-upload") ok = ReadNumber<std::uint64_t>(value, o.maxUpload, 1024, 1ull << 32);
        else if (name == "--session-idle") ok = ReadNumber<std::int64_t>(value, o.sessionIdle, 1, 365LL * 24 * 3600);
        else if (name == "--latest-version") { o.latestVersion = value; ok = !value.empty() && value.find('|') == std::string::npos; }
        else if (name == "--threads") ok = ReadNumber(value, o.threads, 1u, 256u);
        else if (name == "--max-connections") ok = ReadNumber(value, o.maxConnections, 1u, 100000u);
        else if (name == "--timeout") ok = ReadNumber(value, o.timeoutSeconds, 1u, 3600u);
        else if (name == "--port-file") o.portFile = value;
        else if (name == "--tls-cert") { o.tlsCert = value; ok = !value.empty(); }
        else if (name == "--tls-key") { o.tlsKey = value; ok = !value.empty(); }
        else {
            parsed.error = "unknown option " + name;
            return parsed;
        }
        if (!ok) {
            parsed.error = "invalid value for " + name + ": " + value;
            return parsed;
        }
    }
    if (o.tlsCert.empty() != o.tlsKey.empty()) parsed.error = "--tls-cert and --tls-key go together";
    if (o.command == Options::Command::Migrate && o.database.empty()) parsed.error = "migrate needs --database";
    return parsed;
}

std::string HelpText() {
    return R"(NAME
    snapora-server - the web service for the Snapora screenshot program

SYNOPSIS
    snapora-server [OPTION]...
    snapora-server migrate --data DIR --database CONNECTION

DESCRIPTION
    Receives the screenshots that Snapora uploads, hands out their
    addresses (http://HOST/NAME, or https:// with --tls-cert), lets their owners rename them, keeps
    session pages that show each new screenshot as it arrives, and serves
    the German web pages the program opens (home, download, donation,
    help, account registration and login). Records live in an SQLite
    database and the pictures as files, both in the data folder; or, with
    --database, records and pictures live in PostgreSQL, which any number
    of instances behind a load balancer may share.

    One line per request goes to standard error. SIGTERM or SIGINT stops
    accepting connections, lets running requests finish (10 seconds at
    most) and ends the server; an upload that did not finish is discarded
    whole.

OPTIONS
    --listen ADDR:PORT
        IPv4 address and port to listen on (default 127.0.0.1:18080;
        port 0 picks a free one).

    --public-host HOST[:PORT]
        The host in the addresses handed out (default: the listen address
        and port). Behind a reverse proxy, the proxy's host name.

    --data DIR
        Folder for the database and the pictures (default ./snapora-data;
        created when missing).

    --database CONNECTION
        Keep records and pictures in PostgreSQL instead: a libpq connection
        string, such as postgresql://snapora@db.example.org/snapora or
        "host=/run/postgresql dbname=snapora" (the password from
        ~/.pgpass or PGPASSWORD, as libpq reads them). The tables are
        created, or upgraded from an older version, at the start. The data
        folder then only holds uploads while they arrive. Several
        instances may share the database: names, sessions, accounts and
        the server's key are the same for all, and a session page on one
        shows the uploads made through any other within a second.

    --downloads DIR
        Folder whose files the download page lists (default DATA/downloads).

    --max-upload BYTES
        Largest picture accepted; a larger upload is answered "toobig"
        without reading it (default 5242880, 5 MiB).

    --session-idle SECONDS
        A session ends after this long without an upload or login
        (default 7200, two hours).

    --latest-version TEXT
        The newest program version, reported with every upload (default 4.2).

    --threads N
        Threads serving connections (default 4).

    --max-connections N
        Open connections at most; more are refused at once (default 512).

    --timeout SECONDS
        A connection idle or stalled this long is closed (default 30).

    --behind-proxy
        Requests come through a reverse proxy on this machine that sets
        X-Real-IP: take the client's address (for logs and the login
        throttle) from that header. Only with --listen on 127.0.0.1.

    --tls-cert FILE, --tls-key FILE
        Serve HTTPS (TLS through GnuTLS) with this certificate chain and
        private key, both PEM files; the addresses handed out then begin
        with https://. Without them the server speaks plain HTTP.

    --port-file FILE
        Once listening, write HOST:PORT and a newline to FILE (for scripts).

    --help
        Show this text.

MOVING TO POSTGRESQL
    snapora-server migrate --data DIR --database CONNECTION copies the
    records and pictures of the SQLite data folder DIR into the database
    (stop the server first). Run again, it copies only what is missing.
    Every picture in the database is then compared with its file by
    SHA-256; the exit status is 0 only when all are there and alike.

EXIT STATUS
    0 after a clean stop, 1 when the server cannot start, 2 for a wrong
    command line.
)";
}

}  // namespace snapora::server
