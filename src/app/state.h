// What the program's parts share: made once by the composition (the
// process's start, or a test) and handed to each part that needs it.
#pragma once

#include "core/install_location.h"
#include "error_log/CErrorUpdate.h"
#include "platform/platform.h"
#include "system/registry.h"

namespace tav {

struct ProgramState {
    // The log and the registry layer work with services, which must outlive
    // the state.
    explicit ProgramState(const Platform& services)
        : log({*services.files, *services.ui, *services.app, *services.clock}, location),
          registry(*services.registry, *services.locale, log) {}
    ProgramState(const ProgramState&) = delete;
    ProgramState& operator=(const ProgramState&) = delete;

    // Written once by Main.
    InstallLocation location;
    CErrorUpdate log;
    Registry registry;
};

}  // namespace tav
