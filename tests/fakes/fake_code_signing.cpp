#include "fakes/fake_code_signing.h"

namespace tav::fakes {

namespace {

class FakeHeldFile : public HeldFile {
public:
    FakeHeldFile(FakeCodeSigning& owner, std::string path) : owner_(owner), path_(std::move(path)) {
        owner_.held.insert(path_);
    }
    ~FakeHeldFile() override { owner_.held.erase(path_); }
    SignatureInfo Signature() override {
        const auto it = owner_.signatures.find(path_);
        return it == owner_.signatures.end() ? SignatureInfo{} : it->second;
    }

private:
    FakeCodeSigning& owner_;
    std::string path_;
};

class FakeStagedFile : public StagedFile {
public:
    FakeStagedFile(FakeCodeSigning& owner, std::string path) : owner_(owner), path_(std::move(path)) {}
    ~FakeStagedFile() override { owner_.staged.erase(path_); }
    SignatureInfo Signature() override { return {}; }
    std::string Path() const override { return path_; }
    void Rename(const std::string&) override { throw err::Make(err::kPathFileAccess); }
    void PrepareStart() override {}

private:
    FakeCodeSigning& owner_;
    std::string path_;
};

}  // namespace

std::unique_ptr<StagedFile> FakeCodeSigning::Stage(const std::string& folder,
                                                   const std::vector<std::span<const uint8_t>>& pieces) {
    const std::string path = folder + "\\staged";
    std::string& bytes = staged[path];
    for (std::span<const uint8_t> piece : pieces) bytes.append(piece.begin(), piece.end());
    return std::make_unique<FakeStagedFile>(*this, path);
}

std::unique_ptr<HeldFile> FakeCodeSigning::Hold(const std::string& path) {
    if (unopenable.count(path)) throw err::Make(err::kPathFileAccess);
    ++holdsTaken;
    return std::make_unique<FakeHeldFile>(*this, path);
}

SignatureInfo FakeCodeSigning::SignedBy(const std::string& name, SignatureState state, uint32_t status) {
    SignatureInfo s;
    s.state = state;
    s.status = status;
    s.signerName = "CN=" + name;
    const std::string key = "key of " + name;
    s.signerKeyInfo.assign(key.begin(), key.end());
    return s;
}

}  // namespace tav::fakes
