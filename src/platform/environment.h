// The desktop and system facts the program adapts to: window icons, system
// metrics, the management service and the system folder.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/processes.h"

namespace tav {

inline constexpr int32_t kSmCxIcon = 11;
inline constexpr int32_t kSmCyIcon = 12;
inline constexpr int32_t kSmCxSmIcon = 49;
inline constexpr int32_t kSmCySmIcon = 50;

inline constexpr uint32_t kWmSetIcon = 0x0080;
inline constexpr uintptr_t kIconSmall = 0;
inline constexpr uintptr_t kIconBig = 1;

using IconHandle = std::uintptr_t;

class Environment {
public:
    virtual ~Environment() = default;

    // The window's owner, 0 for none.
    virtual WindowHandle OwnerWindow(WindowHandle window) = 0;
    virtual int32_t SystemMetric(int32_t index) = 0;
    // The named icon of the program's own resources at the given size, as
    // an image the system shares and frees; 0 when it cannot be loaded.
    virtual IconHandle LoadSharedIcon(const std::string& name, int32_t width, int32_t height) = 0;
    // Sends a message and waits for its result.
    virtual intptr_t SendWindowMessage(WindowHandle window, uint32_t message, uintptr_t wParam,
                                       intptr_t lParam) = 0;

    // Runs a WQL query against the management service's ROOT\CIMV2 and
    // gives, per returned object in order, one property as text (nothing
    // when the object lacks it). Throws tav::Failure when the service or
    // the query is unavailable.
    virtual std::vector<std::optional<std::string>> ManagementQuery(
        const std::string& wql, const std::string& property) = 0;

    // The folder of the system's own programs, no trailing "\".
    virtual std::string SystemFolder() = 0;
};

}  // namespace tav
