#include "fake_platform.h"

#include "dialog/frmDialog.h"

namespace tav::fakes {

std::string NormalizePath(const std::string& path) {
    std::string out;
    for (char c : path)
        out += c == '/' ? '\\' : static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    while (!out.empty() && out.back() == '\\') out.pop_back();
    return out;
}

Platform FakePlatform::Services() {
    return Platform{&events,   &app,       &files,       &clock,   &ui,    &shell,  &locale,
                    &registry, &processes, &environment, &dialogs, &reads, &signing};
}

FakePlatform::FakePlatform() {
    SetPlatform(Services());
    ReleaseDialogForm();
}

FakePlatform::~FakePlatform() {
    ReleaseDialogForm();
    SetPlatform(Platform{});
}

}  // namespace tav::fakes
