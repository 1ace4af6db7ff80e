// The program's error log: installation folder + "\LOGS\TAVerror.log".
#pragma once

#include <string>

namespace tav {

class CErrorUpdate {
public:
    // Appends one entry for the current error under sRoutine. Never fails
    // its caller; only when the file cannot be written does it show a
    // message box of its own, once for each step that failed.
    void Log(const std::string& sRoutine, const std::string& sParm = std::string()) noexcept;

private:
    // Creates path and every missing parent; true once a creation ran.
    bool CreateFolderPath(const std::string& path) noexcept;
};

// "HH:MM:SS" on the 24-hour clock.
std::string FormatTime24(int hour, int minute, int second);

}  // namespace tav
