// Signatures by file name; nothing is written anywhere.
#pragma once

#include <map>
#include <memory>
#include <string>

#include "platform/code_signing.h"

namespace tav::fakes {

struct FakeCodeSigning : CodeSigning {
    struct File : StagedFile {
        File(FakeCodeSigning& o, std::string p) : owner(o), path(std::move(p)) {}
        SignatureInfo Signature() override { return owner.signatures[path]; }
        std::string Path() const override { return path; }
        void Rename(const std::string& name) override { path = name; }
        void PrepareStart() override {}
        FakeCodeSigning& owner;
        std::string path;
    };
    std::unique_ptr<HeldFile> Hold(const std::string& path) override { return std::make_unique<File>(*this, path); }
    std::unique_ptr<StagedFile> Stage(const std::string& folder, const std::vector<std::span<const uint8_t>>& pieces) override {
        for (staged.clear(); const auto& piece : pieces) staged.append(piece.begin(), piece.end());
        return std::make_unique<File>(*this, folder + "\\staged");
    }
    std::map<std::string, SignatureInfo> signatures;  // path -> signature; others are unsigned
    std::string staged;                               // the bytes last staged
};

}  // namespace tav::fakes
