#include "fake_platform.h"

#include <algorithm>
#include <cctype>
#include <cstdio>

#include "app/state.h"
#include "dialog/frmDialog.h"
#include "core/failure.h"

namespace tav::fakes {

std::string NormalizePath(const std::string& path) {
    std::string out;
    out.reserve(path.size());
    for (char c : path) {
        out += c == '/' ? '\\' : static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    while (!out.empty() && out.back() == '\\') out.pop_back();
    return out;
}

bool WildcardMatch(const std::string& pattern, const std::string& name) {
    size_t p = 0, n = 0, star = std::string::npos, mark = 0;
    auto eq = [](char a, char b) {
        return std::toupper(static_cast<unsigned char>(a)) == std::toupper(static_cast<unsigned char>(b));
    };
    while (n < name.size()) {
        if (p < pattern.size() && (pattern[p] == '?' || eq(pattern[p], name[n]))) {
            ++p;
            ++n;
        } else if (p < pattern.size() && pattern[p] == '*') {
            star = p++;
            mark = n;
        } else if (star != std::string::npos) {
            p = star + 1;
            n = ++mark;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == '*') ++p;
    return p == pattern.size();
}

// ---------------------------------------------------------------- events

void FakeEventLoop::DoEvents() {
    ++doEventsCalls;
    if (onDoEvents) onDoEvents();
}

void FakeEventLoop::Sleep(uint32_t ms) {
    sleeps.push_back(ms);
    if (onTimePasses) onTimePasses(ms);
}

void FakeEventLoop::WaitForEvents(uint32_t ms) {
    waits.push_back(ms);
    if (onTimePasses) onTimePasses(ms);
}

// ----------------------------------------------------------------- files

FakeFiles::FakeFiles() { folders_.insert("C:"); }

std::string FakeFiles::ParentOf(const std::string& normalized) const {
    const size_t cut = normalized.rfind('\\');
    return cut == std::string::npos ? std::string() : normalized.substr(0, cut);
}

bool FakeFiles::Denied(const std::string& normalizedFolder) const {
    return deniedFolders.count(normalizedFolder) != 0;
}

int FakeFiles::FreeFile() {
    int n = 1;
    while (open_.count(n)) ++n;
    if (n > 255) throw err::Make(err::kTooManyFiles);
    return n;
}

void FakeFiles::OpenAppend(int fileNumber, const std::string& path) {
    if (open_.count(fileNumber)) throw err::Make(err::kFileAlreadyOpen);
    const std::string key = NormalizePath(path);
    const std::string parent = ParentOf(key);
    if (!parent.empty() && !folders_.count(parent)) throw err::Make(err::kPathNotFound);
    if (Denied(parent)) throw err::Make(err::kPathFileAccess);
    if (reparsePoints.count(parent) || reparsePoints.count(key)) throw err::Make(err::kPathFileAccess);
    auto it = files_.find(key);
    if (it != files_.end() && (it->second.attributes & kAttrReadOnly))
        throw err::Make(err::kPathFileAccess);
    if (folders_.count(key)) throw err::Make(err::kPathFileAccess);
    if (it == files_.end()) {
        const size_t cut = path.find_last_of("\\/");
        files_[key] = File{cut == std::string::npos ? path : path.substr(cut + 1), {}, 0};
    }
    open_[fileNumber] = key;
}

void FakeFiles::PrintLine(int fileNumber, const std::string& text) {
    auto it = open_.find(fileNumber);
    if (it == open_.end()) throw err::Make(err::kBadFileNameOrNumber);
    if (failWritesWith != 0) throw err::Make(failWritesWith);
    files_[it->second].content += text + "\r\n";
}

void FakeFiles::Close(int fileNumber) { open_.erase(fileNumber); }

void FakeFiles::WriteBinary(const std::string& path, std::span<const uint8_t> bytes) {
    const std::string key = NormalizePath(path);
    const std::string parent = ParentOf(key);
    if (!parent.empty() && !folders_.count(parent)) throw err::Make(err::kPathNotFound);
    if (Denied(parent)) throw err::Make(err::kPathFileAccess);
    auto it = files_.find(key);
    if (it != files_.end() && (it->second.attributes & kAttrReadOnly))
        throw err::Make(err::kPathFileAccess);
    if (failWritesWith != 0) throw err::Make(failWritesWith);
    const size_t cut = path.find_last_of("\\/");
    File& f = files_[key];
    if (f.name.empty()) f.name = cut == std::string::npos ? path : path.substr(cut + 1);
    f.content.assign(bytes.begin(), bytes.end());
}

void FakeFiles::WriteBinaryAtomic(const std::string& path,
                                  const std::vector<std::span<const uint8_t>>& pieces) {
    const std::string key = NormalizePath(path);
    const std::string parent = ParentOf(key);
    if (!parent.empty() && !folders_.count(parent)) throw err::Make(err::kPathNotFound);
    if (Denied(parent)) throw err::Make(err::kPathFileAccess);
    if (failWritesWith != 0) throw err::Make(failWritesWith);
    auto it = files_.find(key);
    if (it != files_.end() && (it->second.attributes & kAttrReadOnly))
        throw err::Make(err::kPathFileAccess);
    if (failAtomicMoveWith != 0) throw err::Make(failAtomicMoveWith);
    std::string content;
    for (std::span<const uint8_t> piece : pieces) content.append(piece.begin(), piece.end());
    const size_t cut = path.find_last_of("\\/");
    File& f = files_[key];
    f.name = cut == std::string::npos ? path : path.substr(cut + 1);
    f.content = std::move(content);
}

void FakeFiles::Delete(const std::string& path) {
    const std::string key = NormalizePath(path);
    auto it = files_.find(key);
    if (it == files_.end()) throw err::Make(err::kFileNotFound);
    if (it->second.attributes & kAttrReadOnly) throw err::Make(err::kPermissionDenied);
    files_.erase(it);
}

void FakeFiles::Rename(const std::string& from, const std::string& to) {
    const std::string src = NormalizePath(from), dst = NormalizePath(to);
    auto it = files_.find(src);
    if (it == files_.end()) throw err::Make(err::kFileNotFound);
    if (Denied(ParentOf(src))) throw err::Make(err::kPathFileAccess);
    if (src != dst && files_.count(dst)) throw err::Make(err::kFileAlreadyExists);
    File f = it->second;
    files_.erase(it);
    const size_t cut = to.find_last_of("\\/");
    f.name = cut == std::string::npos ? to : to.substr(cut + 1);
    files_[dst] = f;
}

bool FakeFiles::FolderExists(const std::string& path) {
    return !path.empty() && folders_.count(NormalizePath(path)) != 0;
}

void FakeFiles::MakeFolder(const std::string& path) {
    const std::string key = NormalizePath(path);
    const std::string parent = ParentOf(key);
    if (folders_.count(key) || files_.count(key)) throw err::Make(err::kPathFileAccess);
    if (!parent.empty() && !folders_.count(parent)) throw err::Make(err::kPathNotFound);
    if (Denied(parent)) throw err::Make(err::kPathFileAccess);
    folders_.insert(key);
}

std::optional<FoundFile> FakeFiles::FindFirst(const std::string& pattern) {
    std::vector<FoundFile> all = FindAll(pattern);
    if (all.empty()) return std::nullopt;
    return all.front();
}

std::vector<FoundFile> FakeFiles::FindAll(const std::string& pattern) {
    std::vector<FoundFile> found;
    const std::string key = NormalizePath(pattern);
    if (key.empty() || (!pattern.empty() && (pattern.back() == '\\' || pattern.back() == '/')))
        return found;
    const std::string folder = ParentOf(key);
    const std::string namePattern = key.substr(folder.empty() ? 0 : folder.size() + 1);
    // Folders come first, as "." and ".." do on a real search.
    for (const std::string& d : folders_) {
        if (ParentOf(d) == folder && d != folder && WildcardMatch(namePattern, d.substr(folder.size() + 1)))
            found.push_back(FoundFile{d.substr(folder.size() + 1), kAttrDirectory});
    }
    for (const auto& [k, f] : files_) {
        if (ParentOf(k) == folder && WildcardMatch(namePattern, f.name))
            found.push_back(FoundFile{f.name, f.attributes});
    }
    return found;
}

void FakeFiles::AddFolder(const std::string& path) {
    std::string key = NormalizePath(path);
    while (!key.empty()) {
        folders_.insert(key);
        key = ParentOf(key);
    }
}

void FakeFiles::AddFile(const std::string& path, const std::string& content, uint32_t attributes) {
    const std::string key = NormalizePath(path);
    AddFolder(ParentOf(key));
    const size_t cut = path.find_last_of("\\/");
    files_[key] = File{cut == std::string::npos ? path : path.substr(cut + 1), content, attributes};
}

bool FakeFiles::HasFile(const std::string& path) const { return files_.count(NormalizePath(path)) != 0; }

std::string FakeFiles::Content(const std::string& path) const {
    auto it = files_.find(NormalizePath(path));
    return it == files_.end() ? std::string() : it->second.content;
}

std::string FakeFiles::StoredName(const std::string& path) const {
    auto it = files_.find(NormalizePath(path));
    return it == files_.end() ? std::string() : it->second.name;
}

// ----------------------------------------------------------------- clock

DateTime FakeClock::Now() { return now; }

std::string FakeClock::ShortDate(const DateTime& when) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%d/%d/%04d", when.month, when.day, when.year);
    return buf;
}

void FakeClock::Advance(uint32_t ms) {
    tick += ms;
    msRemainder += ms;
    int seconds = static_cast<int>(msRemainder / 1000);
    msRemainder %= 1000;
    // Days do not roll over in tests; seconds carry into minutes and hours.
    int total = now.hour * 3600 + now.minute * 60 + now.second + seconds;
    now.hour = (total / 3600) % 24;
    now.minute = (total / 60) % 60;
    now.second = total % 60;
}

// -------------------------------------------------------------- registry

namespace {
constexpr int32_t kFileNotFoundStatus = 2;
constexpr int32_t kAccessDenied = 5;
constexpr int32_t kInvalidHandle = 6;
constexpr int32_t kMoreData = 234;

const char* RootName(RegKey root) {
    switch (root) {
    case 0x80000000u: return "HKEY_CLASSES_ROOT";
    case 0x80000001u: return "HKEY_CURRENT_USER";
    case 0x80000002u: return "HKEY_LOCAL_MACHINE";
    case 0x80000003u: return "HKEY_USERS";
    case 0x80000004u: return "HKEY_PERFORMANCE_DATA";
    case 0x80000005u: return "HKEY_CURRENT_CONFIG";
    case 0x80000006u: return "HKEY_DYN_DATA";
    default: return nullptr;
    }
}

std::string UpperName(const std::string& s) {
    std::string out = s;
    for (char& c : out) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return out;
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
    return subkey.empty() ? NormalizePath(base) : NormalizePath(base + "\\" + subkey);
}

int32_t FakeRegistry::OpenKeyEx(RegKey root, const std::string& subkey, uint32_t, uint32_t access,
                                RegKey& key) {
    openAccessRequests.push_back(access);
    const std::string path = FullPath(root, subkey);
    if (path.empty()) return kInvalidHandle;
    const bool isRoot = RootName(root) && subkey.empty();
    if (!isRoot && !keys_.count(path)) return kFileNotFoundStatus;
    key = next_++;
    open_[key] = Open{path, access};
    return 0;
}

int32_t FakeRegistry::CreateKey(RegKey root, const std::string& subkey, RegKey& key) {
    const std::string path = FullPath(root, subkey);
    if (path.empty()) return kInvalidHandle;
    if (!subkey.empty()) AddKey(path);
    key = next_++;
    open_[key] = Open{path, 0xF003F};
    return 0;
}

int32_t FakeRegistry::QueryValueEx(RegKey key, const std::string& name, uint32_t& type,
                                   uint8_t* data, uint32_t& length) {
    auto it = open_.find(key);
    if (it == open_.end()) return kInvalidHandle;
    auto k = keys_.find(it->second.path);
    if (k == keys_.end()) return kFileNotFoundStatus;
    auto v = k->second.find(UpperName(name));
    if (v == k->second.end()) return kFileNotFoundStatus;
    type = v->second.type;
    const uint32_t size = static_cast<uint32_t>(v->second.data.size());
    if (size > length) {
        length = size;
        return kMoreData;
    }
    std::copy(v->second.data.begin(), v->second.data.end(), data);
    length = size;
    return 0;
}

int32_t FakeRegistry::SetValueEx(RegKey key, const std::string& name, uint32_t type,
                                 const uint8_t* data, uint32_t length) {
    auto it = open_.find(key);
    if (it == open_.end()) return kInvalidHandle;
    if (!(it->second.access & 0x2) || readOnlyKeys.count(it->second.path)) return kAccessDenied;
    keys_[it->second.path][UpperName(name)] = Value{type, std::vector<uint8_t>(data, data + length)};
    return 0;
}

int32_t FakeRegistry::CloseKey(RegKey key) { return open_.erase(key) ? 0 : kInvalidHandle; }

void FakeRegistry::AddKey(const std::string& path) {
    std::string key = NormalizePath(path);
    while (key.find('\\') != std::string::npos) {
        keys_[key];
        key = key.substr(0, key.rfind('\\'));
    }
}

void FakeRegistry::PutString(const std::string& path, const std::string& name,
                             const std::string& text, bool terminated) {
    AddKey(path);
    std::vector<uint8_t> data(text.begin(), text.end());
    if (terminated) data.push_back(0);
    keys_[NormalizePath(path)][UpperName(name)] = Value{1, data};
}

void FakeRegistry::PutDword(const std::string& path, const std::string& name, uint32_t value) {
    AddKey(path);
    keys_[NormalizePath(path)][UpperName(name)] =
        Value{4, {static_cast<uint8_t>(value), static_cast<uint8_t>(value >> 8),
                  static_cast<uint8_t>(value >> 16), static_cast<uint8_t>(value >> 24)}};
}

std::optional<FakeRegistry::Value> FakeRegistry::Get(const std::string& path,
                                                     const std::string& name) const {
    auto k = keys_.find(NormalizePath(path));
    if (k == keys_.end()) return std::nullopt;
    auto v = k->second.find(UpperName(name));
    if (v == k->second.end()) return std::nullopt;
    return v->second;
}

bool FakeRegistry::HasKey(const std::string& path) const { return keys_.count(NormalizePath(path)) != 0; }

// -------------------------------------------------------------- platform

FakePlatform::FakePlatform() {
    SetPlatform(Platform{&events, &app, &files, &clock, &ui, &shell, &locale, &registry});
    platform().processes = &processes;
    platform().environment = &environment;
    processes.clock = &clock;
    platform().dialogs = &dialogs;
    platform().reads = &reads;
    platform().signing = &signing;
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
