// The settings store on the registry: each test works in a key of its own under
// HKEY_CURRENT_USER\Software\Sorvanto Tests, removed when it ends.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "platform/SettingsStore.h"
#include "platform/windows/Win32.h"
#include "support/ScratchSettings.h"

namespace svt::platform {
namespace {

struct Raw {
    DWORD type = 0;
    std::vector<BYTE> data;
};

std::optional<Raw> rawValue(const std::string& key, const std::string& name) {
    HKEY k = nullptr;
    if (::RegOpenKeyExW(HKEY_CURRENT_USER, win::widen(key).c_str(), 0, KEY_READ, &k) !=
        ERROR_SUCCESS)
        return std::nullopt;
    Raw raw;
    DWORD bytes = 4096;
    raw.data.resize(bytes);
    const LSTATUS status = ::RegQueryValueExW(k, win::widen(name).c_str(), nullptr, &raw.type,
                                              raw.data.data(), &bytes);
    ::RegCloseKey(k);
    if (status != ERROR_SUCCESS) return std::nullopt;
    raw.data.resize(bytes);
    return raw;
}

void setRaw(const std::string& key, const std::string& name, DWORD type,
            const std::vector<BYTE>& data) {
    HKEY k = nullptr;
    ASSERT_EQ(::RegCreateKeyExW(HKEY_CURRENT_USER, win::widen(key).c_str(), 0, nullptr, 0,
                                KEY_WRITE, nullptr, &k, nullptr),
              ERROR_SUCCESS);
    ASSERT_EQ(::RegSetValueExW(k, win::widen(name).c_str(), 0, type, data.data(),
                               static_cast<DWORD>(data.size())),
              ERROR_SUCCESS);
    ::RegCloseKey(k);
}

std::vector<BYTE> wideBytes(const std::wstring& text, bool withZero) {
    const size_t bytes = (text.size() + (withZero ? 1 : 0)) * sizeof(wchar_t);
    std::vector<BYTE> out(bytes);
    std::memcpy(out.data(), text.c_str(), bytes);
    return out;
}

TEST(RegistryStore, ValuesComeBackWithTheirKinds) {
    test::ScratchSettings scratch;
    const SettingsStore store = scratch.store();
    EXPECT_EQ(store.readString("INSTPATH"), std::nullopt) << "no key yet";
    EXPECT_TRUE(store.readAll().empty());

    ASSERT_TRUE(store
                    .writeValues({{"UIMainX", -1},
                                  {"UIListWidth", 400},
                                  {"UIListFontName", std::string("Verdana")},
                                  {"INSTPATH", std::string("C:\\Programme\\Gogo\\gogo.dll")},
                                  {"Titel", std::string("Grüße, 夜の歌")}})
                    .ok());
    EXPECT_EQ(store.readString("UIMainX"), "-1");
    EXPECT_EQ(store.readString("UIListWidth"), "400");
    EXPECT_EQ(store.readString("INSTPATH"), "C:\\Programme\\Gogo\\gogo.dll");
    EXPECT_EQ(store.readString("Titel"), "Grüße, 夜の歌");
    EXPECT_EQ(store.readAll().size(), 5u);

    // Numbers are DWORDs; texts are REG_SZ with their terminating zero.
    const auto width = rawValue(scratch.location(), "UIListWidth");
    ASSERT_TRUE(width.has_value());
    EXPECT_EQ(width->type, static_cast<DWORD>(REG_DWORD));
    EXPECT_EQ(width->data, (std::vector<BYTE>{0x90, 0x01, 0, 0}));
    const auto minus = rawValue(scratch.location(), "UIMainX");
    ASSERT_TRUE(minus.has_value());
    EXPECT_EQ(minus->data, (std::vector<BYTE>{0xFF, 0xFF, 0xFF, 0xFF}));
    const auto font = rawValue(scratch.location(), "UIListFontName");
    ASSERT_TRUE(font.has_value());
    EXPECT_EQ(font->type, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(font->data, wideBytes(L"Verdana", true));

    // Writing one value keeps the others.
    ASSERT_TRUE(store.writeString("UIListFontName", "Tahoma").ok());
    EXPECT_EQ(store.readString("UIListWidth"), "400");
    EXPECT_EQ(store.readString("UIListFontName"), "Tahoma");

    ASSERT_TRUE(store.removeAll().ok());
    EXPECT_TRUE(store.readAll().empty());
    EXPECT_TRUE(store.removeAll().ok()) << "removing what is gone is no failure";
}

TEST(RegistryStore, DamagedValuesReadAsMissing) {
    test::ScratchSettings scratch;
    const std::string key = scratch.location();
    struct Case {
        const char* what;
        DWORD type;
        std::vector<BYTE> data;
        std::optional<std::string> reads;
    };
    const Case cases[] = {
        {"a DWORD of two bytes", REG_DWORD, {1, 0}, std::nullopt},
        {"binary data", REG_BINARY, {1, 2, 3, 4}, std::nullopt},
        {"a text of an odd number of bytes", REG_SZ, {'a', 0, 'b'}, std::nullopt},
        {"a list of texts", REG_MULTI_SZ, wideBytes(std::wstring(L"a\0b\0", 4), true),
         std::nullopt},
        {"a 64-bit number", REG_QWORD, {1, 0, 0, 0, 0, 0, 0, 0}, std::nullopt},
        {"a text without its terminating zero", REG_SZ, wideBytes(L"gogo.dll", false), "gogo.dll"},
        {"a text with zeros after its end", REG_SZ, wideBytes(std::wstring(L"ab\0\0", 4), false),
         "ab"},
        {"an empty text", REG_SZ, {}, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        setRaw(key, "Value", c.type, c.data);
        EXPECT_EQ(scratch.store().readString("Value"), c.reads);
        EXPECT_EQ(scratch.store().readAll().count("Value"), c.reads ? 1u : 0u);
    }
}

TEST(RegistryStore, KeysAreUnderTheCurrentUsersSoftware) {
    EXPECT_EQ(SettingsStore::forApplication("MarineCat", "GOGO_DLL").path(),
              "Software\\MarineCat\\GOGO_DLL");
    // A key that cannot be made is an error naming it.
    const SettingsStore bad("Software\\Sorvanto Tests\\" + std::string(300, 'k'));
    const Status written = bad.writeString("A", "b");
    ASSERT_FALSE(written.ok());
    EXPECT_NE(written.error().message.find("HKEY_CURRENT_USER\\Software\\Sorvanto Tests"),
              std::string::npos)
        << written.error().message;
}

}  // namespace
}  // namespace svt::platform
