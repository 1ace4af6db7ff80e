// Signatures by file name, and holds that can be counted and that make a
// held file refuse writing in the fake file system's eyes.
#pragma once

#include <map>
#include <memory>
#include <set>
#include <string>

#include "platform/code_signing.h"
#include "core/failure.h"

namespace tav::fakes {

class FakeCodeSigning : public CodeSigning {
public:
    std::unique_ptr<HeldFile> Hold(const std::string& path) override;
    // Keeps the bytes in `staged` under folder + "\\staged" while held.
    std::unique_ptr<StagedFile> Stage(const std::string& folder,
                                      const std::vector<std::span<const uint8_t>>& pieces) override;

    // Signed by a signer named name (its key derives from it).
    static SignatureInfo SignedBy(const std::string& name, SignatureState state = SignatureState::Valid,
                                  uint32_t status = 0);

    std::map<std::string, SignatureInfo> signatures;  // path -> signature; others are unsigned
    std::set<std::string> unopenable;                 // Hold throws for these
    std::set<std::string> held;                       // paths with a live hold
    std::map<std::string, std::string> staged;        // staged path -> bytes, while held
    int holdsTaken = 0;
};

}  // namespace tav::fakes
