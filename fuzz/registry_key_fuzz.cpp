// Key paths as text, against the in-memory registry: a path is either
// refused (no root) or split at its first "\" under a known root, and the
// layer's calls neither crash nor leave a key open.
#include <cstddef>
#include <cstdint>
#include <string>

#include "fakes/fake_platform.h"
#include "system/registry.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // A fresh registry and log for every input: nothing carries over, and
    // no growing state reads as a leak.
    tav::fakes::FakePlatform fake;
    fake.state.location.folder = "C:\\TAV";
    tav::Registry& registry = fake.state.registry;
    fake.files.AddFolder("C:\\TAV\\LOGS");
    fake.registry.PutString("HKEY_LOCAL_MACHINE\\SOFTWARE\\Corvel Systems\\TAV", "InstallLocation",
                            "C:\\TAV");
    const std::string text(reinterpret_cast<const char*>(data), size);
    // The first line is the key path, the rest a value name.
    const size_t cut = text.find('\n');
    const std::string keyPath = text.substr(0, cut);
    const std::string valueName = cut == std::string::npos ? std::string() : text.substr(cut + 1);

    std::string path = keyPath;
    tav::RegKey root = 0x7777;  // a stale value must never survive
    tav::ParseKey(path, root);
    if (root == 0x7777) __builtin_trap();
    if (root != 0) {
        if (keyPath.rfind("HKEY_", 0) != 0) __builtin_trap();
        const size_t slash = keyPath.find('\\');
        const std::string expected =
            slash == std::string::npos ? std::string() : keyPath.substr(slash + 1);
        if (path != expected) __builtin_trap();
    }
    (void)registry.GetStringValue(keyPath, valueName);
    (void)registry.GetDWORDValue(keyPath, valueName);
    if (keyPath.find("SOFTWARE\\Fuzz") != std::string::npos) {
        registry.SetStringValue(keyPath, valueName, valueName);
        (void)registry.CreateKey(keyPath);
    }
    (void)registry.QueryKey(keyPath);
    if (fake.registry.OpenHandles() != 0) __builtin_trap();
    return 0;
}
