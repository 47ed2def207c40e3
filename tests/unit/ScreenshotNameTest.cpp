#include <gtest/gtest.h>

#include "app/ScreenshotName.h"

namespace snapora {

TEST(ScreenshotName, ProposalsFromWindowTitles) {
    struct Case {
        const char* title;
        const char* name;
    } cases[] = {
        {"Unbenannt - Editor", "editor"},
        {"Neues Dokument", "neues_dokument"},
        {"Rechnung (Kopie) [2].pdf", "rechnung_kopie_2_pdf"},  // 20 characters: kept whole
        {"Ein sehr langer Fenstertitel ohne Bindestrich", "ein_sehr"},
        {"abcdefghijklmnopqrstu", "abcdefghijklmnopqrstu_"},  // 21 characters, no blank: gains "_"
        {"Über Größe - ÄRGER", "ärger"},                       // umlauts are lowered
        {"Mail: a#b%c?d/e\\f", "mail_abcdef"},
        {"", ""},
        {"Datei - ", ""},
    };
    for (const Case& c : cases) EXPECT_EQ(MakeScreenshotName(c.title), c.name) << c.title;
}

TEST(ScreenshotName, LongFirstWordsKeepTheFullName) {
    // "abcdefghijkl_mnopqrstuvwx" would be 25 characters: too long to be the short form.
    EXPECT_EQ(MakeScreenshotName("Abcdefghijkl Mnopqrstuvwx Rest"), "abcdefghijkl_mnopqrstuvwx_rest");
    EXPECT_EQ(MakeScreenshotName("Abcdefghijkl Mnopqrstuvw Rest"), "abcdefghijkl_mnopqrstuvw");
}

TEST(ScreenshotName, OnlyTheLast255CharactersAfterTheDashCount) {
    // The cut comes before the trim, so the blank after the dash costs one letter.
    std::string title = "x - " + std::string(300, 'a');
    EXPECT_EQ(MakeScreenshotName(title), std::string(254, 'a'));
}

}  // namespace snapora
