// Staging keeps the bytes in memory; every file is unsigned.
#pragma once


#include "platform/code_signing.h"

namespace tav::fakes {

struct FakeCodeSigning : CodeSigning {
    struct File : StagedFile {
        explicit File(std::string p) : path(std::move(p)) {}
        SignatureInfo Signature() override { return {}; }
        std::string Path() const override { return path; }
        void Rename(const std::string& name, bool) override { path = name; }
        void PrepareStart() override {}
        std::string path;
    };
    std::unique_ptr<HeldFile> Hold(const std::string& path) override { return std::make_unique<File>(path); }
    std::unique_ptr<StagedFile> Stage(const std::string& folder, const std::vector<std::span<const uint8_t>>& pieces) override {
        for (staged.clear(); const auto& piece : pieces) staged.append(piece.begin(), piece.end());
        return std::make_unique<File>(folder + "\\staged");
    }
    std::string staged;  // the bytes last staged
};

}  // namespace tav::fakes
