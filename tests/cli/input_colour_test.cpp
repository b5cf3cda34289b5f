// Colour processing from the command line: it follows the input, and --colour or --mono
// given by the user win over what the input suggests.
#include <gtest/gtest.h>

#include <sstream>

#include "cli/cli_session.h"

namespace talvenor {
namespace {

TEST(CliColour, FollowsTheInputUnlessColourOrMonoIsGiven) {
    struct Case {
        const char* avi;
        std::vector<std::string> options;
        bool colour;
    };
    const Case cases[] = {
        {"bgr24.avi", {}, true},
        {"bgr24.avi", {"--mono"}, false},
        {"gray.avi", {}, false},
        {"gray.avi", {"--colour"}, true},
    };
    for (const Case& c : cases) {
        std::vector<std::string> args = c.options;
        args.push_back(std::string(TALVENOR_SOURCE_DIR) + "/tests/data/avi/" + c.avi);
        SCOPED_TRACE(args.front());
        const CliOptions options = ParseCliOptions(args);
        std::ostringstream err;
        CliSession cli(err);
        // As align and stack do: the options, the input, then the options again.
        cli.Apply(options.settings);
        cli.Open(options.inputs);
        cli.Apply(options.settings);
        EXPECT_EQ(cli.session().form.ColourStack.Checked, c.colour);
        EXPECT_EQ(cli.session().form.Colourprocess2.Checked, c.colour);
    }
}

}  // namespace
}  // namespace talvenor
