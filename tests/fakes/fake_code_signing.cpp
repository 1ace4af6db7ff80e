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

}  // namespace

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
