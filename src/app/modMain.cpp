#include "app/modMain.h"

#include <cctype>

#include "app/state.h"
#include "error_log/CErrorUpdate.h"
#include "error_log/trap.h"
#include "platform/platform.h"
#include "system/registry.h"

namespace tav {

namespace {

bool IsFullPath(const std::string& folder) {
    // What follows is always "\" and a name: a drive letter alone is its
    // root. A UNC share, but no device namespace ("\\.\", "\\?\").
    const bool drive = folder.size() >= 2 && std::isalpha(static_cast<unsigned char>(folder[0])) &&
                       folder[1] == ':' && (folder.size() == 2 || folder[2] == '\\');
    const bool share = folder.size() > 2 && folder.compare(0, 2, "\\\\") == 0 && folder[2] != '.' &&
                       folder[2] != '?' && folder[2] != '\\';
    return drive || share;
}

void LogAsMain(const Failure& failure) {
    CurrentError().Set(failure);
    ErrorLog().Log("modMain.Main");
    CurrentError().Clear();
}

}  // namespace

std::string InstallLocationProblem(const std::optional<std::string>& value, int32_t status,
                                   uint32_t type) {
    const std::string where =
        std::string("The TAV installation folder (") + kTavKey + ", " + kInstallLocationValue + ")";
    if (status == kRegMoreData)
        return where + " is longer than the 254 characters the update reads";
    if (!value || value->empty()) return where + " is not set in the registry";
    if (type == kRegExpandSz)
        return where +
               " is stored with variables to expand (REG_EXPAND_SZ), which the update does not do";
    if (type != kRegSz) return where + " is not stored as text";
    if (!IsFullPath(*value)) return where + " \"" + *value + "\" is not a full path";
    return {};
}

bool Main(const std::function<void()>& openMainWindow) {
    Trap trap("modMain.Main");
    bool another = false;
    // A check that cannot tell (the lock is another user's, or refused) is
    // no licence to run beside another copy.
    Trap quiet = Trap::Silent();
    const bool told = quiet([&] { another = platform().app->PrevInstance(); });
    if (another) return false;  // no window, no message, no log entry
    std::optional<std::string> value;
    uint32_t type = 0;
    trap([&] { value = GetStringValue(kTavKey, kInstallLocationValue, &type); });
    sInstallLocationProblem = InstallLocationProblem(value, RegistryState().status, type);
    // A folder that cannot be used is not used, not even for the log: the
    // log then goes where it goes without one.
    sInstallLocation = sInstallLocationProblem.empty() ? *value : "";
    if (!told) {
        trap([&] { LogAsMain(Failure(err::kPermissionDenied, quiet.lastError())); });
        return false;
    }
    if (!sInstallLocationProblem.empty())
        trap([&] { LogAsMain(Failure(err::kPathNotFound, sInstallLocationProblem)); });
    trap([&] { openMainWindow(); });
    return true;
}

}  // namespace tav
