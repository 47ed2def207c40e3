#include <gtest/gtest.h>

#include <fstream>

#include "TestSupport.h"
#include "config/Options.h"
#include "text/Cp1252.h"
#include "text/Html.h"
#include "text/Names.h"

namespace snapora::server {

// The program's umlauts, euro sign and typographic quotes arrive as single bytes.
TEST(Cp1252, ConvertsBothWaysAndGuessesBrowserPaths) {
    struct Case { std::string cp1252, utf8; } cases[] = {
        {"Gr\xFC\xDF" "e", "Grüße"},
        {"\x80 \x84" "a\x93", "€ „a“"},
        {"plain", "plain"},
        {"\x81", "\xC2\x81"},  // unassigned bytes keep their code point
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Utf8From1252(c.cp1252), c.utf8);
        EXPECT_EQ(Cp1252FromUtf8(c.utf8), c.cp1252);
        EXPECT_EQ(Utf8FromEither(c.cp1252), c.utf8);  // invalid UTF-8 is read as Windows-1252
        EXPECT_EQ(Utf8FromEither(c.utf8), c.utf8);
    }
    EXPECT_EQ(Cp1252FromUtf8("日本"), "??");
    EXPECT_FALSE(IsValidUtf8("\xC0\xAF"));  // an overlong slash
    EXPECT_FALSE(IsValidUtf8("\xED\xA0\x80"));  // a surrogate
}

TEST(Names, OneAlphabetForScreenshotsSessionsAndAccounts) {
    struct Case { std::string given; std::optional<std::string> kept; } cases[] = {
        {"team", "team"},
        {"  Mein Bild  ", "Mein_Bild"},
        {"Grüße-2_x", "Grüße-2_x"},
        {std::string(40, 'a'), std::string(40, 'a')},
        {std::string(41, 'a'), std::nullopt},
        {"", std::nullopt},
        {"   ", std::nullopt},
        {"../etc/passwd", std::nullopt},
        {"..", std::nullopt},
        {"a\\b", std::nullopt},
        {"a%2fb", std::nullopt},
        {std::string("a\0b", 3), std::nullopt},
        {"<script>", std::nullopt},
        {"x'; DROP TABLE screenshots;--", std::nullopt},
        {"bild.jpg", std::nullopt},
        {"~team", std::nullopt},
        {"\xFC", std::nullopt},  // a Windows-1252 byte that was not converted
    };
    for (const Case& c : cases) EXPECT_EQ(CleanName(c.given), c.kept) << c.given;
    EXPECT_EQ(CleanUserName("ab"), std::nullopt);
    EXPECT_EQ(CleanUserName("Öl-Fan"), "Öl-Fan");
    EXPECT_EQ(CleanUserName(std::string(33, 'u')), std::nullopt);
}

TEST(Names, DefaultNamesAreRandomFromTheUnambiguousAlphabet) {
    std::set<std::string> seen;
    for (int i = 0; i < 200; ++i) {
        std::string name = RandomScreenshotName();
        ASSERT_EQ(name.size(), 10u);  // 50 bits
        EXPECT_EQ(name.find_first_not_of("abcdefghijkmnpqrstuvwxyz23456789"), std::string::npos) << name;
        seen.insert(name);
    }
    EXPECT_EQ(seen.size(), 200u);
    const std::string variant = SessionNameVariant(std::string(20, 'a') + "ä" + std::string(19, 'b'));
    EXPECT_EQ(variant.substr(0, 30), std::string(20, 'a') + "ä" + std::string(8, 'b'));  // 29 characters kept
    EXPECT_EQ(CleanName(variant), variant);
    EXPECT_EQ(variant[30], '-');
}

TEST(Html, EscapesEverythingThatCouldEndAnElementOrAttribute) {
    EXPECT_EQ(EscapeHtml("<script>alert('x')</script> & \"q\""),
              "&lt;script&gt;alert(&#39;x&#39;)&lt;/script&gt; &amp; &quot;q&quot;");
    EXPECT_EQ(JsonString("a\"b\\c\n</script>"), "\"a\\\"b\\\\c\\u000a\\u003c/script\\u003e\"");
    EXPECT_EQ(UrlEncode("Grüße x"), "Gr%C3%BC%C3%9Fe%20x");
}

TEST(Options, ReadsTheDocumentedNamesAndRefusesBadValues) {
    ParsedOptions parsed = ParseOptions({"--listen", "0.0.0.0:8080", "--public-host", "shots.example:80", "--data",
                                         "/srv/snapora", "--max-upload", "1048576", "--session-idle", "60",
                                         "--latest-version", "4.3", "--timeout", "5", "--behind-proxy",
                                         "--tls-cert", "chain.pem", "--tls-key", "key.pem"});
    ASSERT_EQ(parsed.error, "");
    EXPECT_EQ(parsed.options.listenAddress, "0.0.0.0");
    EXPECT_EQ(parsed.options.listenPort, 8080);
    EXPECT_EQ(parsed.options.publicHost, "shots.example:80");
    EXPECT_EQ(parsed.options.dataDir, "/srv/snapora");
    EXPECT_EQ(parsed.options.maxUpload, 1048576u);
    EXPECT_EQ(parsed.options.sessionIdle, 60);
    EXPECT_EQ(parsed.options.latestVersion, "4.3");
    EXPECT_EQ(parsed.options.timeoutSeconds, 5u);
    EXPECT_TRUE(parsed.options.behindProxy);
    EXPECT_EQ(parsed.options.tlsCert, "chain.pem");
    EXPECT_EQ(parsed.options.tlsKey, "key.pem");

    for (const char* connection : {"postgresql://snapora@db.example.org:5433/snapora?sslmode=require",
                                   "host=/run/postgresql dbname=snapora"}) {
        ParsedOptions postgres = ParseOptions({"--database", connection});
        EXPECT_EQ(postgres.error, "") << connection;
        EXPECT_EQ(postgres.options.database, connection);
    }

    Options defaults = ParseOptions({}).options;
    EXPECT_EQ(defaults.database, "");
    EXPECT_EQ(defaults.listenPort, 18080);
    EXPECT_EQ(defaults.maxUpload, 5u * 1024 * 1024);
    EXPECT_EQ(defaults.latestVersion, "4.2");

    for (std::vector<std::string> bad : std::vector<std::vector<std::string>>{
             {"--listen", "nonsense"}, {"--listen", "1.2.3.4:70000"}, {"--max-upload", "-5"}, {"--max-upload"},
             {"--public-host", "http://x/"}, {"--latest-version", "4|2"}, {"--frobnicate", "1"},
             {"--tls-cert", "chain.pem"}, {"--tls-key", "key.pem"}, {"--database", "postgresql://x/db?nosuchoption=1"},
             {"--database", "host"}, {"--database", ""}})
        EXPECT_NE(ParseOptions(bad).error, "") << bad[0];

    Options limits = ParseOptions({"--max-per-address", "8", "--head-timeout", "5", "--min-rate", "0", "--max-streams",
                                   "10", "--stream-lifetime", "60", "--registration", "closed", "--quota-account", "1",
                                   "--quota-anonymous", "2", "--min-free", "3"})
                         .options;
    EXPECT_EQ(limits.maxPerAddress, 8u);
    EXPECT_EQ(limits.headTimeoutSeconds, 5u);
    EXPECT_EQ(limits.minBodyRate, 0u);
    EXPECT_EQ(limits.maxStreams, 10u);
    EXPECT_EQ(limits.streamLifetimeSeconds, 60u);
    EXPECT_FALSE(limits.registrationOpen);
    EXPECT_EQ(limits.quotaAccount + limits.quotaAnonymous + limits.minFree, 6u);
    EXPECT_EQ(defaults.maxPerAddress, 16u);
    EXPECT_TRUE(defaults.registrationOpen);
    for (std::vector<std::string> bad : std::vector<std::vector<std::string>>{
             {"--registration", "maybe"}, {"--max-per-address", "0"}, {"--head-timeout", "0"}, {"--min-free", "x"}})
        EXPECT_NE(ParseOptions(bad).error, "") << bad[0];

    for (const char* option : {"--listen", "--public-host", "--data", "--max-upload", "--session-idle",
                               "--latest-version", "--tls-cert", "--tls-key", "--database", "migrate", "--help", "--max-per-address",
                               "--head-timeout", "--min-rate", "--max-streams", "--stream-lifetime", "--registration",
                               "--quota-account", "--quota-anonymous", "--min-free", "account add", "screenshot delete"})
        EXPECT_NE(HelpText().find(option), std::string::npos) << option;
}

// The configuration file uses the options' names; the command line wins over it.
TEST(Options, ConfigurationFileAndTheOperatorsOptions) {
    testing::TempFolder folder;
    const std::string file = folder.Path() + "/snapora-server.conf";
    std::ofstream(file) << "# the packaged file\n\nlisten = 0.0.0.0:80\n  data=/var/lib/snapora  \n"
                           "behind-proxy = yes\nkeep-days = 30\nmetrics-listen = 127.0.0.1:9464\n";
    ParsedOptions parsed = ParseOptions({"--data", "/tmp/elsewhere", "--config", file});
    ASSERT_EQ(parsed.error, "");
    EXPECT_EQ(parsed.options.listenAddress, "0.0.0.0");
    EXPECT_EQ(parsed.options.listenPort, 80);
    EXPECT_EQ(parsed.options.dataDir, "/tmp/elsewhere");
    EXPECT_TRUE(parsed.options.behindProxy);
    EXPECT_EQ(parsed.options.keepDays, 30);
    EXPECT_EQ(parsed.options.metricsAddress, "127.0.0.1");
    EXPECT_EQ(parsed.options.metricsPort, 9464);
    EXPECT_EQ(ParseOptions({}).options.keepDays, 0);  // kept for ever
    EXPECT_EQ(ParseOptions({}).options.metricsAddress, "");  // no metrics

    struct Case { std::string line, error; } badLines[] = {
        {"listn = 1.2.3.4:80", "snapora-server.conf:1: unknown option --listn"},
        {"keep-days = -1", "snapora-server.conf:1: invalid value for --keep-days: -1"},
        {"keep-days", "snapora-server.conf:1: expected \"name = value\""},
        {"config = other.conf", "snapora-server.conf:1: not an option of the file: config"},
        {"--listen = 1.2.3.4:80", "snapora-server.conf:1: not an option of the file: --listen"},
        {"behind-proxy = perhaps", "snapora-server.conf:1: behind-proxy is yes or no"},
    };
    for (const Case& c : badLines) {
        std::ofstream(file) << c.line << "\n";
        std::string error = ParseOptions({"--config", file}).error;
        EXPECT_NE(error.find(c.error), std::string::npos) << error;
    }
    EXPECT_NE(ParseOptions({"--config", folder.Path() + "/missing.conf"}).error, "");

    // Metrics never where the public comes in.
    struct Listen { std::vector<std::string> arguments; bool accepted; } listens[] = {
        {{"--listen", "0.0.0.0:80", "--metrics-listen", "127.0.0.1:9464"}, true},
        {{"--listen", "127.0.0.1:8080", "--metrics-listen", "127.0.0.1:9464"}, true},
        {{"--listen", "0.0.0.0:80", "--metrics-listen", "10.0.0.5:9464"}, true},
        {{"--listen", "0.0.0.0:80", "--metrics-listen", "0.0.0.0:9464"}, false},
        {{"--listen", "192.0.2.5:80", "--metrics-listen", "192.0.2.5:9464"}, false},
        {{"--listen", "127.0.0.1:8080", "--metrics-listen", "127.0.0.1:8080"}, false},
        {{"--listen", "0.0.0.0:8080", "--metrics-listen", "127.0.0.1:8080"}, false},
    };
    for (const Listen& l : listens)
        EXPECT_EQ(ParseOptions(l.arguments).error.empty(), l.accepted) << l.arguments[1] << " " << l.arguments[3];
    for (const char* option : {"--config", "--keep-days", "--metrics-listen", "backup", "restore"})
        EXPECT_NE(HelpText().find(option), std::string::npos) << option;
}

}  // namespace snapora::server
