#pragma once
// A Session for the command line: started as the desktop program starts, but in a private
// scratch directory (so the desktop program's settings are neither read nor changed), with a
// host that prints every message a GUI user would see, and the options that map onto controls.
#include <iosfwd>
#include <memory>
#include <string>
#include <vector>

#include "session/session.h"
#include "workspace/safe_file_set.h"
#include "cli/cli_host.h"
#include "support_dir.h"

namespace talvenor {

struct CliOptions {
    std::vector<std::string> inputs;
    std::vector<std::string> settings;  // "Control.Property=VALUE", applied in order
    std::optional<std::pair<int, int>> feature;
    std::string shiftsCsv;
    std::string output;
    bool json = false;
    std::string keep;       // "N" frames or "P%" of the selected frames; empty: the automatic cut
    std::string project;    // a project (.rsp) saved at the end of the work
    std::string dark, flat; // calibration files
    std::string pointsCsv;  // --ap-csv: every frame's measures at every alignment point
    bool pointsAsked = false;  // --ap on given: refuse options the points cannot work with
    bool boxGiven = false;     // --box (or FFTsizeGroup by --set) chose the alignment box
    bool force = false;        // --force / -y: existing outputs are replaced without asking
};

// Parses the options shared by align, stack and process; unknown options throw Error.
CliOptions ParseCliOptions(const std::vector<std::string>& args);

class CliSession {
public:
    explicit CliSession(std::ostream& err);
    ~CliSession();
    Session& session() { return *session_; }
    CliHost& host() { return host_; }

    // Opens the inputs as the input dialog would (an AVI, stills of one type, or a frame list).
    void Open(const std::vector<std::string>& inputs);
    // Applies "Control.Property=VALUE" settings, running each control's handlers as a user's
    // change would.
    void Apply(const std::vector<std::string>& settings);
    // Before any work: refuses outputs (-o, --shifts-csv, --ap-csv, --project) that are inputs,
    // dark or flat frames, or each other, and asks about existing ones (see output_guard.h).
    void GuardOutputs(const CliOptions& options);

    // Everything the command writes (-o, --project, --shifts-csv, --ap-csv) is one save: the
    // save handlers (through Session::OutputSet) and the tables add their files here, and
    // CommitOutputs replaces the old files together. A command that fails before that leaves
    // every old file as it was and no temporary behind.
    SafeFileSet& outputs() { return outputs_; }
    void CommitOutputs() { outputs_.Commit(); }

private:
    std::ostream& err_;
    ScratchDir scratch_;
    CliHost host_;
    std::unique_ptr<Session> session_;
    SafeFileSet outputs_;
};

}  // namespace talvenor
