#include "app/state.h"

#include <memory>

#include "error_log/CErrorUpdate.h"

namespace tav {

std::string sInstallLocation;
std::string sInstallLocationProblem;

namespace {
std::unique_ptr<CErrorUpdate>& Logger() {
    static std::unique_ptr<CErrorUpdate> logger;
    return logger;
}
}  // namespace

CErrorUpdate& ErrorLog() {
    auto& logger = Logger();
    if (!logger) logger = std::make_unique<CErrorUpdate>();
    return *logger;
}

void ReleaseErrorLog() { Logger().reset(); }

}  // namespace tav
