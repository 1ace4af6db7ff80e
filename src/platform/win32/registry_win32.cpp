#include "platform/win32/registry_win32.h"

#include "platform/win32/text.h"
#include "platform/win32/win.h"

namespace tav::win32 {

namespace {
HKEY H(RegKey k) { return reinterpret_cast<HKEY>(k); }
}  // namespace

unsigned long Win32Registry::ViewFlag() const {
    return view32_ ? KEY_WOW64_32KEY : KEY_WOW64_64KEY;
}

int32_t Win32Registry::OpenKeyEx(RegKey root, const std::string& subkey, uint32_t options,
                                 uint32_t access, RegKey& key) {
    HKEY out = nullptr;
    const LONG s =
        ::RegOpenKeyExA(H(root), Utf8ToAnsi(subkey).c_str(), options, access | ViewFlag(), &out);
    key = reinterpret_cast<RegKey>(out);
    return s;
}

int32_t Win32Registry::CreateKey(RegKey root, const std::string& subkey, RegKey& key) {
    HKEY out = nullptr;
    // RegCreateKeyA's own rights, plus the view.
    const LONG s =
        ::RegCreateKeyExA(H(root), Utf8ToAnsi(subkey).c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                          MAXIMUM_ALLOWED | ViewFlag(), nullptr, &out, nullptr);
    key = reinterpret_cast<RegKey>(out);
    return s;
}

int32_t Win32Registry::QueryValueEx(RegKey key, const std::string& name, uint32_t& type,
                                    uint8_t* data, uint32_t& length) {
    DWORD t = 0;
    DWORD len = length;
    const LONG s = ::RegQueryValueExA(H(key), Utf8ToAnsi(name).c_str(), nullptr, &t, data, &len);
    type = t;
    length = len;
    return s;
}

int32_t Win32Registry::SetValueEx(RegKey key, const std::string& name, uint32_t type,
                                  const uint8_t* data, uint32_t length) {
    return ::RegSetValueExA(H(key), Utf8ToAnsi(name).c_str(), 0, type, data, length);
}

int32_t Win32Registry::CloseKey(RegKey key) { return ::RegCloseKey(H(key)); }

void Win32Registry::PostSettingChange(uintptr_t wParam, intptr_t lParam) {
    // Fire and forget: the result has never been looked at.
    ::PostMessageA(HWND_BROADCAST, WM_SETTINGCHANGE, wParam, lParam);
}

}  // namespace tav::win32
