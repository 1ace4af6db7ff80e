// The TAV installation folder as start-up read and judged it, handed to
// every part that works in it.
#pragma once

#include <string>

namespace tav {

struct InstallLocation {
    // As the registry holds it, no trailing "\"; empty when the key or value
    // is absent or the folder cannot be used.
    std::string folder;
    // Why the registry's folder cannot be used, in words for the user; ""
    // when it can.
    std::string problem;
};

}  // namespace tav
