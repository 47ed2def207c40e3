// The service address: the build's, or the registry's ServiceURL.

#include <gtest/gtest.h>

#include "ProgramFixture.h"
#include "app/Endpoints.h"
#include "settings/SettingsDialogForm.h"
#include "settings/SettingsStore.h"

namespace snapora {

TEST(Endpoints, ParsesServiceAddresses) {
    struct Case {
        const char* text;
        const char* scheme;  // nullptr: refused
        const char* host;
    } cases[] = {
        {"https://shots.example.org", "https", "shots.example.org"},
        {"https://shots.example.org/", "https", "shots.example.org"},
        {"HTTPS://shots.example.org:8443", "https", "shots.example.org:8443"},
        {"http://127.0.0.1:18080", "http", "127.0.0.1:18080"},
        {"snapora.example", "http", "snapora.example"},
        {"", nullptr, ""},
        {"https://", nullptr, ""},
        {"ftp://shots.example.org", nullptr, ""},
        {"https://shots.example.org/upload", nullptr, ""},
        {"https://shots.example.org:0", nullptr, ""},
        {"https://shots.example.org:70000", nullptr, ""},
        {"https://user@shots.example.org", nullptr, ""},
        {"https://shots example.org", nullptr, ""},
    };
    for (const Case& c : cases) {
        auto parsed = ParseWebHost(c.text);
        EXPECT_EQ(parsed.has_value(), c.scheme != nullptr) << c.text;
        if (!parsed || !c.scheme) continue;
        EXPECT_EQ(parsed->scheme, c.scheme) << c.text;
        EXPECT_EQ(parsed->host, c.host) << c.text;
    }
}

TEST(Endpoints, ServiceUrlOverridesTheBuildAndIsOnlyRead) {
    FakeRegistry registry;
    Endpoints build = Endpoints::ForThisUser(registry);
    EXPECT_EQ(build.ServiceAddress(), "http://" SNAPORA_SERVICE_HOST);
    EXPECT_EQ(build.WebsiteAddress(), "http://" SNAPORA_WEBSITE_HOST);
    EXPECT_FALSE(registry.KeyExists(SettingsKey));  // reading created nothing

    registry.WriteString(SettingsKey, "ServiceURL", "https://shots.example.org:8443/");
    Endpoints own = Endpoints::ForThisUser(registry);
    EXPECT_EQ(own.ServiceAddress(), "https://shots.example.org:8443");
    EXPECT_EQ(own.WebsiteAddress(), "https://shots.example.org:8443");
    EXPECT_EQ(own.DomainSuffix(), "shots.example.org:8443");

    registry.WriteString(SettingsKey, "ServiceURL", "gopher://x");  // not an address: the build's
    EXPECT_EQ(Endpoints::ForThisUser(registry).ServiceAddress(), "http://" SNAPORA_SERVICE_HOST);
}

// The program on an HTTPS service: its pages, its session address and the
// rename reply carry the scheme; saving the settings leaves ServiceURL alone.
TEST_F(UnstartedProgramTest, HttpsServiceThroughoutTheProgram) {
    fake.registry.WriteString(SettingsKey, "ServiceURL", "https://shots.example.org");
    program = std::make_unique<Program>(backend, fake.platform, http, Endpoints::ForThisUser(fake.registry));
    ASSERT_TRUE(program->Start());
    EXPECT_EQ(Main().Label5.Caption(), "https://shots.example.org");
    Main().DonateButton.Click();
    ASSERT_EQ(fake.shell.opened.size(), 1u);
    EXPECT_EQ(fake.shell.opened[0].address, "https://shots.example.org/spenden.htm");

    Main().PopupExitClick();
    EXPECT_EQ(fake.registry.ReadString(SettingsKey, "ServiceURL"), "https://shots.example.org");
}

}  // namespace snapora
