#include "system/registry.h"

#include <array>
#include <cstring>
#include <string_view>

#include "platform/platform.h"
#include "error_log/trap.h"

namespace tav {

namespace {

constexpr size_t kStringBuffer = 255;
constexpr uint32_t kDwordBuffer = 4;

struct RootName {
    std::string_view name;
    RegKey handle;
};
constexpr std::array<RootName, 7> kRoots{{
    {"HKEY_CLASSES_ROOT", 0x80000000u},
    {"HKEY_CURRENT_USER", 0x80000001u},
    {"HKEY_LOCAL_MACHINE", 0x80000002u},
    {"HKEY_USERS", 0x80000003u},
    {"HKEY_PERFORMANCE_DATA", 0x80000004u},
    {"HKEY_CURRENT_CONFIG", 0x80000005u},
    {"HKEY_DYN_DATA", 0x80000006u},
}};

RegistryApi& Api() { return *platform().registry; }

// Parses path into subkey and root; false when nothing more should happen.
bool Prepare(std::string& path) {
    RegistryModuleState& s = RegistryState();
    ParseKey(path, s.rootHandle);
    return s.rootHandle != 0;
}

// Closes the open key, if any, and forgets it.
void CloseOpenKey() {
    RegistryModuleState& s = RegistryState();
    if (s.keyHandle != 0) {
        Api().CloseKey(s.keyHandle);
        s.keyHandle = 0;
    }
}

bool OpenForRead(const std::string& subkey) {
    RegistryModuleState& s = RegistryState();
    s.keyHandle = 0;
    s.status = Api().OpenKeyEx(s.rootHandle, subkey, 0, kKeyRead, s.keyHandle);
    if (s.status != kRegSuccess) s.keyHandle = 0;
    return s.status == kRegSuccess;
}

bool OpenForWrite(const std::string& subkey) {
    RegistryModuleState& s = RegistryState();
    s.keyHandle = 0;
    s.status = Api().OpenKeyEx(s.rootHandle, subkey, 0, kKeyWrite, s.keyHandle);
    if (s.status != kRegSuccess) s.keyHandle = 0;
    return s.status == kRegSuccess;
}

// Every routine ends with its key closed, whatever failed on the way.
struct CloseOnExit {
    ~CloseOnExit() {
        try {
            CloseOpenKey();
        } catch (...) {
        }
    }
};

}  // namespace

RegistryModuleState& RegistryState() {
    static RegistryModuleState state;
    return state;
}

RegKey GetMainKeyHandle(const std::string& rootName) {
    RegKey result = 0;
    Trap trap("modORSutils.GetMainKeyHandle");
    trap([&] {
        for (const RootName& r : kRoots) {
            if (rootName == r.name) {
                result = r.handle;
                return;
            }
        }
    });
    return result;
}

void ParseKey(std::string& path, RegKey& root) {
    Trap trap("modORSutils.ParseKey");
    trap([&] {
        const bool wellFormed =
            path.size() >= 5 && path.compare(0, 5, "HKEY_") == 0 && path.back() != '\\';
        if (!wellFormed) {
            // Treated like an unknown root: a stale handle from an earlier
            // call must never be used for this path.
            root = 0;
            return;
        }
        const size_t slash = path.find('\\');
        if (slash == std::string::npos) {
            root = GetMainKeyHandle(path);
            path.clear();
        } else {
            root = GetMainKeyHandle(path.substr(0, slash));
            path = path.substr(slash + 1);
        }
    });
}

std::optional<std::string> GetStringValue(const std::string& keyPath, const std::string& valueName,
                                          uint32_t* typeRead) {
    std::optional<std::string> result;
    if (typeRead) *typeRead = 0;
    std::string path = keyPath;
    CloseOnExit closer;
    Trap trap("modORSutils.GetStringValue");
    trap([&] {
        if (!Prepare(path) || !OpenForRead(path)) return;
        std::array<uint8_t, kStringBuffer> buffer;
        buffer.fill(' ');
        uint32_t type = 0;
        uint32_t length = kStringBuffer;
        RegistryModuleState& s = RegistryState();
        s.status = Api().QueryValueEx(s.keyHandle, valueName, type, buffer.data(), length);
        CloseOpenKey();
        if (typeRead) *typeRead = type;
        if (s.status != kRegSuccess) return;
        // Trim first, then cut at the terminator: leading blanks of the
        // stored text are lost, trailing ones before its NUL stay.
        std::string text(reinterpret_cast<const char*>(buffer.data()), buffer.size());
        const size_t first = text.find_first_not_of(' ');
        if (first == std::string::npos) {
            text.clear();
        } else {
            text = text.substr(first, text.find_last_not_of(' ') - first + 1);
        }
        const size_t nul = text.find('\0');
        if (nul != std::string::npos) text.resize(nul);
        result = platform().locale->FromAnsi(text);
    });
    return result;
}

std::optional<int32_t> GetDWORDValue(const std::string& keyPath, const std::string& valueName) {
    std::optional<int32_t> result;
    std::string path = keyPath;
    CloseOnExit closer;
    Trap trap("modORSutils.GetDWORDValue");
    trap([&] {
        if (!Prepare(path) || !OpenForRead(path)) return;
        std::array<uint8_t, kDwordBuffer> buffer{};
        uint32_t type = 0;
        uint32_t length = kDwordBuffer;
        RegistryModuleState& s = RegistryState();
        s.status = Api().QueryValueEx(s.keyHandle, valueName, type, buffer.data(), length);
        CloseOpenKey();
        if (s.status != kRegSuccess) return;
        uint32_t raw = 0;
        for (int i = 3; i >= 0; --i) raw = (raw << 8) | buffer[static_cast<size_t>(i)];
        result = static_cast<int32_t>(raw);
    });
    return result;
}

void SetStringValue(const std::string& keyPath, const std::string& valueName,
                    const std::string& text) {
    std::string path = keyPath;
    CloseOnExit closer;
    Trap trap("modORSutils.SetStringValue");
    trap([&] {
        if (!Prepare(path) || !OpenForWrite(path)) return;
        // The data is the text alone: no terminator is counted or written.
        const std::string data = platform().locale->ToAnsi(text);
        RegistryModuleState& s = RegistryState();
        s.status = Api().SetValueEx(s.keyHandle, valueName, kRegSz,
                                    reinterpret_cast<const uint8_t*>(data.data()),
                                    static_cast<uint32_t>(data.size()));
    });
}

void SetDWORDValue(const std::string& keyPath, const std::string& valueName, int32_t value) {
    std::string path = keyPath;
    CloseOnExit closer;
    Trap trap("modORSutils.SetDWORDValue");
    trap([&] {
        if (!Prepare(path) || !OpenForWrite(path)) return;
        const uint32_t raw = static_cast<uint32_t>(value);
        const std::array<uint8_t, 4> data{static_cast<uint8_t>(raw), static_cast<uint8_t>(raw >> 8),
                                          static_cast<uint8_t>(raw >> 16),
                                          static_cast<uint8_t>(raw >> 24)};
        RegistryModuleState& s = RegistryState();
        s.status = Api().SetValueEx(s.keyHandle, valueName, kRegDword, data.data(), kDwordBuffer);
    });
}

bool CreateKey(const std::string& keyPath) {
    bool result = false;
    std::string path = keyPath;
    CloseOnExit closer;
    Trap trap("modORSutils.CreateKey");
    trap([&] {
        if (!Prepare(path)) return;
        RegistryModuleState& s = RegistryState();
        s.keyHandle = 0;
        s.status = Api().CreateKey(s.rootHandle, path, s.keyHandle);
        if (s.status != kRegSuccess) {
            s.keyHandle = 0;
            return;
        }
        CloseOpenKey();
        result = true;
    });
    return result;
}

bool QueryKey(const std::string& keyPath) {
    bool result = false;
    std::string path = keyPath;
    CloseOnExit closer;
    Trap trap("modORSutils.QueryKey");
    trap([&] {
        if (!Prepare(path) || !OpenForRead(path)) return;
        CloseOpenKey();
        result = true;
    });
    return result;
}

void ApplyRegistryUpdate() {
    Trap trap("modORSutils.ApplyRegistryUpdate");
    trap([&] { Api().PostSettingChange(0, 5000); });
}

}  // namespace tav
