// The registry calls the registry layer makes, as thin as the calls
// themselves. Names and data cross it in the ANSI code page.
#pragma once

#include <cstdint>
#include <string>

namespace tav {

using RegKey = std::uintptr_t;

inline constexpr int32_t kRegSuccess = 0;
inline constexpr int32_t kRegMoreData = 234;  // the value is larger than the buffer
inline constexpr uint32_t kRegSz = 1;
inline constexpr uint32_t kRegExpandSz = 2;
inline constexpr uint32_t kRegDword = 4;
inline constexpr uint32_t kKeyRead = 0x20019;
inline constexpr uint32_t kKeyWrite = 0x20006;

class RegistryApi {
public:
    virtual ~RegistryApi() = default;
    virtual int32_t OpenKeyEx(RegKey root, const std::string& subkey, uint32_t options,
                              uint32_t access, RegKey& key) = 0;
    // Opens subkey, creating every missing key along the path.
    virtual int32_t CreateKey(RegKey root, const std::string& subkey, RegKey& key) = 0;
    virtual int32_t QueryValueEx(RegKey key, const std::string& name, uint32_t& type, uint8_t* data,
                                 uint32_t& length) = 0;
    virtual int32_t SetValueEx(RegKey key, const std::string& name, uint32_t type,
                               const uint8_t* data, uint32_t length) = 0;
    virtual int32_t CloseKey(RegKey key) = 0;
    // Posts WM_SETTINGCHANGE to every top-level window; does not wait.
    virtual void PostSettingChange(uintptr_t wParam, intptr_t lParam) = 0;
};

}  // namespace tav
