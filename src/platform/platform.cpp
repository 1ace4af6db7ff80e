#include "platform/platform.h"

namespace tav {

namespace {
Platform& Installed() {
    static Platform services;
    return services;
}
}  // namespace

Platform& platform() { return Installed(); }
void SetPlatform(const Platform& services) { Installed() = services; }

}  // namespace tav
