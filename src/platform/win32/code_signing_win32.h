// Authenticode checks through WinVerifyTrust on a file held open without
// write or delete sharing.
#pragma once

#include "platform/code_signing.h"

namespace tav::win32 {

class Win32CodeSigning : public CodeSigning {
public:
    std::unique_ptr<HeldFile> Hold(const std::string& path) override;
    std::unique_ptr<StagedFile> CreateStaged(const std::string& folder) override;
};

}  // namespace tav::win32
