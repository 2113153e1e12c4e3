// The registry settings store against the real registry (a private wine prefix in the tests).
#include "app/settings_store.h"
#include "app/win32/registry_access.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace {

constexpr const char* kVirtualStore =
    "Software\\Classes\\VirtualStore\\MACHINE\\SOFTWARE\\Dravik\\Trevane";

// Puts the key back as it was found once the test is done.
class RegistryStore : public ::testing::Test {
protected:
    void SetUp() override {
        saved_ = rawValue();
        deleteKey();
    }
    void TearDown() override {
        app::registry::setCreateKeyFunction(nullptr);
        deleteKey();
        if (saved_) storeRaw(REG_SZ, saved_->data(), saved_->size());
    }

    static void deleteKey() {
        RegDeleteKeyA(HKEY_LOCAL_MACHINE, app::kSettingsKey);
        RegDeleteKeyA(HKEY_CURRENT_USER, app::kSettingsKey);
        RegDeleteKeyA(HKEY_CURRENT_USER, kVirtualStore);
    }

    static void storeText(HKEY root, const char* path, const char* text) {
        HKEY key = nullptr;
        ASSERT_EQ(
            RegCreateKeyExA(root, path, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
            ERROR_SUCCESS);
        ASSERT_EQ(RegSetValueExA(key, "com", 0, REG_SZ, reinterpret_cast<const BYTE*>(text),
                                 static_cast<DWORD>(std::strlen(text) + 1)),
                  ERROR_SUCCESS);
        RegCloseKey(key);
    }

    static std::string textAt(HKEY root, const char* path) {
        char text[64] = {};
        DWORD size = sizeof text - 1;
        if (RegGetValueA(root, path, "com", RRF_RT_REG_SZ, nullptr, text, &size) != ERROR_SUCCESS)
            return "<none>";
        return text;
    }

    // What Windows answers a standard user who asks to write the machine-wide key.
    static LONG refuseMachineWide(HKEY root, const char* path, HKEY* key) {
        if (root == HKEY_LOCAL_MACHINE) return ERROR_ACCESS_DENIED;
        return RegCreateKeyExA(root, path, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, key, nullptr);
    }
    static LONG refuseEverything(HKEY, const char*, HKEY*) { return ERROR_ACCESS_DENIED; }

    static void storeRaw(DWORD type, const void* data, size_t size) {
        HKEY key = nullptr;
        ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, app::kSettingsKey, 0, nullptr, 0,
                                  KEY_ALL_ACCESS, nullptr, &key, nullptr),
                  ERROR_SUCCESS);
        ASSERT_EQ(RegSetValueExA(key, "com", 0, type, static_cast<const BYTE*>(data),
                                 static_cast<DWORD>(size)),
                  ERROR_SUCCESS);
        RegCloseKey(key);
    }

    // The stored bytes of "com" and their type; nullopt when there is no such value.
    static std::optional<std::vector<char>> rawValue(DWORD* typeOut = nullptr) {
        HKEY key = nullptr;
        if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, app::kSettingsKey, 0, KEY_QUERY_VALUE, &key) !=
            ERROR_SUCCESS)
            return std::nullopt;
        std::vector<char> data(256);
        DWORD size = static_cast<DWORD>(data.size());
        DWORD type = 0;
        const LONG result = RegQueryValueExA(key, "com", nullptr, &type,
                                             reinterpret_cast<BYTE*>(data.data()), &size);
        RegCloseKey(key);
        if (result != ERROR_SUCCESS) return std::nullopt;
        if (typeOut) *typeOut = type;
        data.resize(size);
        return data;
    }

    const std::unique_ptr<app::SettingsStore> store = app::makeSystemSettingsStore();

private:
    std::optional<std::vector<char>> saved_;
};

TEST_F(RegistryStore, WriteCreatesTheKeyAndStoresTextWithItsZero) {
    store->write("com", "12");
    DWORD type = 0;
    const auto raw = rawValue(&type);
    ASSERT_TRUE(raw.has_value());
    EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(*raw, (std::vector<char>{'1', '2', '\0'}));
    EXPECT_EQ(store->read("com"), "12");

    store->write("com", "-1"); // overwritten in place
    EXPECT_EQ(store->read("com"), "-1");
}

TEST_F(RegistryStore, MissingKeyOrValueReadsEmpty) {
    EXPECT_EQ(store->read("com"), "");
    store->write("other", "3");
    EXPECT_EQ(store->read("com"), "");
    EXPECT_EQ(store->read("other"), "3");
}

TEST_F(RegistryStore, StoredTextsReadAsWritten) {
    struct Case {
        DWORD type;
        std::string bytes;
        std::string expected;
    };
    const Case cases[] = {
        {REG_SZ, std::string("4\0", 2), "4"},
        {REG_SZ, "7ab", "7ab"},                     // stored without its zero
        {REG_SZ, std::string("5\0junk\0", 7), "5"}, // up to the first zero
        {REG_SZ, std::string("", 0), ""},           // empty value
        {REG_EXPAND_SZ, std::string("%SystemRoot%\\3\0", 15), "%SystemRoot%\\3"}, // unexpanded
    };
    for (const Case& c : cases) {
        storeRaw(c.type, c.bytes.data(), c.bytes.size());
        EXPECT_EQ(store->read("com"), c.expected) << c.bytes;
    }
}

TEST_F(RegistryStore, ValueThatIsNotTextIsAFailureNamingIt) {
    const DWORD four = 4;
    storeRaw(REG_DWORD, &four, sizeof four);
    try {
        store->read("com");
        FAIL() << "a REG_DWORD was read as text";
    } catch (const app::Failure& failure) {
        EXPECT_STREQ(failure.what(), "Invalid data type for 'com'");
    }
    const char binary[] = {'1', '\0'};
    storeRaw(REG_BINARY, binary, sizeof binary);
    EXPECT_THROW(store->read("com"), app::Failure);
}

TEST_F(RegistryStore, UsersKeyThenItsVirtualStoreThenTheMachineWideKey) {
    storeText(HKEY_LOCAL_MACHINE, app::kSettingsKey, "1");
    EXPECT_EQ(store->read("com"), "1");
    // What a 32-bit predecessor's refused writes left behind wins over the machine-wide value.
    storeText(HKEY_CURRENT_USER, kVirtualStore, "2");
    EXPECT_EQ(store->read("com"), "2");
    storeText(HKEY_CURRENT_USER, app::kSettingsKey, "3");
    EXPECT_EQ(store->read("com"), "3");
}

TEST_F(RegistryStore, RefusedMachineWideWriteIsKeptForTheUser) {
    storeText(HKEY_LOCAL_MACHINE, app::kSettingsKey, "1");
    app::registry::setCreateKeyFunction(&refuseMachineWide);
    EXPECT_NO_THROW(store->write("com", "6"));
    EXPECT_EQ(store->read("com"), "6");
    EXPECT_EQ(textAt(HKEY_LOCAL_MACHINE, app::kSettingsKey), "1");
    EXPECT_EQ(textAt(HKEY_CURRENT_USER, app::kSettingsKey), "6");
}

TEST_F(RegistryStore, MachineWideWriteAlsoRenewsACopyThatWouldHideIt) {
    storeText(HKEY_CURRENT_USER, kVirtualStore, "2");
    store->write("com", "8");
    EXPECT_EQ(textAt(HKEY_LOCAL_MACHINE, app::kSettingsKey), "8");
    EXPECT_EQ(store->read("com"), "8");
    // Without such a copy the user's key stays untouched.
    deleteKey();
    store->write("com", "9");
    EXPECT_EQ(textAt(HKEY_CURRENT_USER, app::kSettingsKey), "<none>");
}

TEST_F(RegistryStore, WriteRefusedEverywhereIsAFailure) {
    app::registry::setCreateKeyFunction(&refuseEverything);
    try {
        store->write("com", "6");
        FAIL() << "no failure";
    } catch (const app::Failure& failure) {
        EXPECT_STREQ(failure.what(), "Failed to set data for 'com'");
    }
}

} // namespace
