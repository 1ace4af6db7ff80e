// The registry calls, on the ANSI functions the stored data is defined by.
#pragma once

#include "platform/registry_api.h"

namespace tav::win32 {

class Win32Registry : public RegistryApi {
public:
    // view32: use the registry view a 32-bit program sees, whatever this
    // build's width. The product's own programs and installer are 32-bit.
    explicit Win32Registry(bool view32 = true) : view32_(view32) {}

    int32_t OpenKeyEx(RegKey root, const std::string& subkey, uint32_t options, uint32_t access,
                      RegKey& key) override;
    int32_t CreateKey(RegKey root, const std::string& subkey, RegKey& key) override;
    int32_t QueryValueEx(RegKey key, const std::string& name, uint32_t& type, uint8_t* data,
                         uint32_t& length) override;
    int32_t SetValueEx(RegKey key, const std::string& name, uint32_t type, const uint8_t* data,
                       uint32_t length) override;
    int32_t CloseKey(RegKey key) override;
    void PostSettingChange(uintptr_t wParam, intptr_t lParam) override;

private:
    unsigned long ViewFlag() const;
    bool view32_;
};

}  // namespace tav::win32
