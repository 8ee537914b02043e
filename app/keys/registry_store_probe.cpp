// Cross-process check of the registry store: "write" stores the profile list
// in one process, "read" checks it from another, through a fresh store and
// at the exact registry location. Prints gtest-style counts.
#include "profile_list.h"
#include "registry_settings_store.h"

#include <windows.h>

#include <cstdio>
#include <string>

namespace {

int passed = 0, failed = 0;

void check(bool ok, const char* what) {
    ok ? ++passed : ++failed;
    if (!ok) std::printf("FAILED: %s\n", what);
}

const std::u16string kChinesePath = u"C:\\Users\\测试\\Documents\\Vortek\\游戏.px3";

std::u16string rawValue(const wchar_t* name) {
    wchar_t buffer[512] = {};
    DWORD bytes = sizeof buffer - sizeof(wchar_t);
    if (RegGetValueW(HKEY_CURRENT_USER, L"Software\\Plexor3_QM2000RB\\KbPanel\\PROFILES", name, RRF_RT_REG_SZ,
                     nullptr, buffer, &bytes) != ERROR_SUCCESS) {
        return u"<missing>";
    }
    return std::u16string(reinterpret_cast<const char16_t*>(buffer));
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc != 2) return 2;
    const std::wstring mode = argv[1];
    kb::RegistrySettingsStore store;
    kb::ProfileList list(store);
    if (mode == L"write") {
        RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\Plexor3_QM2000RB");
        kb::RegistrySettingsStore fresh;
        kb::ProfileList empty(fresh);
        check(empty.profileCount() == 0, "empty store counts 0");
        check(rawValue(L"PROFILE00") == u"0", "the count 0 is written back");
        check(empty.profilePath(3) == u"NA", "missing path reads NA");
        check(!fresh.read(u"PROFILES", u"Nothing").has_value(), "missing value reads nothing");
        list.setProfilePath(0, u"C:\\a.px3");
        list.setProfilePath(1, kChinesePath);
        list.setProfileCount(2);
        list.setActiveIndex(1);
        check(list.setFlip(7) == 0, "setFlip(7) stores 0");
        check(list.setRecordDelay(1) == 1, "setRecordDelay(1) stores 1");
    } else if (mode == L"read") {
        check(list.profileCount() == 2, "count read back");
        check(list.activeIndex() == 1, "active index read back");
        check(list.profilePath(1) == kChinesePath, "UTF-16 path read back");
        check(list.flip() == 0 && list.recordDelay() == 1, "options read back");
        check(rawValue(L"PROFILE02") == kChinesePath, "stored under HKCU\\Software\\Plexor3_QM2000RB\\KbPanel\\PROFILES");
        check(rawValue(L"ACTIVE") == u"1", "numbers stored as decimal text");
        const kb::ProfileMenu menu = kb::buildProfileMenu(list);
        check(menu.activeName == u"游戏", "menu shows the active file name");
        const std::u16string documents = kb::personalDocumentsFolder();
        check(!documents.empty(), "documents folder known");
        check(kb::ensureProfileFolder(documents) &&
                  GetFileAttributesW(reinterpret_cast<const wchar_t*>(kb::profileFolder(documents).c_str())) !=
                      INVALID_FILE_ATTRIBUTES,
              "profile folder created under the documents folder");
    } else {
        return 2;
    }
    std::printf("[  PASSED  ] %d tests.\n", passed);
    if (failed) std::printf("[  FAILED  ] %d tests.\n", failed);
    return failed ? 1 : 0;
}
