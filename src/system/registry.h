// Registry access by text key paths ("HKEY_LOCAL_MACHINE\SOFTWARE\...").
// Every operation opens its key for one action and closes it again; none of
// them shows anything or fails its caller.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "platform/registry_api.h"

namespace tav {

// The value's text, or nothing when the key or value cannot be read; the
// value's registry type goes to *type when asked for (0 when unread).
std::optional<std::string> GetStringValue(const std::string& keyPath, const std::string& valueName,
                                          uint32_t* type = nullptr);
// The value as a signed 32-bit number, or nothing.
std::optional<int32_t> GetDWORDValue(const std::string& keyPath, const std::string& valueName);
// Writes into an existing key only; the key is never created here.
void SetStringValue(const std::string& keyPath, const std::string& valueName,
                    const std::string& text);
void SetDWORDValue(const std::string& keyPath, const std::string& valueName, int32_t value);
// True when the key exists or was created.
bool CreateKey(const std::string& keyPath);
// True when the key can be opened for reading.
bool QueryKey(const std::string& keyPath);
// Tells every top-level window that settings changed; does not wait.
void ApplyRegistryUpdate();

// Splits a key path: path becomes its subkey part, root the predefined key
// (0 for an unknown root or a malformed path).
void ParseKey(std::string& path, RegKey& root);
// Predefined key for a root name in exact case, or 0.
RegKey GetMainKeyHandle(const std::string& rootName);

// The layer's module state, which every call overwrites.
struct RegistryModuleState {
    RegKey rootHandle = 0;
    RegKey keyHandle = 0;
    int32_t status = 0;
};
RegistryModuleState& RegistryState();

}  // namespace tav
