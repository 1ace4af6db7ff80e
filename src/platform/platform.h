// Where the program finds its run-time services. Start-up installs the
// Win32 ones; tests install fakes.
#pragma once

#include "platform/code_signing.h"
#include "platform/environment.h"
#include "platform/processes.h"
#include "platform/dialog_view.h"
#include "platform/read_service.h"
#include "platform/registry_api.h"
#include "platform/runtime.h"

namespace tav {

struct Platform {
    EventLoop* events = nullptr;
    App* app = nullptr;
    Files* files = nullptr;
    Clock* clock = nullptr;
    Ui* ui = nullptr;
    Shell* shell = nullptr;
    Locale* locale = nullptr;
    RegistryApi* registry = nullptr;
    Processes* processes = nullptr;
    Environment* environment = nullptr;
    DialogViews* dialogs = nullptr;
    ReadService* reads = nullptr;
    CodeSigning* signing = nullptr;
};

// The installed services. Every member is set before any routine runs.
Platform& platform();
void SetPlatform(const Platform& services);

}  // namespace tav
