#include "system/registry.h"

#include <array>
#include <cstring>
#include <string_view>

#include "error_log/trap.h"

namespace tav {

namespace {

constexpr size_t kStringBuffer = 255;
constexpr uint32_t kDwordBuffer = 4;
// What the settings change names: the whole environment, and how long to
// let a window take (milliseconds).
constexpr uintptr_t kSettingChangeWParam = 0;
constexpr intptr_t kSettingChangeTimeoutMs = 5000;

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

}  // namespace

// The key one operation opened, closed when the operation ends whatever
// failed on the way.
class Registry::OpenKey {
public:
    explicit OpenKey(RegistryApi& api) : api_(api) {}
    ~OpenKey() { Close(); }
    OpenKey(const OpenKey&) = delete;
    OpenKey& operator=(const OpenKey&) = delete;

    RegKey& handle() { return handle_; }
    void Close() noexcept {
        if (handle_ == 0) return;
        try {
            api_.CloseKey(handle_);
        } catch (...) {
        }
        handle_ = 0;
    }

private:
    RegistryApi& api_;
    RegKey handle_ = 0;
};

RegKey GetMainKeyHandle(const std::string& rootName) noexcept {
    for (const RootName& r : kRoots) {
        if (rootName == r.name) return r.handle;
    }
    return 0;
}

void ParseKey(std::string& path, RegKey& root) {
    const bool wellFormed =
        path.size() >= 5 && path.compare(0, 5, "HKEY_") == 0 && path.back() != '\\';
    if (!wellFormed) {
        // Treated like an unknown root: a stale handle from an earlier call
        // must never be used for this path.
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
}

namespace {

// Parses path into subkey and root; false when nothing more should happen.
bool Prepare(std::string& path, RegKey& root) {
    ParseKey(path, root);
    return root != 0;
}

}  // namespace

std::optional<std::string> Registry::GetStringValue(const std::string& keyPath,
                                                    const std::string& valueName,
                                                    uint32_t* typeRead) noexcept {
    std::optional<std::string> result;
    if (typeRead) *typeRead = 0;
    OpenKey key(api_);
    Trap trap(log_, "modORSutils.GetStringValue");
    trap([&] {
        std::string path = keyPath;
        RegKey root = 0;
        if (!Prepare(path, root) || !Open(root, path, kKeyRead, key)) return;
        std::array<uint8_t, kStringBuffer> buffer;
        buffer.fill(' ');
        uint32_t type = 0;
        uint32_t length = kStringBuffer;
        status_ = api_.QueryValueEx(key.handle(), valueName, type, buffer.data(), length);
        key.Close();
        if (typeRead) *typeRead = type;
        if (status_ != kRegSuccess) return;
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
        result = locale_.FromAnsi(text);
    });
    return result;
}

std::optional<int32_t> Registry::GetDWORDValue(const std::string& keyPath,
                                               const std::string& valueName) noexcept {
    std::optional<int32_t> result;
    OpenKey key(api_);
    Trap trap(log_, "modORSutils.GetDWORDValue");
    trap([&] {
        std::string path = keyPath;
        RegKey root = 0;
        if (!Prepare(path, root) || !Open(root, path, kKeyRead, key)) return;
        std::array<uint8_t, kDwordBuffer> buffer{};
        uint32_t type = 0;
        uint32_t length = kDwordBuffer;
        status_ = api_.QueryValueEx(key.handle(), valueName, type, buffer.data(), length);
        key.Close();
        if (status_ != kRegSuccess) return;
        uint32_t raw = 0;
        for (int i = 3; i >= 0; --i) raw = (raw << 8) | buffer[static_cast<size_t>(i)];
        result = static_cast<int32_t>(raw);
    });
    return result;
}

void Registry::SetStringValue(const std::string& keyPath, const std::string& valueName,
                              const std::string& text) noexcept {
    OpenKey key(api_);
    Trap trap(log_, "modORSutils.SetStringValue");
    trap([&] {
        std::string path = keyPath;
        RegKey root = 0;
        if (!Prepare(path, root) || !Open(root, path, kKeyWrite, key)) return;
        // The data is the text alone: no terminator is counted or written.
        const std::string data = locale_.ToAnsi(text);
        status_ = api_.SetValueEx(key.handle(), valueName, kRegSz,
                                  reinterpret_cast<const uint8_t*>(data.data()),
                                  static_cast<uint32_t>(data.size()));
    });
}

void Registry::SetDWORDValue(const std::string& keyPath, const std::string& valueName,
                             int32_t value) noexcept {
    OpenKey key(api_);
    Trap trap(log_, "modORSutils.SetDWORDValue");
    trap([&] {
        std::string path = keyPath;
        RegKey root = 0;
        if (!Prepare(path, root) || !Open(root, path, kKeyWrite, key)) return;
        const uint32_t raw = static_cast<uint32_t>(value);
        const std::array<uint8_t, kDwordBuffer> data{
            static_cast<uint8_t>(raw), static_cast<uint8_t>(raw >> 8),
            static_cast<uint8_t>(raw >> 16), static_cast<uint8_t>(raw >> 24)};
        status_ = api_.SetValueEx(key.handle(), valueName, kRegDword, data.data(), kDwordBuffer);
    });
}

bool Registry::CreateKey(const std::string& keyPath) noexcept {
    bool result = false;
    OpenKey key(api_);
    Trap trap(log_, "modORSutils.CreateKey");
    trap([&] {
        std::string path = keyPath;
        RegKey root = 0;
        if (!Prepare(path, root)) return;
        status_ = api_.CreateKey(root, path, key.handle());
        if (status_ != kRegSuccess) {
            key.handle() = 0;
            return;
        }
        key.Close();
        result = true;
    });
    return result;
}

bool Registry::QueryKey(const std::string& keyPath) noexcept {
    bool result = false;
    OpenKey key(api_);
    Trap trap(log_, "modORSutils.QueryKey");
    trap([&] {
        std::string path = keyPath;
        RegKey root = 0;
        if (!Prepare(path, root) || !Open(root, path, kKeyRead, key)) return;
        key.Close();
        result = true;
    });
    return result;
}

void Registry::ApplyRegistryUpdate() noexcept {
    Trap trap(log_, "modORSutils.ApplyRegistryUpdate");
    trap([&] { api_.PostSettingChange(kSettingChangeWParam, kSettingChangeTimeoutMs); });
}

bool Registry::Open(RegKey root, const std::string& subkey, uint32_t access, OpenKey& key) {
    status_ = api_.OpenKeyEx(root, subkey, 0, access, key.handle());
    if (status_ != kRegSuccess) key.handle() = 0;
    return status_ == kRegSuccess;
}

}  // namespace tav
