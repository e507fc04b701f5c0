// The command line of fluviagen: the positional words of the classic use
// (`fluviagen [settings [count]]`) and the options a study with many
// replicates needs (a seed, an output folder, settings values, the added
// output groups).
#pragma once

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "common/Error.h"
#include "settings/PlacementRule.h"
#include "settings/Settings.h"

namespace fluviagen {

// A command line that cannot be used; what() says why, naming the option.
class CommandLineError : public common::UsageError {
public:
    using common::UsageError::UsageError;
};

struct CommandLine {
    std::vector<std::string> positional;               // settings path and count, as given
    std::optional<long> seed;                          // --seed, as the generator takes it (negative)
    std::string outFolder;                             // --out, with its final separator; empty: beside the settings
    SettingOverrides overrides;                        // --set, by line; the later of two for one line wins
    std::vector<std::pair<std::string, bool>> groups;  // --with (true) / --without (false), in order
    bool diploidVcf = false;                           // --diploid-vcf: haploid genes as homozygous diploid VCF calls
    PlacementRule placement = PlacementRule::nearest;  // --placement
    bool classicHelp = false;                          // -h or -H: the help text of the classic command line
    bool help = false;                                 // --help: every option
    bool version = false;
    bool quiet = false;
    bool progress = false;
    bool listSettings = false;  // --list-settings: the table of settings lines, then end
    bool json = false;          // --json: that table as JSON
    bool plan = false;          // --plan: the call's plan as JSON, then end without running
};

// Reads the words after the program path. Throws CommandLineError for an
// unknown option, a missing or refused value, a word beginning with '-' that
// is not an option (a negative count stays a positional word; a settings
// file whose name begins with '-' is given after "--").
CommandLine parseCommandLine(const std::vector<std::string>& words);

// The --help text: usage, every option on one line, the names of --set.
std::string commandLineHelp();

}  // namespace fluviagen
