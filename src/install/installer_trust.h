// Whether a downloaded installer may be started: its signature judged
// against the publisher keys the build pins, on a file held open from check
// to start.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "core/pe_image.h"
#include "core/sha256.h"
#include "platform/code_signing.h"

namespace tav {

// Which installers a build starts. A release build pins its publishers'
// keys; a build without any is a development build.
struct TrustPolicy {
    // SHA-256 of each trusted signer certificate's SubjectPublicKeyInfo, as
    // 64 lower-case hex digits.
    std::vector<std::string> pinnedKeys;
    bool development() const { return pinnedKeys.empty(); }
};

// The policy this build was configured with (TAV_TRUSTED_PUBLISHER_KEYS).
const TrustPolicy& BuildTrustPolicy();

struct InstallerVerdict {
    bool accepted = false;
    // Why it was refused, for the log.
    std::string reason;
    // What the refusal tells the user after "The installer <path> ".
    std::string refusal = "failed its signature check";
};

// An installer the caller named by its digest must have exactly that one,
// whatever the build trusts; nothing when there is nothing to refuse.
std::optional<InstallerVerdict> JudgeDigest(const std::optional<Sha256Digest>& expected,
                                            const Sha256Digest& received);

// The digest of what the held file holds now, read through its hold.
// stopRequested ends the reading early (a failure). Throws tav::Failure.
Sha256Digest HeldDigest(StagedFile& file, const std::function<bool()>& stopRequested = {});

// A release build starts only installers validly signed by a pinned key;
// a development build also starts unsigned ones; a broken signature, a
// revoked signer and a signer whose revocation could not be checked are
// always refused.
InstallerVerdict JudgeInstaller(const TrustPolicy& policy, const SignatureInfo& installer);

// Checks the signature of the held file and judges it. Never throws: a
// file whose check cannot run is refused.
InstallerVerdict VerifyInstaller(HeldFile& file, const TrustPolicy& policy);

// Whether a verifier's code says that a certificate of the signature's
// chain is revoked, or that whether it is could not be learnt (no list or
// responder named, none reachable).
bool IsRevokedStatus(uint32_t status);
bool IsRevocationUnknownStatus(uint32_t status);

// "0x800B0100".
std::string StatusText(uint32_t status);

}  // namespace tav
