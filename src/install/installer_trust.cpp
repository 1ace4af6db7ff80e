#include "install/installer_trust.h"

#include <cstdio>
#include <algorithm>

#include "install/sha256.h"
#include "core/failure.h"

namespace tav {

namespace {

InstallerVerdict Refuse(std::string reason) {
    InstallerVerdict v;
    v.reason = std::move(reason);
    return v;
}

}  // namespace

std::string StatusText(uint32_t status) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "0x%08X", static_cast<unsigned>(status));
    return buf;
}

InstallerVerdict JudgeInstaller(const TrustPolicy& policy, const SignatureInfo& installer) {
    if (installer.state == SignatureState::Invalid)
        return Refuse("its signature is present but not valid (" + StatusText(installer.status) + ")");
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

}  // namespace tav
