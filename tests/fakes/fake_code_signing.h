// Staged files live in memory; every file is unsigned.
#pragma once

#include <cstring>

#include "core/failure.h"
#include "platform/code_signing.h"

namespace tav::fakes {

struct FakeCodeSigning : CodeSigning {
    // Holds what was written.
    struct File : StagedFile {
        explicit File(std::string p, std::string b = {})
            : path(std::move(p)), bytes(std::move(b)) {}
        SignatureInfo Signature() override { return {}; }
        std::string Path() const override { return path; }
        void Rename(const std::string& name, bool) override { path = name; }
        void PrepareStart() override {}
        void Truncate() override { bytes.clear(); }
        void Append(std::span<const uint8_t> b) override { bytes.append(b.begin(), b.end()); }
        size_t Read(uint64_t at, std::span<uint8_t> dst) override {
            const size_t n =
                at >= bytes.size()
                    ? 0
                    : static_cast<size_t>(std::min<uint64_t>(dst.size(), bytes.size() - at));
            if (n > 0) std::memcpy(dst.data(), bytes.data() + at, n);
            return n;
        }
        void Flush() override {}
        std::string path, bytes;
    };
    std::unique_ptr<HeldFile> Hold(const std::string& path) override {
        return std::make_unique<File>(path);
    }
    std::unique_ptr<StagedFile> CreateStaged(const std::string& folder) override {
        return std::make_unique<File>(folder + "\\staged");
    }
};

}  // namespace tav::fakes
