#include "fake_platform.h"

#include "dialog/frmDialog.h"

namespace tav::fakes {

namespace {

std::string Leaf(const std::string& path) { return path.substr(path.find_last_of("\\/") + 1); }

constexpr int32_t kNotFound = 2;
constexpr int32_t kAccessDenied = 5;
constexpr RegKey kLocalMachine = 0x80000002u;  // the only root the tests read or write

}  // namespace

std::string NormalizePath(const std::string& path) {
    std::string out;
    for (char c : path)
        out += c == '/' ? '\\' : static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    while (!out.empty() && out.back() == '\\') out.pop_back();
    return out;
}

std::string ParentOf(const std::string& key) {
    const size_t cut = key.rfind('\\');
    return cut == std::string::npos ? "" : key.substr(0, cut);
}

void FakeFiles::OpenAppend(int number, const std::string& path) {
    open_[number] = Writable(path);
    files_.try_emplace(open_[number], File{Leaf(path), {}});
}

void FakeFiles::PrintLine(int number, const std::string& text) {
    if (!open_.count(number)) throw err::Make(err::kBadFileNameOrNumber);
    if (failWritesWith) throw err::Make(failWritesWith);
    files_[open_[number]].content += text + "\r\n";
}

std::optional<FoundFile> FakeFiles::FindFirst(const std::string& path) {
    const auto it = files_.find(NormalizePath(path));
    if (it == files_.end()) return std::nullopt;
    return FoundFile{it->second.name, it->second.attributes};
}

void FakeFiles::AddFolder(const std::string& path) {
    for (std::string key = NormalizePath(path); !key.empty(); key = ParentOf(key))
        folders_.insert(key);
}

void FakeFiles::AddFile(const std::string& path, const std::string& content, uint32_t attributes) {
    AddFolder(ParentOf(NormalizePath(path)));
    files_[NormalizePath(path)] = File{Leaf(path), content, attributes};
}

std::string FakeFiles::Content(const std::string& path) const {
    const auto it = files_.find(NormalizePath(path));
    return it == files_.end() ? "" : it->second.content;
}

std::string FakeFiles::Writable(const std::string& path) const {
    const std::string key = NormalizePath(path);
    if (!folders_.count(ParentOf(key))) throw err::Make(err::kPathNotFound);
    const auto it = files_.find(key);
    const bool readOnly = it != files_.end() && (it->second.attributes & kAttrReadOnly);
    if (readOnly || folders_.count(key)) throw err::Make(err::kPathFileAccess);
    return key;
}

int32_t FakeRegistry::OpenKeyEx(RegKey root, const std::string& subkey, uint32_t, uint32_t access,
                                RegKey& key) {
    openAccessRequests.push_back(access);
    const std::string path = FullPath(root, subkey);
    if (path.empty()) return kInvalidHandle;
    if (!subkey.empty() && !keys_.count(path)) return kNotFound;
    key = Hand(path, access);
    return kRegSuccess;
}

int32_t FakeRegistry::CreateKey(RegKey root, const std::string& subkey, RegKey& key) {
    const std::string path = FullPath(root, subkey);
    if (path.empty()) return kInvalidHandle;
    AddKey(path);
    key = Hand(path, kKeyRead | kKeyWrite);
    return kRegSuccess;
}

int32_t FakeRegistry::QueryValueEx(RegKey key, const std::string& name, uint32_t& type,
                                   uint8_t* data, uint32_t& length) {
    if (!open_.count(key)) return kInvalidHandle;
    const auto v = values_.find(open_[key].first + "|" + NormalizePath(name));
    if (v == values_.end()) return kNotFound;
    const auto& [stored, bytes] = v->second;
    const uint32_t size = static_cast<uint32_t>(bytes.size());
    const bool fits = size <= length;
    type = stored;
    length = size;
    if (!fits) return kRegMoreData;
    std::copy(bytes.begin(), bytes.end(), data);
    return kRegSuccess;
}

int32_t FakeRegistry::SetValueEx(RegKey key, const std::string& name, uint32_t type,
                                 const uint8_t* data, uint32_t length) {
    if (!open_.count(key)) return kInvalidHandle;
    const auto& [path, access] = open_[key];
    if ((access & kKeyWrite) != kKeyWrite || readOnlyKeys.count(path)) return kAccessDenied;
    values_[path + "|" + NormalizePath(name)] = {type, std::vector<uint8_t>(data, data + length)};
    return kRegSuccess;
}

void FakeRegistry::AddKey(const std::string& path) {
    for (std::string key = NormalizePath(path); key.find('\\') != std::string::npos;
         key = ParentOf(key))
        keys_.insert(key);
}

void FakeRegistry::PutString(const std::string& path, const std::string& name,
                             const std::string& text, bool terminated, uint32_t type) {
    AddKey(path);
    const uint8_t* bytes = reinterpret_cast<const uint8_t*>(text.c_str());
    values_[NormalizePath(path) + "|" + NormalizePath(name)] = {
        type, std::vector<uint8_t>(bytes, bytes + text.size() + terminated)};
}

std::string FakeRegistry::FullPath(RegKey root, const std::string& subkey) const {
    std::string base;
    if (root == kLocalMachine)
        base = "HKEY_LOCAL_MACHINE";
    else if (open_.count(root))
        base = open_.at(root).first;
    if (base.empty() || subkey.empty()) return base;
    return NormalizePath(base + "\\" + subkey);
}

RegKey FakeRegistry::Hand(const std::string& path, uint32_t access) {
    open_[next_] = {path, access};
    return next_++;
}

Platform FakePlatform::Services() {
    return Platform{&events,   &app,       &files,       &clock,   &ui,    &shell,  &locale,
                    &registry, &processes, &environment, &dialogs, &reads, &signing};
}

FakePlatform::FakePlatform() {
    SetPlatform(Services());
    ReleaseDialogForm();
}

FakePlatform::~FakePlatform() {
    ReleaseDialogForm();
    SetPlatform(Platform{});
}

}  // namespace tav::fakes
