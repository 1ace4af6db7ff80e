#include "app/modMain.h"

#include <cctype>

#include "app/state.h"
#include "error_log/trap.h"

namespace tav {

namespace {

// What the registry layer's buffer holds, less the terminator.
constexpr int kLongestFolder = 254;

bool IsFullPath(const std::string& folder) {
    // What follows is always "\" and a name: a drive letter alone is its
    // root. A UNC share, but no device namespace ("\\.\", "\\?\").
    const bool drive = folder.size() >= 2 && std::isalpha(static_cast<unsigned char>(folder[0])) &&
                       folder[1] == ':' && (folder.size() == 2 || folder[2] == '\\');
    const bool share = folder.size() > 2 && folder.compare(0, 2, "\\\\") == 0 && folder[2] != '.' &&
                       folder[2] != '?' && folder[2] != '\\';
    return drive || share;
}

}  // namespace

std::string InstallLocationProblem(const std::optional<std::string>& value, int32_t status,
                                   uint32_t type) {
    const std::string where =
        std::string("The TAV installation folder (") + kTavKey + ", " + kInstallLocationValue + ")";
    if (status == kRegMoreData)
        return where + " is longer than the " + std::to_string(kLongestFolder) +
               " characters the update reads";
    if (!value || value->empty()) return where + " is not set in the registry";
    if (type == kRegExpandSz)
        return where +
               " is stored with variables to expand (REG_EXPAND_SZ), which the update does not do";
    if (type != kRegSz) return where + " is not stored as text";
    if (!IsFullPath(*value)) return where + " \"" + *value + "\" is not a full path";
    return {};
}

bool Main(ProgramState& state, App& app, const std::function<void()>& openMainWindow) {
    constexpr const char* kRoutine = "modMain.Main";
    // A check that cannot tell (the lock is another user's, or refused) is
    // no licence to run beside another copy.
    bool another = false;
    Trap quiet = Trap::Silent();
    const bool told = quiet([&] { another = app.PrevInstance(); });
    if (another) return false;  // no window, no message, no log entry
    uint32_t type = 0;
    const std::optional<std::string> value =
        state.registry.GetStringValue(kTavKey, kInstallLocationValue, &type);
    InstallLocation& location = state.location;
    location.problem = InstallLocationProblem(value, state.registry.status(), type);
    // A folder that cannot be used is not used, not even for the log: the
    // log then goes where it goes without one.
    location.folder = location.problem.empty() ? *value : "";
    if (!told) {
        state.log.Log(kRoutine, Failure(err::kPermissionDenied, quiet.lastError()));
        return false;
    }
    if (!location.problem.empty())
        state.log.Log(kRoutine, Failure(err::kPathNotFound, location.problem));
    Trap trap(state.log, kRoutine);
    trap([&] { openMainWindow(); });
    return true;
}

}  // namespace tav
