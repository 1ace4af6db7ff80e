// The program's error log: installation folder + "\LOGS\TAVerror.log".
#pragma once

#include <string>

#include "core/failure.h"
#include "core/install_location.h"
#include "platform/runtime.h"

namespace tav {

// The run-time services the log writes with.
struct LogServices {
    Files& files;
    Ui& ui;
    App& app;
    Clock& clock;
};

class CErrorUpdate {
public:
    // Writes into location's folder as it is at each entry: start-up reads
    // the folder after the log exists.
    CErrorUpdate(const LogServices& services, const InstallLocation& location)
        : services_(services), location_(location) {}

    // Appends one entry under sRoutine, with the failure's fields when
    // there is one. Never fails its caller; only when the file cannot be
    // written does it show a message box of its own, once for each step
    // that failed.
    void Log(const std::string& sRoutine, const std::string& sParm = std::string()) noexcept;
    void Log(const std::string& sRoutine, const Failure& failure,
             const std::string& sParm = std::string()) noexcept;

private:
    void Write(const std::string& sRoutine, const Failure* failure,
               const std::string& sParm) noexcept;
    // Creates path and every missing parent; true once a creation ran.
    bool CreateFolderPath(const std::string& path) noexcept;

    LogServices services_;
    const InstallLocation& location_;
};

// "HH:MM:SS" on the 24-hour clock.
std::string FormatTime24(int hour, int minute, int second);

}  // namespace tav
