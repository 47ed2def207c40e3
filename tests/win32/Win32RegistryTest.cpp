// Registry values through the real API, under a key of the test's own.

#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

#include "UniqueName.h"
#include "platform/win32/Text.h"
#include "platform/win32/Win32Registry.h"

namespace snapora {
namespace {

// A key below HKEY_CURRENT_USER\Software\SnaporaTest, removed afterwards
// without going through the class under test.
class RegistryTest : public ::testing::Test {
protected:
    RegistryTest() : key(R"(Software\SnaporaTest\)" + snapora::testing::UniqueName("run-")) {}
    ~RegistryTest() override {
        RegDeleteTreeW(HKEY_CURRENT_USER, Widen(key).c_str());
        // The parent goes too once no other run uses it.
        RegDeleteKeyW(HKEY_CURRENT_USER, L"Software\\SnaporaTest");
    }

    bool RawExists(const std::string& path) {
        HKEY opened = nullptr;
        if (RegOpenKeyExW(HKEY_CURRENT_USER, Widen(path).c_str(), 0, KEY_READ, &opened) != ERROR_SUCCESS)
            return false;
        RegCloseKey(opened);
        return true;
    }

    void RawWrite(const std::string& path, const wchar_t* name, DWORD type, const void* data, DWORD size) {
        HKEY opened = nullptr;
        ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, Widen(path).c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &opened,
                                  nullptr),
                  ERROR_SUCCESS);
        EXPECT_EQ(RegSetValueExW(opened, name, 0, type, static_cast<const BYTE*>(data), size), ERROR_SUCCESS);
        RegCloseKey(opened);
    }

    bool RawValueExists(const std::string& path, const wchar_t* name) {
        HKEY opened = nullptr;
        if (RegOpenKeyExW(HKEY_CURRENT_USER, Widen(path).c_str(), 0, KEY_READ, &opened) != ERROR_SUCCESS)
            return false;
        const bool found = RegQueryValueExW(opened, name, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
        RegCloseKey(opened);
        return found;
    }

    Win32Registry registry;
    std::string key;
};

TEST_F(RegistryTest, WriteCreatesTheKeyAndReadGivesTheTextBack) {
    EXPECT_FALSE(registry.KeyExists(key));
    ASSERT_TRUE(registry.WriteString(key, "Größe", "Maße: 100 × 200 €"));
    EXPECT_TRUE(registry.KeyExists(key));
    EXPECT_EQ(registry.ReadString(key, "Größe"), "Maße: 100 × 200 €");
}

TEST_F(RegistryTest, TextsAreStoredAsUtf16StringValues) {
    ASSERT_TRUE(registry.WriteString(key, "Pfad", "C:\\Bilder\\Übersicht"));
    HKEY opened = nullptr;
    ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, Widen(key).c_str(), 0, KEY_READ, &opened), ERROR_SUCCESS);
    wchar_t text[64] = {};
    DWORD type = 0, size = sizeof text;
    EXPECT_EQ(RegQueryValueExW(opened, L"Pfad", nullptr, &type, reinterpret_cast<BYTE*>(text), &size),
              ERROR_SUCCESS);
    RegCloseKey(opened);
    EXPECT_EQ(type, DWORD(REG_SZ));
    EXPECT_EQ(std::wstring(text), L"C:\\Bilder\\\u00DCbersicht");
    EXPECT_EQ(size, sizeof(L"C:\\Bilder\\\u00DCbersicht"));  // with its terminating zero
}

TEST_F(RegistryTest, ALeadingBackslashNamesTheSameKey) {
    ASSERT_TRUE(registry.WriteString("\\" + key, "Wert", "eins"));
    EXPECT_EQ(registry.ReadString(key, "Wert"), "eins");
    EXPECT_TRUE(registry.KeyExists("\\" + key));
}

TEST_F(RegistryTest, ReadingAMissingKeyGivesNothingAndDoesNotCreateIt) {
    EXPECT_EQ(registry.ReadString(key, "Wert"), std::nullopt);
    EXPECT_FALSE(RawExists(key));
    EXPECT_FALSE(registry.KeyExists(key));
}

TEST_F(RegistryTest, ReadingAMissingValueGivesNothing) {
    ASSERT_TRUE(registry.WriteString(key, "Wert", "eins"));
    EXPECT_EQ(registry.ReadString(key, "Anderer"), std::nullopt);
}

TEST_F(RegistryTest, AnEmptyStringIsAValue) {
    ASSERT_TRUE(registry.WriteString(key, "Leer", ""));
    EXPECT_EQ(registry.ReadString(key, "Leer"), "");
}

TEST_F(RegistryTest, ValuesOfOtherTypesReadAsNothing) {
    const DWORD number = 42;
    RawWrite(key, L"Zahl", REG_DWORD, &number, sizeof number);
    const BYTE odd[] = {'a', 0, 'b'};
    RawWrite(key, L"Binär", REG_BINARY, odd, sizeof odd);
    const wchar_t several[] = L"eins\0zwei\0";
    RawWrite(key, L"Mehrere", REG_MULTI_SZ, several, sizeof several);
    EXPECT_EQ(registry.ReadString(key, "Zahl"), std::nullopt);
    EXPECT_EQ(registry.ReadString(key, "Binär"), std::nullopt);
    EXPECT_EQ(registry.ReadString(key, "Mehrere"), std::nullopt);
}

TEST_F(RegistryTest, ExpandableStringsReadAsTheirUnexpandedText) {
    const wchar_t text[] = L"%TEMP%\\Snapora";
    RawWrite(key, L"Ordner", REG_EXPAND_SZ, text, sizeof text);
    EXPECT_EQ(registry.ReadString(key, "Ordner"), "%TEMP%\\Snapora");
}

TEST_F(RegistryTest, StringsWithoutTerminatingZeroOrOfOddSizeReadTheirWholeCharacters) {
    const wchar_t text[] = L"abc";
    RawWrite(key, L"Ohne", REG_SZ, text, 3 * sizeof(wchar_t));
    RawWrite(key, L"Ungerade", REG_SZ, text, 3 * sizeof(wchar_t) + 1);
    RawWrite(key, L"Ein Byte", REG_SZ, text, 1);
    RawWrite(key, L"Null Bytes", REG_SZ, text, 0);
    EXPECT_EQ(registry.ReadString(key, "Ohne"), "abc");
    EXPECT_EQ(registry.ReadString(key, "Ungerade"), "abc");
    EXPECT_EQ(registry.ReadString(key, "Ein Byte"), "");
    EXPECT_EQ(registry.ReadString(key, "Null Bytes"), "");
}

TEST_F(RegistryTest, TextStopsAtTheFirstZero) {
    const wchar_t text[] = L"vorne\0hinten";
    RawWrite(key, L"Wert", REG_SZ, text, sizeof text);
    EXPECT_EQ(registry.ReadString(key, "Wert"), "vorne");
}

TEST_F(RegistryTest, LongValuesReadCompletely) {
    const std::string text(20000, 'x');
    ASSERT_TRUE(registry.WriteString(key, "Lang", text));
    EXPECT_EQ(registry.ReadString(key, "Lang"), text);
}

TEST_F(RegistryTest, DeleteValueRemovesOnlyThatValue) {
    ASSERT_TRUE(registry.WriteString(key, "Weg", "1"));
    ASSERT_TRUE(registry.WriteString(key, "Bleibt", "2"));
    registry.DeleteValue(key, "Weg");
    EXPECT_EQ(registry.ReadString(key, "Weg"), std::nullopt);
    EXPECT_FALSE(RawValueExists(key, L"Weg"));
    EXPECT_EQ(registry.ReadString(key, "Bleibt"), "2");
}

TEST_F(RegistryTest, DeleteValueCreatesAMissingKey) {
    registry.DeleteValue(key, "Wert");
    EXPECT_TRUE(registry.KeyExists(key));
}

TEST_F(RegistryTest, DeleteKeyRemovesTheKeyWithItsValuesAndSubkeys) {
    ASSERT_TRUE(registry.WriteString(key, "Wert", "1"));
    ASSERT_TRUE(registry.WriteString(key + "\\Unter\\Tiefer", "Wert", "2"));
    const DWORD number = 7;
    RawWrite(key + "\\Unter", L"Zahl", REG_DWORD, &number, sizeof number);
    registry.DeleteKey(key);
    EXPECT_FALSE(registry.KeyExists(key));
    EXPECT_FALSE(RawExists(key + "\\Unter\\Tiefer"));
    EXPECT_EQ(registry.ReadString(key, "Wert"), std::nullopt);
}

TEST_F(RegistryTest, DeleteKeyLeavesItsParentAndSiblings) {
    ASSERT_TRUE(registry.WriteString(key + "\\Weg", "Wert", "1"));
    ASSERT_TRUE(registry.WriteString(key + "\\Bleibt", "Wert", "2"));
    registry.DeleteKey("\\" + key + "\\Weg");
    EXPECT_FALSE(registry.KeyExists(key + "\\Weg"));
    EXPECT_EQ(registry.ReadString(key + "\\Bleibt", "Wert"), "2");
}

TEST_F(RegistryTest, DeletingAMissingKeyDoesNothing) {
    registry.DeleteKey(key);
    EXPECT_FALSE(registry.KeyExists(key));
}

TEST_F(RegistryTest, DeleteKeyRefusesTheUsersWholeBranch) {
    registry.DeleteKey("");
    registry.DeleteKey("\\");
    EXPECT_TRUE(registry.KeyExists("Software"));
}

TEST_F(RegistryTest, WriteReportsAKeyThatCannotBeCreated) {
    // Key names are limited to 255 characters.
    EXPECT_FALSE(registry.WriteString(key + "\\" + std::string(300, 'k'), "Wert", "1"));
}

}  // namespace
}  // namespace snapora
