#include "app/CommandLine.h"

#include <CLI/CLI.hpp>
#include <cstdint>
#include <filesystem>
#include <sstream>

#include "app/SeedPolicy.h"
#include "base/NumberText.h"
#include "settings/OutputGroups.h"
#include "settings/SettingKeys.h"

namespace fluviagen {

namespace {

// The options of the command line, bound to a CommandLine. -h and -H keep
// the short help text of the classic command line; --help lists the options.
struct Options {
    CLI::App app{"Simulates the genetic diversity of a species in a river network.", "fluviagen"};
    std::string seed, out, placement;
    std::vector<std::string> sets, with, without;
    CLI::Option* withOption = nullptr;
    CLI::Option* withoutOption = nullptr;

    explicit Options(CommandLine& c) {
        app.set_help_flag();
        app.add_flag("-h,-H", c.classicHelp, "the short help text");
        app.add_flag("--help", c.help, "print this list of options and end");
        app.add_flag("--version", c.version, "print the version and end");
        app.add_option("--seed", seed, "seed of the random generator, 1 ... 161803398 (default: clock and process)")
            ->type_name("N");
        app.add_option("--out", out, "folder for every output (default: GeneticOutput/ beside the settings file)")
            ->type_name("DIR");
        app.add_option("--set", sets, "use VALUE for one line of the settings file (repeatable; KEY: line or name)")
            ->type_name("KEY=VALUE")
            ->allow_extra_args(false);
        std::string names;
        for (const std::string_view name : OutputGroups::names()) names.append(names.empty() ? "" : ", ").append(name);
        withOption = app.add_option("--with", with, "write the added output group NAME (" + names + ")")
                         ->type_name("NAME")
                         ->allow_extra_args(false);
        withoutOption = app.add_option("--without", without, "do not write the output group NAME (repeatable)")
                            ->type_name("NAME")
                            ->allow_extra_args(false);
        app.add_flag("--diploid-vcf", c.diploidVcf,
                     "VCF calls of haploid genes written as homozygous diploids g/g, for readers of diploids only");
        std::string rules;
        for (const std::string_view name : placementRuleNames()) rules.append(rules.empty() ? "" : " or ").append(name);
        app.add_option("--placement", placement,
                       "how a population given by coordinates finds its segment: " + rules + " (default: nearest)")
            ->type_name("RULE");
        app.add_flag("-q,--quiet", c.quiet, "no run log on standard output, except fatal errors");
        app.add_flag("--progress", c.progress, "a progress line on standard error (default: when it is a terminal)");
        app.add_flag("--list-settings", c.listSettings,
                     "print the settings lines (line, name, kind, range, default: the shipped river example's value, "
                     "meaning) as a table and end");
        app.add_flag("--json", c.json, "with --list-settings: the table as JSON");
        app.add_flag("--plan", c.plan,
                     "print the call's settings as resolved, segments and memory as JSON, and end without running");
        app.add_option("settings", c.positional,
                       "the settings file, then optionally the number of entire simulations (replaces line " +
                           std::to_string(lineOf(Setting::entireSimulations)) + ")")
            ->type_name("SETTINGS [COUNT]");
        std::ostringstream footer;
        footer << "\nKEYs of --set (a line number works as well):\n";
        int column = 0;
        for (const SettingKey& key : settingLines) {
            if (!key.holdsValue()) continue;
            std::ostringstream item;
            item << key.line() << " " << key.name;
            footer << "  " << item.str() << std::string(item.str().size() < 28 ? 28 - item.str().size() : 1, ' ');
            if (++column % 3 == 0) footer << "\n";
        }
        app.footer(footer.str());
    }
};

std::string withFinalSeparator(std::string folder) {
    if (!folder.empty() && folder.back() != '/') folder += '/';
    return folder;
}

// An output folder that can never be made: a part of its path that exists
// and is not a folder.
void checkOutFolder(const std::string& folder) {
    if (folder.empty()) throw CommandLineError("--out needs a folder name");
    std::error_code error;
    for (std::filesystem::path part = std::filesystem::path(folder).lexically_normal(); !part.empty();
         part = part.parent_path()) {
        if (std::filesystem::exists(part, error) && !std::filesystem::is_directory(part, error))
            throw CommandLineError("--out " + folder + ": '" + part.string() +
                                   "' is a file, not a folder: the output folder cannot be made there");
        if (part == part.parent_path()) break;
    }
}

void addOverride(CommandLine& c, const std::string& option) {
    const auto equals = option.find('=');
    if (equals == std::string::npos)
        throw CommandLineError("--set " + option + ": expected KEY=VALUE (e.g. --set " +
                               std::to_string(lineOf(Setting::migrationColonised)) + "=0.05 or --set " +
                               std::string(settingKey(Setting::generations).name) + "=2000)");
    const std::string name = option.substr(0, equals);
    const std::string value = option.substr(equals + 1);
    const SettingKey* key = findSettingKey(name);
    if (key == nullptr)
        throw CommandLineError("--set " + option + ": '" + printableWord(name) +
                               "' is no settings line (1 to 40 but 6) nor a name of one (see --help)");
    if (const auto problem = settingValueProblem(*key, value))
        throw CommandLineError("--set " + option + " (" + std::string(key->field) + "): " + *problem);
    c.overrides[key->line()] = SettingOverride{option, value};
}

}  // namespace

CommandLine parseCommandLine(const std::vector<std::string>& words) {
    CommandLine c;
    Options o(c);
    std::vector<std::string> reversed(words.rbegin(), words.rend());
    try {
        o.app.parse(reversed);
    } catch (const CLI::ExtrasError& e) {
        throw CommandLineError(std::string(e.what()) +
                               " (unknown option; a settings file whose name begins with '-' is given after --)");
    } catch (const CLI::ParseError& e) {
        throw CommandLineError(e.what());
    }
    if (o.app.count("--seed") > 0) {
        c.seed = seedFromText(o.seed);
        if (!c.seed)
            throw CommandLineError("--seed " + printableWord(o.seed) +
                                   ": the seed must be a whole number from 1 to 161803398 (or its negative)");
    }
    if (o.app.count("--out") > 0) {
        checkOutFolder(o.out);
        c.outFolder = withFinalSeparator(o.out);
    }
    if (o.app.count("--placement") > 0) {
        const auto rule = placementRuleNamed(o.placement);
        if (!rule) {
            std::string names;
            for (const std::string_view name : placementRuleNames()) names.append(" ").append(name);
            throw CommandLineError("--placement " + printableWord(o.placement) +
                                   ": no placement rule of that name (the rules are:" + names + ")");
        }
        c.placement = *rule;
    }
    for (const std::string& option : o.sets) addOverride(c, option);
    if (c.json && !c.listSettings)
        throw CommandLineError("--json goes with --list-settings (--plan always prints JSON)");
    if (c.listSettings && c.plan) throw CommandLineError("--list-settings and --plan: one at a time");
    // --with and --without in the order given: the later choice for a group wins.
    std::size_t nextWith = 0, nextWithout = 0;
    for (const CLI::Option* option : o.app.parse_order()) {
        const bool on = option == o.withOption;
        if (!on && option != o.withoutOption) continue;
        const std::string& name = on ? o.with.at(nextWith++) : o.without.at(nextWithout++);
        if (!OutputGroups::known(name)) {
            std::string names;
            for (const std::string_view known : OutputGroups::names()) names.append(" ").append(known);
            throw CommandLineError((on ? "--with " : "--without ") + printableWord(name) +
                                   ": no output group of that name (the groups are:" + names + ")");
        }
        c.groups.emplace_back(name, on);
    }
    return c;
}

std::string commandLineHelp() {
    CommandLine c;
    Options o(c);
    return o.app.help();
}

}  // namespace fluviagen
