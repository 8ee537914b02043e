#include "registry_settings_store.h"

#include <windows.h>
#include <shlobj.h>

#include "common/win/unique_handle.h"

#include <vector>

namespace kb {
namespace {

const wchar_t* wide(const std::u16string& s) noexcept { return reinterpret_cast<const wchar_t*>(s.c_str()); }

std::u16string sectionKey(const std::u16string& app, std::u16string_view section) {
    std::u16string key = app;
    key += u'\\';
    key += section;
    return key;
}

// Settings values are short; anything larger is not ours.
constexpr DWORD kMaxValueBytes = 1u << 20;

}  // namespace

RegistrySettingsStore::RegistrySettingsStore(std::u16string applicationKey)
    : applicationKey_(std::move(applicationKey)) {}

std::optional<std::u16string> RegistrySettingsStore::read(std::u16string_view section,
                                                          std::u16string_view name) const {
    try {
        HKEY opened = nullptr;
        if (RegOpenKeyExW(HKEY_CURRENT_USER, wide(sectionKey(applicationKey_, section)), 0, KEY_QUERY_VALUE,
                          &opened) != ERROR_SUCCESS) {
            return std::nullopt;
        }
        const kbwin::UniqueKey key(opened);
        const std::u16string valueName(name);
        for (int attempt = 0; attempt < 3; ++attempt) {
            DWORD type = 0, bytes = 0;
            if (RegQueryValueExW(key.get(), wide(valueName), nullptr, &type, nullptr, &bytes) != ERROR_SUCCESS ||
                (type != REG_SZ && type != REG_EXPAND_SZ) || bytes > kMaxValueBytes) {
                return std::nullopt;
            }
            std::vector<char16_t> buffer(bytes / 2 + 1, u'\0');
            DWORD got = static_cast<DWORD>(buffer.size() * 2);
            const LONG rc = RegQueryValueExW(key.get(), wide(valueName), nullptr, &type,
                                             reinterpret_cast<BYTE*>(buffer.data()), &got);
            if (rc == ERROR_MORE_DATA) continue;  // it grew meanwhile
            if (rc != ERROR_SUCCESS) return std::nullopt;
            // The stored string need not be terminated; stop at the first zero or at its end.
            std::u16string value(buffer.data(), std::min<std::size_t>(got / 2, buffer.size()));
            if (const auto end = value.find(u'\0'); end != std::u16string::npos) value.resize(end);
            return value;
        }
        return std::nullopt;
    } catch (const std::exception&) {
        return std::nullopt;
    }
}

bool RegistrySettingsStore::write(std::u16string_view section, std::u16string_view name,
                                  std::u16string_view value) {
    try {
        HKEY created = nullptr;
        if (RegCreateKeyExW(HKEY_CURRENT_USER, wide(sectionKey(applicationKey_, section)), 0, nullptr, 0,
                            KEY_SET_VALUE, nullptr, &created, nullptr) != ERROR_SUCCESS) {
            return false;
        }
        const kbwin::UniqueKey key(created);
        const std::u16string valueName(name), data(value);
        const auto bytes = static_cast<DWORD>((data.size() + 1) * sizeof(char16_t));
        return RegSetValueExW(key.get(), wide(valueName), 0, REG_SZ, reinterpret_cast<const BYTE*>(data.c_str()),
                              bytes) == ERROR_SUCCESS;
    } catch (const std::exception&) {
        return false;
    }
}

std::u16string personalDocumentsFolder() {
    wchar_t path[MAX_PATH] = {};
    if (!SHGetSpecialFolderPathW(nullptr, path, CSIDL_PERSONAL, FALSE)) return {};
    return std::u16string(reinterpret_cast<const char16_t*>(path));
}

}  // namespace kb
