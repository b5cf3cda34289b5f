#pragma once
// Brings the program from launch to an empty, ready Input page.
#include <filesystem>
#include <string>
#include <vector>

#include "session/session.h"

namespace talvenor {

struct StartUpEnvironment {
    std::vector<std::string> Arguments;     // without the program name
    std::filesystem::path CurrentDir;       // the process's working directory
    std::filesystem::path ProgramFile;      // the executable (version date, program directory)
    std::filesystem::path UserConfigDir;    // per-user store and settings fallback
    // The working and configuration folders go with the process (the command line's scratch
    // folder): the settings written there need not reach the device.
    bool ThrowawayFolders = false;
};

// The environment of this process: arguments, working directory, /proc/self/exe and the
// per-user configuration directory.
StartUpEnvironment ProcessEnvironment(int argc, char** argv);

void StartUp(Session& s, const StartUpEnvironment& env);

// "Talvenor v 2.0.0 beta".
std::string VersionText();
// "Build dd-MM-yyyy hh:mm" of the program file, followed by the credits.
std::string BuildText(const std::filesystem::path& programFile);

}  // namespace talvenor
