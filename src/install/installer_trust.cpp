#include "install/installer_trust.h"

#include <cstdio>
#include <algorithm>

#include "core/sha256.h"
#include "core/failure.h"

namespace tav {

namespace {

InstallerVerdict Refuse(std::string reason) {
    InstallerVerdict v;
    v.reason = std::move(reason);
    return v;
}

// The verifier's codes (winerror.h), kept here so that the judgement
// stays portable.
constexpr uint32_t kCertRevoked = 0x800B010Cu;             // CERT_E_REVOKED
constexpr uint32_t kCryptRevoked = 0x80092010u;            // CRYPT_E_REVOKED
constexpr uint32_t kCertRevocationFailure = 0x800B010Eu;   // CERT_E_REVOCATION_FAILURE
constexpr uint32_t kCryptNoRevocationCheck = 0x80092012u;  // CRYPT_E_NO_REVOCATION_CHECK
constexpr uint32_t kCryptRevocationOffline = 0x80092013u;  // CRYPT_E_REVOCATION_OFFLINE

}  // namespace

bool IsRevokedStatus(uint32_t status) { return status == kCertRevoked || status == kCryptRevoked; }

bool IsRevocationUnknownStatus(uint32_t status) {
    return status == kCertRevocationFailure || status == kCryptNoRevocationCheck ||
           status == kCryptRevocationOffline;
}

std::string StatusText(uint32_t status) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "0x%08X", static_cast<unsigned>(status));
    return buf;
}

InstallerVerdict JudgeInstaller(const TrustPolicy& policy, const SignatureInfo& installer) {
    if (installer.state == SignatureState::Invalid) {
        const std::string status = " (" + StatusText(installer.status) + ")";
        if (IsRevokedStatus(installer.status))
            return Refuse("its signer's certificate is revoked" + status);
        // Refused as well: the installer runs as administrator, so a
        // certificate that may have been revoked is not trusted.
        if (IsRevocationUnknownStatus(installer.status))
            return Refuse("the revocation of its signer's certificate could not be checked" +
                          status);
        return Refuse("its signature is present but not valid" + status);
    }
    InstallerVerdict accepted;
    accepted.accepted = true;
    if (policy.development()) return accepted;
    if (installer.state != SignatureState::Valid) return Refuse("it is not signed");
    // A subject can be copied into any certificate; only the key tells the
    // publisher.
    const bool pinned = !installer.signerKeyInfo.empty() &&
                        std::find(policy.pinnedKeys.begin(), policy.pinnedKeys.end(),
                                  Sha256Hex(installer.signerKeyInfo)) != policy.pinnedKeys.end();
    if (!pinned) return Refuse("it is signed by another publisher (" + installer.signerName + ")");
    return accepted;
}

InstallerVerdict VerifyInstaller(HeldFile& file, const TrustPolicy& policy) {
    try {
        return JudgeInstaller(policy, file.Signature());
    } catch (const Failure& f) {
        return Refuse("its signature could not be checked (" + f.description() + ")");
    } catch (...) {
        return Refuse("its signature could not be checked");
    }
}

std::optional<InstallerVerdict> JudgeDigest(const std::optional<Sha256Digest>& expected,
                                            const Sha256Digest& received) {
    if (!expected || *expected == received) return std::nullopt;
    InstallerVerdict v =
        Refuse("its SHA-256 is " + HexText(received) + ", not the expected " + HexText(*expected));
    v.refusal = "does not match the expected digest";
    return v;
}

// One read of the held file: large enough that a large installer is read
// in few calls, small enough to leave the memory flat.
constexpr size_t kHeldReadBytes = size_t{1} << 20;

Sha256Digest HeldDigest(StagedFile& file, const std::function<bool()>& stopRequested) {
    Sha256Hasher hasher;
    std::vector<uint8_t> room(kHeldReadBytes);
    for (uint64_t at = 0;;) {
        if (stopRequested && stopRequested()) throw err::Make(err::kUserInterrupt);
        const size_t got = file.Read(at, room);
        if (got == 0) break;
        hasher.Update(std::span<const uint8_t>(room.data(), got));
        at += got;
    }
    return hasher.Finish();
}

}  // namespace tav
