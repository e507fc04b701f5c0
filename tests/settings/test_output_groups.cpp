#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "settings/OutputGroups.h"

using namespace fluviagen;

// The groups' defaults (genotype files, maps and GeoPackage for a single
// entire simulation; statistics and demography tables always) and the
// command line's choice over them, the later choice winning.
TEST(OutputGroups, DefaultsByCallSizeAndTheCommandLinesChoice) {
    using Names = std::vector<std::string>;
    const Names all{"vcf", "genepop", "fasta", "stats", "csv", "maps", "gpkg"};
    OutputGroups groups;
    EXPECT_EQ(groups.enabledNames(1), all);
    EXPECT_EQ(groups.enabledNames(2), (Names{"stats", "csv"}));
    EXPECT_EQ(groups.enabledNames(0), (Names{"stats", "csv"}));
    groups.force("vcf", true);
    groups.force("stats", false);
    groups.force("maps", false);
    groups.force("maps", true);
    EXPECT_EQ(groups.enabledNames(2), (Names{"vcf", "csv", "maps"}));
    EXPECT_TRUE(groups.asked(OutputGroup::stats));
    EXPECT_FALSE(groups.asked(OutputGroup::fasta));
    for (std::size_t i = 0; i < all.size(); ++i) EXPECT_EQ(OutputGroups::nameOf(static_cast<OutputGroup>(i)), all[i]);
}
