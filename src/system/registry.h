// Registry access by text key paths ("HKEY_LOCAL_MACHINE\SOFTWARE\...").
// Every operation opens its key for one action and closes it again; none of
// them shows anything or fails its caller.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "platform/registry_api.h"
#include "platform/runtime.h"

namespace tav {

class CErrorUpdate;

class Registry {
public:
    // Calls api, converts texts with locale and logs its failures to log.
    Registry(RegistryApi& api, Locale& locale, CErrorUpdate& log)
        : api_(api), locale_(locale), log_(log) {}

    // The value's text, or nothing when the key or value cannot be read; the
    // value's registry type goes to *type when asked for (0 when unread).
    std::optional<std::string> GetStringValue(const std::string& keyPath,
                                              const std::string& valueName,
                                              uint32_t* type = nullptr) noexcept;
    // The value as a signed 32-bit number, or nothing.
    std::optional<int32_t> GetDWORDValue(const std::string& keyPath,
                                         const std::string& valueName) noexcept;
    // Writes into an existing key only; the key is never created here.
    void SetStringValue(const std::string& keyPath, const std::string& valueName,
                        const std::string& text) noexcept;
    void SetDWORDValue(const std::string& keyPath, const std::string& valueName,
                       int32_t value) noexcept;
    // True when the key exists or was created.
    bool CreateKey(const std::string& keyPath) noexcept;
    // True when the key can be opened for reading.
    bool QueryKey(const std::string& keyPath) noexcept;
    // Tells every top-level window that settings changed; does not wait.
    void ApplyRegistryUpdate() noexcept;

    // What the registry said to the last call that reached it.
    int32_t status() const { return status_; }

private:
    class OpenKey;
    // Opens subkey of root into key; false (key 0) when it cannot be.
    bool Open(RegKey root, const std::string& subkey, uint32_t access, OpenKey& key);

    RegistryApi& api_;
    Locale& locale_;
    CErrorUpdate& log_;
    int32_t status_ = 0;
};

// Splits a key path: path becomes its subkey part, root the predefined key
// (0 for an unknown root or a malformed path).
void ParseKey(std::string& path, RegKey& root);
// Predefined key for a root name in exact case, or 0.
RegKey GetMainKeyHandle(const std::string& rootName) noexcept;

}  // namespace tav
