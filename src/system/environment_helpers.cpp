#include "system/environment_helpers.h"

#include <cctype>
#include <optional>
#include <vector>

#include "error_log/trap.h"

namespace tav {

namespace {

// Past this the number read no longer grows: a width has a few digits.
constexpr long long kLeadingNumberCap = 1'000'000'000'000LL;
// The address width of a 32-bit system.
constexpr long long kThirtyTwoBits = 32;

// The number a text begins with, as the classic Val() reads it; 0 when it
// begins with none.
long long LeadingNumber(const std::string& text) {
    size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '-' || text[i] == '+')) negative = text[i++] == '-';
    long long value = 0;
    for (; i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])); ++i) {
        if (value > kLeadingNumberCap) break;
        value = value * 10 + (text[i] - '0');
    }
    return negative ? -value : value;
}

// Owner chains cannot loop on a real desktop; the bound only guards the walk.
constexpr int kMaxOwnerChain = 1000;

constexpr const char* kProcessorQuery = "SELECT * FROM Win32_Processor";
constexpr const char* kAddressWidthProperty = "AddressWidth";

}  // namespace

void SetIcon(Environment& environment, CErrorUpdate& log, WindowHandle window,
             const std::string& name, bool setAsAppIcon) {
    Trap trap(log, "Utils.SetIcon");
    WindowHandle topOwner = 0;
    if (setAsAppIcon) {
        topOwner = window;
        for (int i = 0; i < kMaxOwnerChain; ++i) {
            WindowHandle owner = 0;
            trap([&] { owner = environment.OwnerWindow(topOwner); });
            if (owner == 0) break;
            topOwner = owner;
        }
    }
    // Each size is loaded on its own at what the desktop asks for, so the
    // nearest image of the group is picked for each.
    struct Size {
        int32_t width, height;
        uintptr_t kind;
    };
    for (const Size size :
         {Size{kSmCxIcon, kSmCyIcon, kIconBig}, Size{kSmCxSmIcon, kSmCySmIcon, kIconSmall}}) {
        IconHandle icon = 0;
        trap([&] {
            icon = environment.LoadSharedIcon(name, environment.SystemMetric(size.width),
                                              environment.SystemMetric(size.height));
        });
        if (setAsAppIcon)
            trap([&] {
                environment.SendWindowMessage(topOwner, kWmSetIcon, size.kind,
                                              static_cast<intptr_t>(icon));
            });
        trap([&] {
            environment.SendWindowMessage(window, kWmSetIcon, size.kind,
                                          static_cast<intptr_t>(icon));
        });
    }
}

std::string GetAddressWidth(Environment& environment) {
    std::string result;
    Trap trap = Trap::Silent();
    std::vector<std::optional<std::string>> widths;
    trap([&] { widths = environment.ManagementQuery(kProcessorQuery, kAddressWidthProperty); });
    for (const auto& width : widths) {
        if (width) result = *width;
    }
    return result;
}

std::string AssumedInstallerPath(const std::string& installFolder, const std::string& installerFile,
                                 const std::string& addressWidth) {
    // Only a width of exactly 32 is a 32-bit system; an unknown width is
    // taken for a 64-bit one.
    const std::string suffix = LeadingNumber(addressWidth) == kThirtyTwoBits ? "" : " (x86)";
    return installFolder.substr(0, 1) + ":\\Program Files" + suffix + "\\TAV\\" + installerFile;
}

void SetRunAsAdmin(Environment& environment, Registry& registry, CErrorUpdate& log,
                   const std::string& installFolder, const std::string& installerFile) {
    Trap trap(log, "frmMain.SetRunAsAdmin");
    std::string valueName;
    trap([&] {
        valueName =
            AssumedInstallerPath(installFolder, installerFile, GetAddressWidth(environment));
    });
    if (!registry.QueryKey(kAppCompatLayersKey)) registry.CreateKey(kAppCompatLayersKey);
    registry.SetStringValue(kAppCompatLayersKey, valueName, kRunAsAdminLayers);
}

}  // namespace tav
