// The settings store on the registry, under HKEY_CURRENT_USER.

#include <cstring>
#include <vector>

#include "platform/Paths.h"
#include "platform/SettingsStore.h"
#include "platform/windows/Win32.h"

namespace svt::platform {
namespace {

// Values longer than this are not settings written by us.
constexpr DWORD kMaxValueBytes = 64 * 1024;

class Key {
  public:
    Key() = default;
    Key(const Key&) = delete;
    Key& operator=(const Key&) = delete;
    ~Key() {
        if (key_ != nullptr) ::RegCloseKey(key_);
    }
    LSTATUS open(const std::string& path) {
        return ::RegOpenKeyExW(HKEY_CURRENT_USER, win::widen(path).c_str(), 0, KEY_READ, &key_);
    }
    LSTATUS create(const std::string& path) {
        return ::RegCreateKeyExW(HKEY_CURRENT_USER, win::widen(path).c_str(), 0, nullptr,
                                 REG_OPTION_NON_VOLATILE, KEY_READ | KEY_WRITE, nullptr, &key_,
                                 nullptr);
    }
    HKEY get() const { return key_; }

  private:
    HKEY key_ = nullptr;
};

std::string describe(const std::string& path, LSTATUS status) {
    wchar_t text[256] = {};
    ::FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                     static_cast<DWORD>(status), 0, text, 255, nullptr);
    std::string why = win::narrow(text);
    while (!why.empty() && (why.back() == '\n' || why.back() == '\r' || why.back() == ' '))
        why.pop_back();
    return "HKEY_CURRENT_USER\\" + path + ": " + (why.empty() ? "registry error" : why);
}

// A value as text: REG_SZ as it stands (with or without its terminating zero), REG_DWORD as
// a signed decimal number. Anything else, or a value of the wrong size, is not ours.
std::optional<std::string> decode(DWORD type, const std::vector<BYTE>& data) {
    if (type == REG_SZ || type == REG_EXPAND_SZ) {
        if (data.size() % sizeof(wchar_t) != 0) return std::nullopt;
        std::wstring text(data.size() / sizeof(wchar_t), L'\0');
        std::memcpy(text.data(), data.data(), data.size());
        if (const size_t end = text.find(L'\0'); end != std::wstring::npos) text.resize(end);
        return win::narrow(text);
    }
    if (type == REG_DWORD && data.size() == sizeof(DWORD)) {
        int32_t number = 0;
        std::memcpy(&number, data.data(), sizeof number);
        return std::to_string(number);
    }
    return std::nullopt;
}

std::optional<std::string> readValue(HKEY key, const std::wstring& name) {
    DWORD type = 0, bytes = 0;
    if (::RegQueryValueExW(key, name.c_str(), nullptr, &type, nullptr, &bytes) != ERROR_SUCCESS ||
        bytes > kMaxValueBytes)
        return std::nullopt;
    std::vector<BYTE> data(bytes);
    if (::RegQueryValueExW(key, name.c_str(), nullptr, &type, data.data(), &bytes) != ERROR_SUCCESS)
        return std::nullopt;
    data.resize(bytes);
    return decode(type, data);
}

}  // namespace

SettingsStore SettingsStore::forApplication(const std::string& organization,
                                            const std::string& application) {
    return SettingsStore("Software\\" + organization + "\\" + application);
}

std::optional<std::string> SettingsStore::readString(const std::string& key) const {
    Key k;
    if (k.open(path_) != ERROR_SUCCESS) return std::nullopt;
    return readValue(k.get(), win::widen(key));
}

std::map<std::string, std::string> SettingsStore::readAll() const {
    std::map<std::string, std::string> out;
    Key k;
    if (k.open(path_) != ERROR_SUCCESS) return out;
    for (DWORD index = 0;; ++index) {
        wchar_t name[16384];
        DWORD nameChars = 16384;
        const LSTATUS status =
            ::RegEnumValueW(k.get(), index, name, &nameChars, nullptr, nullptr, nullptr, nullptr);
        if (status == ERROR_NO_MORE_ITEMS) break;
        if (status != ERROR_SUCCESS) continue;
        const std::wstring valueName(name, nameChars);
        if (std::optional<std::string> text = readValue(k.get(), valueName))
            out[win::narrow(valueName)] = std::move(*text);
    }
    return out;
}

Status SettingsStore::writeString(const std::string& key, const std::string& value) const {
    return writeValues({{key, value}});
}

Status SettingsStore::writeStrings(
    const std::vector<std::pair<std::string, std::string>>& values) const {
    std::vector<SettingsValue> typed;
    for (const auto& [name, text] : values) typed.push_back({name, text});
    return writeValues(typed);
}

Status SettingsStore::writeValues(const std::vector<SettingsValue>& values) const {
    Key k;
    if (const LSTATUS status = k.create(path_); status != ERROR_SUCCESS)
        return makeError(describe(path_, status));
    for (const SettingsValue& v : values) {
        const std::wstring name = win::widen(v.name);
        LSTATUS status;
        if (std::holds_alternative<std::monostate>(v.value)) {
            status = ::RegDeleteValueW(k.get(), name.c_str());
            if (status == ERROR_FILE_NOT_FOUND) status = ERROR_SUCCESS;
        } else if (const auto* number = std::get_if<int32_t>(&v.value)) {
            DWORD raw = 0;
            std::memcpy(&raw, number, sizeof raw);
            status = ::RegSetValueExW(k.get(), name.c_str(), 0, REG_DWORD,
                                      reinterpret_cast<const BYTE*>(&raw), sizeof raw);
        } else {
            // Stored with its terminating zero, as the system's own readers expect.
            const std::wstring text = win::widen(std::get<std::string>(v.value));
            status = ::RegSetValueExW(k.get(), name.c_str(), 0, REG_SZ,
                                      reinterpret_cast<const BYTE*>(text.c_str()),
                                      static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
        }
        if (status != ERROR_SUCCESS) return makeError(describe(path_ + "\\" + v.name, status));
    }
    return Ok{};
}

Status SettingsStore::removeAll() const {
    const LSTATUS status = ::RegDeleteTreeW(HKEY_CURRENT_USER, win::widen(path_).c_str());
    if (status != ERROR_SUCCESS && status != ERROR_FILE_NOT_FOUND)
        return makeError(describe(path_, status));
    // RegDeleteTree empties the key; the key itself goes separately.
    const LSTATUS gone = ::RegDeleteKeyW(HKEY_CURRENT_USER, win::widen(path_).c_str());
    if (gone != ERROR_SUCCESS && gone != ERROR_FILE_NOT_FOUND)
        return makeError(describe(path_, gone));
    return Ok{};
}

}  // namespace svt::platform
