#include "config/Options.h"

#include <libpq-fe.h>

#include <charconv>
#include <fstream>

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

bool ReadListen(const std::string& text, std::string& address, int& port) {
    std::size_t colon = text.rfind(':');
    if (colon == std::string::npos || colon == 0) return false;
    address = text.substr(0, colon);
    return ReadNumber(text.substr(colon + 1), port, 0, 65535);
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

bool IsLoopback(const std::string& address) { return address.rfind("127.", 0) == 0; }

// Whatever libpq accepts: a postgresql:// URI or key=value pairs; "" when it does, libpq's reason otherwise.
std::string ConnectionStringFault(const std::string& text) {
    if (text.empty()) return "it is empty";
    char* error = nullptr;
    PQconninfoOption* parsed = PQconninfoParse(text.c_str(), &error);
    std::string why = parsed ? "" : error ? error : "not a connection string";
    PQfreemem(error);
    PQconninfoFree(parsed);
    while (!why.empty() && why.back() == '\n') why.pop_back();
    return why;
}

// Applies arguments on top of what `o` holds; returns what was wrong, or "".
std::string Apply(const std::vector<std::string>& arguments, Options& o) {
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string& name = arguments[i];
        if (name == "--help" || name == "-h") {
            o.help = true;
            continue;
        }
        if (name == "--behind-proxy") {
            o.behindProxy = true;
            continue;
        }
        if (i + 1 >= arguments.size())
            return name.rfind("--", 0) == 0 ? name + " needs a value" : "unknown argument " + name;
        const std::string& value = arguments[++i];
        bool ok = true;
        if (name == "--listen") ok = ReadListen(value, o.listenAddress, o.listenPort);
        else if (name == "--public-host") { o.publicHost = value; ok = IsHost(value); }
        else if (name == "--data") { o.dataDir = value; ok = !value.empty(); }
        else if (name == "--database") {
            o.database = value;
            if (std::string why = ConnectionStringFault(value); !why.empty())
                return "invalid value for --database: " + why;
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
        else if (name == "--max-per-address") ok = ReadNumber(value, o.maxPerAddress, 1u, 100000u);
        else if (name == "--head-timeout") ok = ReadNumber(value, o.headTimeoutSeconds, 1u, 3600u);
        else if (name == "--min-rate") ok = ReadNumber<std::uint64_t>(value, o.minBodyRate, 0, 1ull << 32);
        else if (name == "--max-streams") ok = ReadNumber(value, o.maxStreams, 0u, 100000u);
        else if (name == "--stream-lifetime") ok = ReadNumber(value, o.streamLifetimeSeconds, 1u, 24u * 3600);
        else if (name == "--registration") { o.registrationOpen = value == "open"; ok = value == "open" || value == "closed"; }
        else if (name == "--quota-account") ok = ReadNumber<std::uint64_t>(value, o.quotaAccount, 0, 1ull << 50);
        else if (name == "--quota-anonymous") ok = ReadNumber<std::uint64_t>(value, o.quotaAnonymous, 0, 1ull << 50);
        else if (name == "--min-free") ok = ReadNumber<std::uint64_t>(value, o.minFree, 0, 1ull << 50);
        else if (name == "--config") o.configFile = value;  // read by ParseOptions before everything else
        else if (name == "--keep-days") ok = ReadNumber(value, o.keepDays, 0, 36500);
        else if (name == "--metrics-listen") ok = ReadListen(value, o.metricsAddress, o.metricsPort);
        else return "unknown option " + name;
        if (!ok) return "invalid value for " + name + ": " + value;
    }
    return "";
}

std::string Trim(const std::string& text) {
    std::size_t first = text.find_first_not_of(" \t\r");
    if (first == std::string::npos) return "";
    return text.substr(first, text.find_last_not_of(" \t\r") - first + 1);
}

// Applies the file's lines in order, each as the option it names.
std::string ApplyConfigFile(const std::string& path, Options& o) {
    std::ifstream in(path);
    if (!in) return "cannot read the configuration file " + path;
    std::string line;
    for (int number = 1; std::getline(in, line); ++number) {
        line = Trim(line);
        if (line.empty() || line[0] == '#') continue;
        const std::string where = path + ":" + std::to_string(number) + ": ";
        std::size_t equals = line.find('=');
        if (equals == std::string::npos) return where + "expected \"name = value\"";
        const std::string name = Trim(line.substr(0, equals)), value = Trim(line.substr(equals + 1));
        if (name.empty() || name.rfind("-", 0) == 0 || name == "config" || name == "help")
            return where + "not an option of the file: " + name;
        std::vector<std::string> arguments;
        if (name == "behind-proxy") {
            if (value == "yes" || value == "true" || value == "on" || value == "1") arguments = {"--behind-proxy"};
            else if (value == "no" || value == "false" || value == "off" || value == "0") o.behindProxy = false;
            else return where + "behind-proxy is yes or no";
        } else {
            arguments = {"--" + name, value};
        }
        std::string error = Apply(arguments, o);
        if (!error.empty()) return where + error;
    }
    return "";
}

}  // namespace

ParsedOptions ParseOptions(const std::vector<std::string>& arguments) {
    ParsedOptions parsed;
    Options& o = parsed.options;
    for (std::size_t i = 0; i + 1 < arguments.size(); ++i)
        if (arguments[i] == "--config") o.configFile = arguments[i + 1];
    if (!o.configFile.empty() && !(parsed.error = ApplyConfigFile(o.configFile, o)).empty()) return parsed;
    if (!(parsed.error = Apply(arguments, o)).empty()) return parsed;

    if (o.tlsCert.empty() != o.tlsKey.empty()) parsed.error = "--tls-cert and --tls-key go together";
    if (o.maxPerAddress > o.maxConnections) o.maxPerAddress = o.maxConnections;
    // The metrics are for the operator: never on the address the public reaches.
    if (!o.metricsAddress.empty()) {
        if (o.metricsAddress == "0.0.0.0")
            parsed.error = "--metrics-listen needs one address, not 0.0.0.0, which includes the public one";
        else if (o.metricsAddress == o.listenAddress && !IsLoopback(o.listenAddress))
            parsed.error = "--metrics-listen must not use the public listen address " + o.listenAddress;
        else if (o.metricsPort != 0 && o.metricsPort == o.listenPort &&
                 (o.metricsAddress == o.listenAddress || o.listenAddress == "0.0.0.0"))
            parsed.error = "--metrics-listen and --listen cannot share a port";
    }
    return parsed;
}

std::string HelpText() {
    return R"(NAME
    snapora-server - the web service for the Snapora screenshot program

SYNOPSIS
    snapora-server [OPTION]...
    snapora-server account add|disable|enable|delete NAME --data DIR
    snapora-server account list --data DIR
    snapora-server screenshot delete NAME --data DIR
    snapora-server backup --data DIR --to DIR
    snapora-server restore --from DIR --data DIR [--replace]
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
        X-Real-IP: take the client's address (for logs, limits and the
        login throttle) from that header, and count --max-per-address
        against it. A proxy that sets X-Forwarded-Proto: https says the
        request came over HTTPS (see --tls-cert). Only with --listen on
        127.0.0.1.

    --tls-cert FILE, --tls-key FILE
        Serve HTTPS (TLS through GnuTLS) with this certificate chain and
        private key, both PEM files. Without them the server speaks plain
        HTTP. Over HTTPS the addresses handed out begin with https://,
        cookies are Secure and every response carries
        Strict-Transport-Security.

    --port-file FILE
        Once listening, write HOST:PORT and a newline to FILE (for scripts).

    --config FILE
        Read options from FILE first, one "name = value" per line with the
        options' names without their dashes (listen = 0.0.0.0:80,
        behind-proxy = yes), # for comments; the command line overrides
        them. The Debian package's file is /etc/snapora/snapora-server.conf.

    --keep-days N
        Delete screenshots older than N days, pictures and records
        together, at start and every ten minutes; session pages that are
        open drop them. Default 0: keep them for ever.

    --metrics-listen ADDR:PORT
        Serve Prometheus metrics at http://ADDR:PORT/metrics (default:
        off). Never on the public address: 0.0.0.0 and the --listen
        address (unless it is a loopback one) are refused.

    --help
        Show this text.

ABUSE LIMITS
    --max-per-address N
        Connections from one address at once (default 16); behind a
        proxy, requests from one client address at once.

    --head-timeout SECONDS
        A request's line and headers, and the next request on a kept-alive
        connection, must arrive within this (default 10).

    --min-rate BYTES
        A request body must arrive at this many bytes per second on
        average once --head-timeout has passed (default 4096); slower
        connections are closed.

    --max-streams N
        Session-page event streams open at once (default 256); at most 4
        per address and 64 per session.

    --stream-lifetime SECONDS
        An event stream ends after this; the browser reconnects on its own
        (default 300).

    --registration open|closed
        closed: the pages register no accounts; the operator adds them
        with "snapora-server account add" (default open). Open
        registration takes 5 accounts a day per address and 100 an hour
        in all.

    --quota-account BYTES, --quota-anonymous BYTES
        Upload bytes within 24 hours per account (default 524288000) and
        per address without an account (default 104857600).

    --min-free BYTES
        Uploads are refused while the data folder's file system has less
        than this free (default 536870912). With --database it does not
        apply: the database's own disk is out of the server's sight.

    Lookups of unknown names are limited to 60 per address in 5 minutes
    (then 429), failed logins to 5 per account and address and 20 per
    address in 10 minutes. Password hashing runs on a pool of two threads
    (two places for one address), picture decoding and storing on one of
    four (eight places for one address); when one is full, a request is
    answered at once that the server is busy (503 with Retry-After for
    pages).

COMMANDS
    backup --data DIR --to DIR   (or --config FILE instead of --data)
        Copies the data folder into the new or empty folder given by --to
        while the server may go on running: the database through SQLite's
        online backup (one consistent moment), then the pictures it names,
        hard-linked where the file system allows and copied otherwise.

    restore --from DIR --data DIR [--replace]   (or --config FILE)
        Checks a backup and puts it into the data folder; the server must
        be stopped. A data folder that already holds a database is only
        replaced with --replace, which moves the old database and pictures
        into DATA/replaced-TIME/ first.
        (With --database the database is the whole backup: use pg_dump.)

    migrate --data DIR --database CONNECTION   (or --config FILE)
        Copies the records and pictures of the SQLite data folder DIR into
        the PostgreSQL database (stop the server first). Run again, it
        copies only what is missing. Every picture in the database is then
        compared with its file by SHA-256; the exit status is 0 only when
        all are there and alike.

    The account and screenshot commands work beside the server, also
    while it runs, on the same data folder, or with --database CONNECTION
    on the same PostgreSQL database (--config FILE instead takes the
    file's).

    account add NAME --data DIR
        Creates an account; its password is read from standard input (one
        line; asked for twice without echo on a terminal).

    account disable NAME, account enable NAME --data DIR
        A disabled account cannot log in or upload; its web logins end.

    account delete NAME --data DIR
        Deletes the account with its logins and its screenshots.

    account list --data DIR
        One line per account: name, state, creation time, screenshots.

    screenshot delete NAME --data DIR
        Deletes a screenshot (its picture file too). Its names are never
        given out again.

START
    Uploads that never finished are cleared from DATA/staging. Files in
    DATA/pictures that no record names (after a crash, or a database
    restored without its -wal file) are moved to DATA/quarantine, one log
    line each; nothing is deleted. When pictures exist but DATA/snapora.db
    does not, the server refuses to start.

EXIT STATUS
    0 after a clean stop or a command done, 1 when the server cannot start
    or a command fails, 2 for a wrong command line.
)";
}

}  // namespace snapora::server
