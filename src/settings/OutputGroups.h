// The added output groups of a call (files beside the project files, tree
// files and tables the settings file switches): each group has a name the
// command line knows (--with NAME, --without NAME) and decides its own
// default, often from the size of the call (a genotype file per genetic
// simulation is welcome for one entire simulation and a flood for thousands).
#pragma once

#include <cstdint>
#include <map>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace fluviagen {

// The groups, in the order --help lists them: vcf, genepop, fasta (genotype
// files per genetic simulation), stats (the summary-statistics tables), csv
// (the demography tables), maps and gpkg (the drawings and the GeoPackage of
// the map program).
enum class OutputGroup { vcf, genepop, fasta, stats, csv, maps, gpkg };

class OutputGroups {
public:
    // Every name --with and --without accept, in the order --help lists them.
    static std::span<const std::string_view> names();
    static bool known(std::string_view name);
    static std::string_view nameOf(OutputGroup group);

    // The command line's choice for one group; the later choice wins.
    void force(std::string_view name, bool on) { forced_[std::string(name)] = on; }
    // Whether the group writes in a call of that many entire simulations:
    // the command line's choice, or the group's own default.
    bool enabled(OutputGroup group, std::int32_t entireSimulations) const;
    // Whether the command line named the group (with either choice).
    bool asked(OutputGroup group) const { return forced_.contains(nameOf(group)); }
    const std::map<std::string, bool, std::less<>>& forced() const { return forced_; }

    // A group's own default for a call of that many entire simulations: the
    // genotype files, the maps and the GeoPackage only for a single one
    // (one file per genetic simulation is a flood for thousands); the
    // statistics and the demography tables always.
    static bool byDefault(OutputGroup group, std::int32_t entireSimulations);
    // The names of the groups that write in such a call, in the order of names().
    std::vector<std::string> enabledNames(std::int32_t entireSimulations) const;

    // Haploid genes written in the VCF files as homozygous diploid calls, for
    // readers that take diploid genotypes only (--diploid-vcf).
    void setDiploidVcf(bool on) { diploidVcf_ = on; }
    bool diploidVcf() const { return diploidVcf_; }

private:
    std::map<std::string, bool, std::less<>> forced_;
    bool diploidVcf_ = false;
};

}  // namespace fluviagen
