#include "fake_platform.h"

#include "app/state.h"
#include "dialog/frmDialog.h"

namespace tav::fakes {

std::string NormalizePath(const std::string& path) {
    std::string out;
    for (char c : path)
        out += c == '/' ? '\\' : static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    while (!out.empty() && out.back() == '\\') out.pop_back();
    return out;
}

FakePlatform::FakePlatform() {
    SetPlatform(Platform{&events, &app, &files, &clock, &ui, &shell, &locale, &registry, &processes,
                         &environment, &dialogs, &reads, &signing});
    sInstallLocation.clear();
    sInstallLocationProblem.clear();
    ReleaseDialogForm();
    ReleaseErrorLog();
    CurrentError().Clear();
}

FakePlatform::~FakePlatform() {
    ReleaseDialogForm();
    ReleaseErrorLog();
    sInstallLocation.clear();
    SetPlatform(Platform{});
}

}  // namespace tav::fakes
