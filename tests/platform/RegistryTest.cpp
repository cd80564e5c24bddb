#include "platform/Registry.h"

#include <gtest/gtest.h>

#ifndef _WIN32
TEST(SystemRegistry, HasNoKeysOffWindowsSoEveryLookupIsAbsent) {
    const TRegistry& registry = SystemRegistry();
    EXPECT_FALSE(registry.ReadString(TRegistryRoot::LocalMachine,
                                     "Software\\Microsoft\\Windows\\CurrentVersion",
                                     "ProgramFilesDir"));
    EXPECT_FALSE(registry.ReadString(TRegistryRoot::CurrentUser, "Software", "Anything"));
    EXPECT_EQ(&SystemRegistry(), &registry);
}
#else
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <sddl.h>

#include <optional>
#include <string>
#include <vector>

namespace {

// A key of the test's own under HKEY_CURRENT_USER, removed with its values afterwards.
class TTestKey {
public:
    TTestKey() : Path(L"Software\\Calvenor test " + std::to_wstring(GetCurrentProcessId())) {
        EXPECT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, Path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                                  nullptr, &Key, nullptr),
                  ERROR_SUCCESS);
    }
    ~TTestKey() {
        RegCloseKey(Key);
        SetSubKeyAccess(L"ReadOnly", L"D:P(A;;KA;;;WD)"); // the owner may always change access
        RegDeleteTreeW(HKEY_CURRENT_USER, Path.c_str());
    }
    // Gives the subkey access rights in the security descriptor language, e.g. read only for
    // everyone: "D:P(A;;KR;;;WD)".
    void SetSubKeyAccess(const wchar_t* subKey, const wchar_t* rights) const {
        HKEY key = nullptr;
        if (RegOpenKeyExW(Key, subKey, 0, WRITE_DAC, &key) != ERROR_SUCCESS)
            return;
        PSECURITY_DESCRIPTOR descriptor = nullptr;
        EXPECT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorW(rights, SDDL_REVISION_1,
                                                                         &descriptor, nullptr));
        EXPECT_EQ(RegSetKeySecurity(key, DACL_SECURITY_INFORMATION, descriptor), ERROR_SUCCESS);
        LocalFree(descriptor);
        RegCloseKey(key);
    }
    void Set(const wchar_t* name, DWORD type, const void* data, size_t bytes) const {
        EXPECT_EQ(RegSetValueExW(Key, name, 0, type, static_cast<const BYTE*>(data),
                                 static_cast<DWORD>(bytes)),
                  ERROR_SUCCESS);
    }
    void SetText(const wchar_t* name, DWORD type, const std::wstring& text) const {
        Set(name, type, text.c_str(), (text.size() + 1) * sizeof(wchar_t));
    }
    std::string KeyName() const {
        return "Software\\Calvenor test " + std::to_string(GetCurrentProcessId());
    }
    std::wstring Path;
    HKEY Key = nullptr;
};

} // namespace

TEST(SystemRegistry, ReadsStringValuesOfTheWindowsRegistry) {
    const TTestKey key;
    const std::wstring longText(10000, L'x');
    const DWORD number = 42;
    const wchar_t multi[] = L"a\0b\0";
    SetEnvironmentVariableW(L"CALVENOR_TEST_FOLDER", L"C:\\Test");
    key.SetText(L"Plain", REG_SZ, L"C:\\Program Files");
    key.SetText(L"Empty", REG_SZ, L"");
    key.Set(L"Unterminated", REG_SZ, L"abc", 3 * sizeof(wchar_t));
    key.Set(L"OddLength", REG_SZ, "a\0b", 3);
    key.Set(L"Embedded", REG_SZ, L"ab\0cd", 6 * sizeof(wchar_t));
    key.SetText(L"Unicode", REG_SZ, L"Gr\u00fc\u00dfe \u0394 \U0001F525");
    key.SetText(L"Long", REG_SZ, longText);
    key.SetText(L"Expand", REG_EXPAND_SZ, L"%CALVENOR_TEST_FOLDER%\\Velmora");
    key.Set(L"Number", REG_DWORD, &number, sizeof number);
    key.Set(L"Multi", REG_MULTI_SZ, multi, sizeof multi);
    key.Set(L"Binary", REG_BINARY, "abc", 3);
    key.SetText(L"Gr\u00f6\u00dfe", REG_SZ, L"by a UTF-8 name");

    const std::vector<std::pair<std::string, std::optional<std::string>>> cases = {
        {"Plain", "C:\\Program Files"},
        {"plain", "C:\\Program Files"}, // value names ignore letter case
        {"Empty", ""},
        {"Unterminated", "abc"},
        {"OddLength", "a"},
        {"Embedded", "ab"},
        {"Unicode", "Gr\u00fc\u00dfe \u0394 \U0001F525"},
        {"Long", std::string(10000, 'x')},
        {"Expand", "C:\\Test\\Velmora"},
        {"Number", std::nullopt},
        {"Multi", std::nullopt},
        {"Binary", std::nullopt},
        {"Gr\u00f6\u00dfe", "by a UTF-8 name"},
        {"Missing", std::nullopt},
    };
    for (const auto& [name, expected] : cases)
        EXPECT_EQ(SystemRegistry().ReadString(TRegistryRoot::CurrentUser, key.KeyName(), name),
                  expected)
            << name;
    EXPECT_FALSE(SystemRegistry().ReadString(TRegistryRoot::CurrentUser,
                                             key.KeyName() + "\\Missing", "Plain"));
    EXPECT_FALSE(SystemRegistry().ReadString(TRegistryRoot::LocalMachine, key.KeyName(), "Plain"));
}

TEST(SystemRegistry, AKeyThatMayOnlyBeReadIsRead) {
    const TTestKey key;
    HKEY readOnly = nullptr;
    ASSERT_EQ(RegCreateKeyExW(key.Key, L"ReadOnly", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                              &readOnly, nullptr),
              ERROR_SUCCESS);
    EXPECT_EQ(RegSetValueExW(readOnly, L"Folder", 0, REG_SZ,
                             reinterpret_cast<const BYTE*>(L"D:\\Apps"), 8 * sizeof(wchar_t)),
              ERROR_SUCCESS);
    RegCloseKey(readOnly);
    key.SetSubKeyAccess(L"ReadOnly", L"D:P(A;;KR;;;WD)");
    HKEY full = nullptr;
    ASSERT_EQ(RegOpenKeyExW(key.Key, L"ReadOnly", 0, KEY_ALL_ACCESS, &full), ERROR_ACCESS_DENIED)
        << "the key grants more than reading, so this test proves nothing";
    EXPECT_EQ(SystemRegistry().ReadString(TRegistryRoot::CurrentUser, key.KeyName() + "\\ReadOnly",
                                          "Folder"),
              "D:\\Apps");
}

TEST(SystemRegistry, ReadsTheProgramFilesFolderWithReadAccessOnly) {
    const auto value = SystemRegistry().ReadString(TRegistryRoot::LocalMachine,
                                                   "Software\\Microsoft\\Windows\\CurrentVersion",
                                                   "ProgramFilesDir");
    ASSERT_TRUE(value);
    EXPECT_FALSE(value->empty());
    EXPECT_FALSE(SystemRegistry().ReadString(TRegistryRoot::LocalMachine,
                                             "Software\\Microsoft\\Windows\\CurrentVersion",
                                             "NoSuchValueForCalvenor"));
}
#endif
