#include "fake_platform.h"

#include <algorithm>
#include <cctype>

#include "app/state.h"
#include "core/failure.h"
#include "dialog/frmDialog.h"

namespace tav::fakes {

namespace {

char Upper(char c) { return static_cast<char>(std::toupper(static_cast<unsigned char>(c))); }

std::string ParentOf(const std::string& normalized) {
    const size_t cut = normalized.rfind('\\');
    return cut == std::string::npos ? std::string() : normalized.substr(0, cut);
}

std::string UpperName(std::string s) {
    for (char& c : s) c = Upper(c);
    return s;
}

std::string Leaf(const std::string& path) { return path.substr(path.find_last_of("\\/") + 1); }

// "*" and "?", case-insensitive.
bool WildcardMatch(const std::string& pattern, const std::string& name) {
    size_t p = 0, n = 0, star = std::string::npos, mark = 0;
    while (n < name.size()) {
        if (p < pattern.size() && (pattern[p] == '?' || Upper(pattern[p]) == Upper(name[n]))) {
            ++p, ++n;
        } else if (p < pattern.size() && pattern[p] == '*') {
            star = p++, mark = n;
        } else if (star != std::string::npos) {
            p = star + 1, n = ++mark;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == '*') ++p;
    return p == pattern.size();
}

}  // namespace

std::string NormalizePath(const std::string& path) {
    std::string out;
    for (char c : path) out += c == '/' ? '\\' : Upper(c);
    while (!out.empty() && out.back() == '\\') out.pop_back();
    return out;
}

// ----------------------------------------------------------------- files

std::string FakeFiles::Writable(const std::string& path) const {
    const std::string key = NormalizePath(path), parent = ParentOf(key);
    if (!parent.empty() && !folders_.count(parent)) throw err::Make(err::kPathNotFound);
    if (deniedFolders.count(parent)) throw err::Make(err::kPathFileAccess);
    auto it = files_.find(key);
    if (it != files_.end() && (it->second.attributes & kAttrReadOnly)) throw err::Make(err::kPathFileAccess);
    return key;
}

int FakeFiles::FreeFile() {
    int n = 1;
    while (open_.count(n)) ++n;
    if (n > 255) throw err::Make(err::kTooManyFiles);
    return n;
}

void FakeFiles::OpenAppend(int fileNumber, const std::string& path) {
    if (open_.count(fileNumber)) throw err::Make(err::kFileAlreadyOpen);
    const std::string key = Writable(path);
    if (reparsePoints.count(ParentOf(key)) || reparsePoints.count(key) || folders_.count(key))
        throw err::Make(err::kPathFileAccess);
    if (!files_.count(key)) files_[key] = File{Leaf(path), {}, 0};
    open_[fileNumber] = key;
}

void FakeFiles::PrintLine(int fileNumber, const std::string& text) {
    auto it = open_.find(fileNumber);
    if (it == open_.end()) throw err::Make(err::kBadFileNameOrNumber);
    if (failWritesWith != 0) throw err::Make(failWritesWith);
    files_[it->second].content += text + "\r\n";
}

void FakeFiles::Write(const std::string& path, const std::vector<std::span<const uint8_t>>& pieces, bool atomic) {
    const std::string key = Writable(path);
    if (failWritesWith != 0) throw err::Make(failWritesWith);
    if (atomic && failAtomicMoveWith != 0) throw err::Make(failAtomicMoveWith);
    File& f = files_[key];
    if (atomic || f.name.empty()) f.name = Leaf(path);
    f.content.clear();
    for (std::span<const uint8_t> piece : pieces) f.content.append(piece.begin(), piece.end());
}

void FakeFiles::Delete(const std::string& path) {
    auto it = files_.find(NormalizePath(path));
    if (it == files_.end()) throw err::Make(err::kFileNotFound);
    if (it->second.attributes & kAttrReadOnly) throw err::Make(err::kPermissionDenied);
    files_.erase(it);
}

void FakeFiles::Rename(const std::string& from, const std::string& to) {
    const std::string src = NormalizePath(from), dst = NormalizePath(to);
    auto it = files_.find(src);
    if (it == files_.end()) throw err::Make(err::kFileNotFound);
    if (deniedFolders.count(ParentOf(src))) throw err::Make(err::kPathFileAccess);
    if (src != dst && files_.count(dst)) throw err::Make(err::kFileAlreadyExists);
    File f = it->second;
    files_.erase(it);
    f.name = Leaf(to);
    files_[dst] = f;
}

void FakeFiles::MakeFolder(const std::string& path) {
    const std::string key = NormalizePath(path), parent = ParentOf(key);
    if (folders_.count(key) || files_.count(key)) throw err::Make(err::kPathFileAccess);
    if (!parent.empty() && !folders_.count(parent)) throw err::Make(err::kPathNotFound);
    if (deniedFolders.count(parent)) throw err::Make(err::kPathFileAccess);
    folders_.insert(key);
}

std::vector<FoundFile> FakeFiles::FindAll(const std::string& pattern) {
    std::vector<FoundFile> found;
    const std::string key = NormalizePath(pattern);
    if (key.empty() || pattern.back() == '\\' || pattern.back() == '/') return found;
    const std::string folder = ParentOf(key);
    const std::string name = key.substr(folder.empty() ? 0 : folder.size() + 1);
    // Folders come first, as "." and ".." do on a real search.
    for (const std::string& d : folders_)
        if (ParentOf(d) == folder && d != folder && WildcardMatch(name, d.substr(folder.size() + 1)))
            found.push_back(FoundFile{d.substr(folder.size() + 1), kAttrDirectory});
    for (const auto& [k, f] : files_)
        if (ParentOf(k) == folder && WildcardMatch(name, f.name)) found.push_back(FoundFile{f.name, f.attributes});
    return found;
}

void FakeFiles::AddFolder(const std::string& path) {
    for (std::string key = NormalizePath(path); !key.empty(); key = ParentOf(key)) folders_.insert(key);
}

void FakeFiles::AddFile(const std::string& path, const std::string& content, uint32_t attributes) {
    const std::string key = NormalizePath(path);
    AddFolder(ParentOf(key));
    files_[key] = File{Leaf(path), content, attributes};
}

std::string FakeFiles::Content(const std::string& path) const {
    auto it = files_.find(NormalizePath(path));
    return it == files_.end() ? std::string() : it->second.content;
}

// -------------------------------------------------------------- registry

namespace {
constexpr int32_t kNotFound = 2, kAccessDenied = 5, kMoreData = 234;

const char* RootName(RegKey root) {
    static const char* const names[] = {"HKEY_CLASSES_ROOT", "HKEY_CURRENT_USER",     "HKEY_LOCAL_MACHINE",
                                        "HKEY_USERS",        "HKEY_PERFORMANCE_DATA", "HKEY_CURRENT_CONFIG",
                                        "HKEY_DYN_DATA"};
    return root >= 0x80000000u && root <= 0x80000006u ? names[root - 0x80000000u] : nullptr;
}
}  // namespace

std::string FakeRegistry::FullPath(RegKey root, const std::string& subkey) const {
    std::string base;
    if (const char* name = RootName(root)) {
        base = name;
    } else {
        auto it = open_.find(root);
        if (it == open_.end()) return {};
        base = it->second.path;
    }
    return NormalizePath(subkey.empty() ? base : base + "\\" + subkey);
}

RegKey FakeRegistry::Hand(const std::string& path, uint32_t access) {
    open_[next_] = Open{path, access};
    return next_++;
}

int32_t FakeRegistry::OpenKeyEx(RegKey root, const std::string& subkey, uint32_t, uint32_t access, RegKey& key) {
    openAccessRequests.push_back(access);
    const std::string path = FullPath(root, subkey);
    if (path.empty()) return kInvalidHandle;
    if (!(RootName(root) && subkey.empty()) && !keys_.count(path)) return kNotFound;
    key = Hand(path, access);
    return 0;
}

int32_t FakeRegistry::CreateKey(RegKey root, const std::string& subkey, RegKey& key) {
    const std::string path = FullPath(root, subkey);
    if (path.empty()) return kInvalidHandle;
    if (!subkey.empty()) AddKey(path);
    key = Hand(path, 0xF003F);
    return 0;
}

int32_t FakeRegistry::QueryValueEx(RegKey key, const std::string& name, uint32_t& type, uint8_t* data,
                                   uint32_t& length) {
    auto it = open_.find(key);
    if (it == open_.end()) return kInvalidHandle;
    const std::optional<Value> v = Get(it->second.path, name);
    if (!v) return kNotFound;
    type = v->type;
    const uint32_t size = static_cast<uint32_t>(v->data.size());
    const bool fits = size <= length;
    if (fits) std::copy(v->data.begin(), v->data.end(), data);
    length = size;
    return fits ? 0 : kMoreData;
}

int32_t FakeRegistry::SetValueEx(RegKey key, const std::string& name, uint32_t type, const uint8_t* data,
                                 uint32_t length) {
    auto it = open_.find(key);
    if (it == open_.end()) return kInvalidHandle;
    if (!(it->second.access & 0x2) || readOnlyKeys.count(it->second.path)) return kAccessDenied;
    keys_[it->second.path][UpperName(name)] = Value{type, std::vector<uint8_t>(data, data + length)};
    return 0;
}

void FakeRegistry::AddKey(const std::string& path) {
    for (std::string key = NormalizePath(path); key.find('\\') != std::string::npos; key = ParentOf(key)) keys_[key];
}

void FakeRegistry::PutString(const std::string& path, const std::string& name, const std::string& text,
                             bool terminated) {
    AddKey(path);
    std::vector<uint8_t> data(text.begin(), text.end());
    if (terminated) data.push_back(0);
    keys_[NormalizePath(path)][UpperName(name)] = Value{1, data};
}

void FakeRegistry::PutDword(const std::string& path, const std::string& name, uint32_t v) {
    AddKey(path);
    keys_[NormalizePath(path)][UpperName(name)] =
        Value{4, {static_cast<uint8_t>(v), static_cast<uint8_t>(v >> 8), static_cast<uint8_t>(v >> 16),
                  static_cast<uint8_t>(v >> 24)}};
}

std::optional<FakeRegistry::Value> FakeRegistry::Get(const std::string& path, const std::string& name) const {
    auto k = keys_.find(NormalizePath(path));
    if (k == keys_.end()) return std::nullopt;
    auto v = k->second.find(UpperName(name));
    return v == k->second.end() ? std::nullopt : std::optional<Value>(v->second);
}

// -------------------------------------------------------------- platform

FakePlatform::FakePlatform() {
    SetPlatform(Platform{&events,     &app,         &files,   &clock, &ui,    &shell,  &locale,
                         &registry,   &processes,   &environment,     &dialogs, &reads, &signing});
    processes.clock = &clock;
    sInstallLocation.clear();
    ReleaseDialogForm();
    ReleaseErrorLog();
    CurrentError().Clear();
    events.onTimePasses = [this](uint32_t ms) { clock.Advance(ms); };
}

FakePlatform::~FakePlatform() {
    ReleaseDialogForm();
    ReleaseErrorLog();
    sInstallLocation.clear();
    SetPlatform(Platform{});
}

}  // namespace tav::fakes
