// Whether a downloaded installer may be started: its signature judged
// against the program's own, on a file held open from check to start.
#pragma once

#include <memory>
#include <string>

#include "platform/code_signing.h"

namespace tav {

struct InstallerVerdict {
    bool accepted = false;
    // Accepted only because neither the program nor the installer is signed.
    bool acceptedUnsigned = false;
    // Why it was refused, for the log.
    std::string reason;
    // Keeps the checked file from being swapped; release it only after the
    // installer has been started.
    std::unique_ptr<HeldFile> hold;
};

// The rule on two signatures: a signed program starts only installers that
// carry a valid signature of the same signer; a broken signature is always
// refused; an unsigned program also starts unsigned installers.
InstallerVerdict JudgeInstaller(const SignatureInfo& program, const SignatureInfo& installer);

// Holds path, checks its signature on the held file and judges it. Never
// throws: a file that cannot be held or checked is refused.
InstallerVerdict VerifyInstaller(const std::string& path);

// The size of the certificate table a PE image declares in its headers, or
// 0 when it declares none or the bytes are no PE image.
uint32_t DeclaredCertificateTableSize(const uint8_t* data, size_t size);

// "0x800B0100".
std::string StatusText(uint32_t status);

}  // namespace tav
