#pragma once
// A Session started as the program starts, in temporary program and configuration
// directories, with a ScriptedHost that records every message.
#include <fstream>

#include "session/session.h"
#include "session/startup.h"
#include "support/temp_dir.h"
#include "workspace/big_ini_file.h"
#include "workspace/scripted_host.h"

namespace talvenor::testing {

struct StartedSession {
    TempDir appDir, configDir;
    ScriptedHost host;
    std::unique_ptr<Session> session;

    StartUpEnvironment Environment(std::vector<std::string> args = {}) const {
        StartUpEnvironment env;
        env.Arguments = std::move(args);
        env.CurrentDir = appDir.path();
        env.ProgramFile = appDir / "talvenor";
        env.UserConfigDir = configDir.path();
        return env;
    }
    // A new Session on the same directories, as when the program is started again.
    Session& Start(std::vector<std::string> args = {}) {
        if (session) session->Close();
        host.Messages.clear();
        session = std::make_unique<Session>(host);
        StartUp(*session, Environment(std::move(args)));
        return *session;
    }
    std::string UserValue(const std::string& section, const std::string& key) const {
        TBigIniFile ini(configDir / "user.ini");
        return ini.ReadString(section, key, "<absent>");
    }
    void WriteFile(const std::filesystem::path& path, const std::string& text) const {
        std::ofstream(path, std::ios::binary) << text;
    }
};

}  // namespace talvenor::testing
