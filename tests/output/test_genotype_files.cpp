// The genotype files beside the project files (VCF, GENEPOP, FASTA): the
// allele coding on worked cases, the files written from hand-made genotypes,
// their life as ".part" files until the entire simulation is accepted, and
// the real program's files read by bcftools and Biopython against its own
// project files.
#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <filesystem>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "base/Exception.h"
#include "coalescent/GenealogyTree.h"
#include "mutation/DataType.h"
#include "output/FastaWriter.h"
#include "output/GenepopWriter.h"
#include "output/GenotypeSites.h"
#include "output/OutputFiles.h"
#include "output/VcfWriter.h"
#include "settings/Settings.h"
#include "support/TestFiles.h"

using namespace fluviagen;

namespace fs = std::filesystem;
using testing_support::readFile;
using testing_support::runProgram;
using testing_support::TempFolder;

namespace {

constexpr int M = kMissingState;

bool contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

std::string shell(const std::string& command) {
    std::string out;
    if (FILE* pipe = ::popen(command.c_str(), "r")) {
        char buffer[4096];
        for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) out.append(buffer, n);
        ::pclose(pipe);
    }
    return out;
}

bool haveReaders() {
    return std::system(
               "bcftools --version > /dev/null 2>&1 && vcftools --version > /dev/null 2>&1 && "
               "/usr/bin/python3 -c 'import Bio.PopGen.GenePop' > /dev/null 2>&1") == 0;
}

std::vector<std::string> filesIn(const fs::path& folder) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder)) names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

// One genetic simulation of hand-made genotypes: samples (name, gene rows),
// all rows of K x L sites, seen by one writer as the genetic phase shows it.
struct Phase {
    TempFolder folder;
    OutputRegistry registry;
    Settings settings;
    std::unique_ptr<DataType> dataType;
    GeneticPhaseView view;
    std::vector<std::vector<std::vector<int>>> rows;

    Phase(std::int8_t type, int K, int L, bool genotypic,
          std::vector<std::pair<std::string, std::vector<std::vector<int>>>> samples) {
        settings.dataType = type;
        settings.numLinkedLoci = L;
        dataType = makeDataType(settings);
        view.folder = Text(folder.folder());
        view.outputName = Text("run");
        view.registry = &registry;
        view.dataType = dataType.get();
        view.entireCount = 1;
        view.simulationCount = 1;
        view.independentLoci = K;
        view.linkedLoci = L;
        view.genotypic = genotypic;
        for (auto& [name, genes] : samples) {
            view.samples.push_back({Text(name), static_cast<int>(genes.size()), 0, 0});
            rows.push_back(genes);
        }
    }

    GenotypeView genotypes() const {
        GenotypeView g;
        g.simulation = 1;
        for (const auto& sample : rows) {
            auto& genes = g.genes.emplace_back();
            for (const auto& gene : sample) genes.emplace_back(gene);
        }
        return g;
    }

    // open, one genealogy per locus with the given root states, the
    // genotypes; then finish() when `accept`.
    void write(GeneticWriter& writer, const std::vector<std::vector<int>>& roots = {}, bool accept = true) {
        writer.open(view);
        writer.writeHeaders(view);
        int genes = 0;
        for (const auto& sample : rows) genes += static_cast<int>(sample.size());
        for (std::size_t k = 0; k < roots.size(); ++k) {
            GenealogyTree tree(std::max(genes, 1));
            TreeNode& root = tree.node(2 * tree.size() - 2);
            root.sequence = roots[k];
            root.nSites = static_cast<int>(roots[k].size());
            const MutationResult mutations;
            writer.genealogy(view, {1, roots.size() > 1 ? static_cast<int>(k) : -1, tree, mutations});
        }
        writer.genotypes(view, genotypes());
        if (accept) writer.finish(view);
    }

    fs::path file(const std::string& name) const { return folder.path() / name; }
};

}  // namespace

// ---------------------------------------------------------------------------
// The GENEPOP allele codes, worked by hand.

TEST(GenepopCoding, WorkedCases) {
    struct Row {
        const char* type;
        std::vector<int> states;
        std::vector<int> codes;  // empty: refused
        const char* problem;
    };
    const Row rows[] = {
        // Repeat numbers count from the smallest allele of the locus.
        {"MICROSAT", {-3, 0, 2, M}, {100, 103, 105, 0}, ""},
        {"MICROSAT", {5, 5}, {100, 100}, ""},
        {"MICROSAT", {-400, 499}, {100, 999}, ""},
        {"MICROSAT", {-400, 500, 0}, {}, "its alleles span 900 repeats (-400 to 500 from the ancestral state)"},
        {"MICROSAT", {M, M}, {0, 0}, ""},
        // Two-state and infinite-allele data keep their states.
        {"SNP", {0, 1, 1}, {100, 101, 101}, ""},
        {"SNP", {1, 1}, {101, 101}, ""},
        {"RFLP", {1, 0, M}, {101, 100, 0}, ""},
        {"STANDARD", {0, 3, 12}, {100, 103, 112}, ""},
        {"STANDARD", {899, 1}, {999, 101}, ""},
        {"STANDARD", {1, 900}, {}, "a gene has the state 900, but the codes 100 to 999 hold the states 0 to 899 only"},
    };
    for (const Row& row : rows) {
        const GenepopLocus locus = genepopCodes(row.type, row.states);
        EXPECT_EQ(locus.codes, row.codes) << row.type << " " << testing::PrintToString(row.states);
        EXPECT_TRUE(contains(locus.problem, row.problem)) << locus.problem;
        EXPECT_EQ(locus.problem.empty(), !row.codes.empty() || row.states.empty()) << row.type;
    }
}

// Whole files for haploid and diploid individuals, an odd last gene and a
// sample without genes.
TEST(GenepopFile, HaploidAndDiploidIndividuals) {
    struct Row {
        std::int8_t type;
        bool genotypic;
        int K;
        const char* expected;
    };
    const Row rows[] = {
        {MICROSAT, true, 1,
         "fluviagen run_1-1.gen MICROSAT: allele = 100 + repeats above the smallest allele of the locus in this "
         "file; 000 missing\nL1_1\nL1_2\nPop\nA_1, 100101 100100\nA_2, 102000 101000\nPop\nC_1, 100101 102100\n"},
        {MICROSAT, false, 2,
         "fluviagen run_1-1.gen MICROSAT: allele = 100 + repeats above the smallest allele of the locus in this "
         "file; 000 missing\nL1_1\nL2_1\nPop\nA_1, 100 100\nA_2, 101 100\nA_3, 102 101\nPop\nC_1, 100 102\n"
         "C_2, 101 100\n"},
    };
    for (const Row& row : rows) {
        Phase phase(row.type, row.K, row.K == 1 ? 2 : 1, row.genotypic,
                    {{"A", {{-1, 2}, {0, 2}, {1, 3}}}, {"B", {}}, {"C", {{-1, 4}, {0, 2}}}});
        GenepopWriter writer;
        phase.write(writer);
        EXPECT_EQ(readFile(phase.file("run_1-1.gen")), row.expected);
        EXPECT_EQ(phase.registry.written().size(), 1u);
    }
}

// A sample of an odd number of genes in genotypic output: its last
// individual has one gene, which readers must see as a gene and a missing
// partner; the standard error names the sample and the individual.
TEST(GenepopFile, OddSampleInGenotypicOutputIsNamedAndReadWithAMissingPartner) {
    if (!haveReaders()) GTEST_SKIP() << "bcftools, vcftools or Biopython missing (tools/install-deps --tests)";
    for (const bool genotypic : {true, false}) {
        Phase phase(SNP, 1, 2, genotypic, {{"up stream", {{0, 1}, {1, 1}, {1, 0}}}, {"B", {{0, 0}, {1, 1}}}});
        GenepopWriter writer;
        testing::internal::CaptureStderr();
        phase.write(writer);
        const std::string errors = testing::internal::GetCapturedStderr();
        if (!genotypic) {
            EXPECT_EQ(errors, "") << "haploid individuals have no partner to miss";
            continue;
        }
        EXPECT_EQ(errors,
                  "WARNING: sample 'up stream' has 3 genes, an odd number: its last individual in the GENEPOP files, "
                  "up_stream_2, has one gene, written with the missing partner 000 (as in 102000); readers that take "
                  "000 for an allele (adegenet) count that individual heterozygous at every locus.\n");
        const std::string read = shell(
            "/usr/bin/python3 -c 'import sys; from Bio.PopGen import GenePop; r = GenePop.read(open(sys.argv[1])); "
            "print([(n.strip(), loci) for p in r.populations for n, loci in p])' " +
            phase.file("run_1-1.gen").string());
        EXPECT_EQ(read,
                  "[('up_stream_1', [(100, 101), (101, 101)]), ('up_stream_2', [(101, None), (100, None)]), "
                  "('B_1', [(100, 101), (100, 101)])]\n");
    }
}

TEST(GenepopFile, ALocusThatCannotBeCodedIsRefusedWithItsReason) {
    Phase phase(MICROSAT, 1, 2, false, {{"A", {{0, -450}, {1, 450}}}});
    GenepopWriter writer;
    testing::internal::CaptureStderr();
    phase.write(writer);
    const std::string errors = testing::internal::GetCapturedStderr();
    EXPECT_TRUE(contains(errors, "WARNING: the GENEPOP file '" + phase.folder.folder() +
                                     "run_1-1.gen' is not written: locus L1_2 cannot be coded: its alleles span 900 "
                                     "repeats (-450 to 450 from the ancestral state)"))
        << errors;
    EXPECT_TRUE(filesIn(phase.folder.path()).empty());
}

// ---------------------------------------------------------------------------
// VCF and FASTA from hand-made genealogies, read back by bcftools.

TEST(VcfFile, DnaReferenceIsTheRootStateAndDiploidGenotypesArePhased) {
    if (!haveReaders()) GTEST_SKIP() << "bcftools, vcftools or Biopython missing (tools/install-deps --tests)";
    // States 0 A, 1 G, 2 C, 3 T. Site 1: the root's T is found in no gene;
    // site 2 is monomorphic; site 3 has three states, ALT in ACGT order.
    Phase phase(DNA, 1, 3, true, {{"up stream", {{0, 0, 1}, {2, 0, 3}, {0, 0, 2}}}, {"B", {}}});
    VcfWriter writer;
    phase.write(writer, {{3, 0, 1}});
    const std::string vcf = phase.file("run_1-1.vcf.gz").string();
    EXPECT_EQ(filesIn(phase.folder.path()), (std::vector<std::string>{"run_1-1.vcf.gz", "run_1-1.vcf.gz.tbi"}));
    EXPECT_EQ(shell("bcftools query -l " + vcf), "up_stream_1\nup_stream_2\n");
    EXPECT_EQ(shell("bcftools query -f '%CHROM %POS %REF %ALT[ %GT]\\n' " + vcf),
              "locus1 1 T A,C 1|2 1|.\n"
              "locus1 3 G C,T 0|2 1|.\n");
}

// For readers of diploids only: a haploid gene g becomes g/g (a missing
// one ./.) under a header line that says so; calls of genotypic output are
// diploid already and stay as they are.
TEST(VcfFile, DoubledHaploidsAreHomozygousDiploidCalls) {
    if (!haveReaders()) GTEST_SKIP() << "bcftools, vcftools or Biopython missing (tools/install-deps --tests)";
    struct Row {
        bool genotypic;
        bool doubled;
        const char* calls;
    };
    const Row rows[] = {
        {false, true, "locus1 1 0/0 1/1 0/0\nlocus1 2 1/1 ./. 0/0\n"},
        {false, false, "locus1 1 0 1 0\nlocus1 2 1 . 0\n"},
        {true, true, "locus1 1 0|1 0|.\nlocus1 2 1|. 0|.\n"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::Message() << "genotypic " << row.genotypic << ", doubled " << row.doubled);
        Phase phase(SNP, 1, 2, row.genotypic, {{"A", {{0, 1}, {1, M}}}, {"C", {{0, 0}}}});
        VcfWriter writer(false, row.doubled);
        phase.write(writer);
        const std::string vcf = phase.file("run_1-1.vcf.gz").string();
        EXPECT_EQ(shell("bcftools query -f '%CHROM %POS[ %GT]\\n' " + vcf), row.calls);
        const std::string header = shell("bcftools view -h " + vcf);
        EXPECT_TRUE(header.starts_with("##fileformat=VCFv4.2\n")) << header;
        EXPECT_EQ(contains(header, "\n##ploidy=haploid genes written as homozygous diploid calls g/g"),
                  row.doubled && !row.genotypic)
            << header;
    }
}

TEST(VcfFile, SnpPlaceholdersOneContigPerLocusAndHaploidGenes) {
    if (!haveReaders()) GTEST_SKIP() << "bcftools, vcftools or Biopython missing (tools/install-deps --tests)";
    Phase phase(SNP, 2, 2, false, {{"A", {{0, 1, 1, 0}, {1, 1, 0, 0}}}, {"C", {{0, 1, 1, 0}}}});
    VcfWriter writer;
    phase.write(writer);
    const std::string vcf = phase.file("run_1-1.vcf.gz").string();
    EXPECT_EQ(shell("bcftools query -f '%CHROM %POS %REF %ALT %PLACEHOLDER[ %GT]\\n' " + vcf),
              "locus1 1 A T 1 0 1 0\n"
              "locus2 1 A T 1 1 0 1\n");
    EXPECT_EQ(shell("bcftools view -H -r locus2 " + vcf + " | cut -f1,2"), "locus2\t1\n");
    EXPECT_TRUE(contains(shell("bcftools view -h " + vcf), "##contig=<ID=locus2,length=2>"));
}

// The index is built here, not by htslib: regions read through it must
// give what tabix's own index of the same file gives, across many BGZF
// members and 16 kb windows, and in windows without records.
TEST(VcfFile, IndexFindsWhatTabixOwnIndexFinds) {
    if (!haveReaders()) GTEST_SKIP() << "bcftools, vcftools or Biopython missing (tools/install-deps --tests)";
    std::vector<std::vector<int>> genes(20, std::vector<int>(70000, 0));
    unsigned state = 7;
    for (int x = 0; x < 70000; ++x) {
        // Sites 20000-39999 stay monomorphic: windows without records.
        if (x >= 20000 && x < 40000) continue;
        for (auto& gene : genes)
            gene[static_cast<std::size_t>(x)] = static_cast<int>((state = state * 1103515245u + 12345u) >> 30);
    }
    Phase phase(DNA, 2, 35000, false, {{"A", genes}});
    VcfWriter writer;
    phase.write(writer, {std::vector<int>(35000, 0), std::vector<int>(35000, 0)});
    const std::string vcf = phase.file("run_1-1.vcf.gz").string();
    const std::string copy = phase.file("copy.vcf.gz").string();
    fs::copy_file(vcf, copy);
    ASSERT_EQ(std::system(("tabix -p vcf " + copy).c_str()), 0);
    for (const char* region : {"locus1:1-1000", "locus1:16380-16390", "locus1:19990-34000", "locus2:1-5000",
                               "locus2:4990-5010", "locus2:16000-35000", "locus1", "locus2:34990-35000"}) {
        const std::string mine = shell("bcftools view -H -r " + std::string(region) + " " + vcf + " | md5sum");
        const std::string theirs = shell("bcftools view -H -r " + std::string(region) + " " + copy + " | md5sum");
        EXPECT_EQ(mine, theirs) << region;
    }
    EXPECT_EQ(shell("bcftools index -n " + vcf), "50000\n");
    EXPECT_GT(fs::file_size(vcf), 200000u);  // many BGZF members
}

TEST(FastaFile, OneSequenceAGeneThroughAllLoci) {
    Phase phase(DNA, 2, 2, true, {{"A", {{0, 1, 2, 3}, {3, 2, 1}}}, {"B", {}}, {"C", {{0, 0, 0, 0}}}});
    FastaWriter writer;
    phase.write(writer);
    EXPECT_EQ(readFile(phase.file("run_1-1.fasta")), ">A_1\nAGCT\n>A_2\nTCGN\n>C_1\nAAAA\n");
}

// A data type a format cannot hold writes no file; only a user who asked
// for the format by name is told.
TEST(GenotypeFiles, DataTypesAFormatCannotHoldAreNamedWhenAsked) {
    struct Row {
        const char* format;
        std::int8_t type;
        const char* note;
    };
    const Row rows[] = {
        {"vcf", MICROSAT, "Note: VCF files hold SNP and DNA data; none are written for MICROSAT data."},
        {"vcf", RFLP, "Note: VCF files hold SNP and DNA data; none are written for RFLP data."},
        {"genepop", DNA,
         "Note: GENEPOP files hold MICROSAT, STANDARD, SNP and RFLP data; none are written for DNA data."},
        {"fasta", SNP, "Note: FASTA files hold DNA data; none are written for SNP data."},
    };
    for (const Row& row : rows)
        for (const bool asked : {false, true}) {
            Phase phase(row.type, 1, 2, false, {{"A", {{0, 1}, {1, 1}}}});
            std::unique_ptr<GeneticWriter> writer;
            if (std::string(row.format) == "vcf") writer = std::make_unique<VcfWriter>(asked);
            if (std::string(row.format) == "genepop") writer = std::make_unique<GenepopWriter>(asked);
            if (std::string(row.format) == "fasta") writer = std::make_unique<FastaWriter>(asked);
            testing::internal::CaptureStderr();
            phase.write(*writer);
            const std::string errors = testing::internal::GetCapturedStderr();
            EXPECT_EQ(errors, asked ? std::string(row.note) + "\n" : "") << row.format << " " << asked;
            EXPECT_TRUE(filesIn(phase.folder.path()).empty()) << row.format;
        }
}

// ---------------------------------------------------------------------------
// Files of an entire simulation not yet accepted.

TEST(GenotypeFiles, HeldAsPartUntilAcceptedRemovedWhenAbandonedOrInterrupted) {
    enum class End { Accepted, Abandoned, Interrupted };
    for (const End end : {End::Accepted, End::Abandoned, End::Interrupted}) {
        Phase phase(DNA, 1, 2, false, {{"A", {{0, 1}, {1, 1}}}});
        VcfWriter vcf;
        FastaWriter fasta;
        phase.write(vcf, {{0, 1}}, false);
        phase.write(fasta, {}, false);
        EXPECT_EQ(filesIn(phase.folder.path()),
                  (std::vector<std::string>{"run_1-1.fasta.part", "run_1-1.vcf.gz.part", "run_1-1.vcf.gz.tbi.part"}));
        EXPECT_TRUE(phase.registry.written().empty());
        std::vector<std::string> left;
        if (end == End::Accepted) {
            vcf.finish(phase.view);
            fasta.finish(phase.view);
            left = {"run_1-1.fasta", "run_1-1.vcf.gz", "run_1-1.vcf.gz.tbi"};
            EXPECT_EQ(phase.registry.written().size(), 3u);
        } else if (end == End::Abandoned) {
            vcf.abandon();
            fasta.abandon();
        } else {
            // What the interrupt handler does: every listed part goes.
            const auto held = phase.registry.removeParts();
        }
        EXPECT_EQ(filesIn(phase.folder.path()), left) << static_cast<int>(end);
    }
}

TEST(GenotypeFiles, AFileThatCannotBeCompletedEndsTheCallAndLeavesNoPart) {
    Phase phase(DNA, 1, 2, false, {{"A", {{0, 1}, {1, 1}}}});
    fs::create_directories(phase.file("run_1-1.fasta") / "in the way");
    FastaWriter writer;
    phase.write(writer, {}, false);
    try {
        writer.finish(phase.view);
        ADD_FAILURE() << "completed over a folder";
    } catch (const SimulationError& e) {
        EXPECT_TRUE(e.isFatal());
        EXPECT_TRUE(
            contains(e.message().str(), "Cannot complete the output file '" + phase.folder.folder() + "run_1-1.fasta'"))
            << e.message();
    }
    EXPECT_EQ(filesIn(phase.folder.path()), std::vector<std::string>{"run_1-1.fasta"});
}

// A write that fails (here at a file size limit) ends the call, names the
// file and leaves nothing behind.
TEST(GenotypeFiles, AVcfWriteThatFailsEndsTheCallAndLeavesNoPart) {
    // Genes that compress badly: states from a linear congruential sequence.
    std::vector<std::vector<int>> genes;
    unsigned state = 1;
    for (int g = 0; g < 200; ++g) {
        genes.emplace_back();
        for (int x = 0; x < 2000; ++x)
            genes.back().push_back(static_cast<int>((state = state * 1103515245u + 12345u) >> 29) % 4);
    }
    Phase phase(DNA, 1, 2000, false, {{"A", genes}});
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        std::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{8192, 8192};
        ::setrlimit(RLIMIT_FSIZE, &limit);
        int status = 3;
        try {
            VcfWriter writer;
            phase.write(writer, {genes[0]});
        } catch (const SimulationError& e) {
            status = e.isFatal() && contains(e.message().str(), "Cannot write the output file") &&
                             contains(e.message().str(), "run_1-1.vcf.gz")
                         ? 0
                         : 4;
        }
        ::_exit(status);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "3: no failure reported, 4: another message";
    EXPECT_TRUE(filesIn(phase.folder.path()).empty());
}

// ---------------------------------------------------------------------------
// The real program: every data type, haploid and diploid, one and several
// loci; its files read by bcftools, tabix and Biopython gene for gene
// against its project files.

namespace {

struct ProgramCase {
    const char* name;
    const char* caseName;              // an end-to-end case
    std::map<int, std::string> lines;  // settings lines replaced
    const char* counts;                // what check_genotypes.py checked
};

void PrintTo(const ProgramCase& run, std::ostream* os) { *os << run.name; }

class GenotypeFilesOfTheProgram : public testing::TestWithParam<ProgramCase> {};

std::string prepare(const TempFolder& work, const ProgramCase& run) {
    const fs::path e2e(FLUVIAGEN_SOURCE_DIR "/tests/e2e");
    fs::copy(e2e / "shared", work.path(), fs::copy_options::recursive | fs::copy_options::overwrite_existing);
    std::istringstream original(readFile(e2e / "cases" / run.caseName / "settings.txt"));
    std::string settings, line;
    for (int number = 1; std::getline(original, line); ++number)
        settings += (run.lines.count(number) ? run.lines.at(number) : line) + "\n";
    return work.write("settings.txt", settings);
}

}  // namespace

TEST_P(GenotypeFilesOfTheProgram, ReadersSeeTheProjectFilesGenes) {
    if (!haveReaders()) GTEST_SKIP() << "bcftools, vcftools or Biopython missing (tools/install-deps --tests)";
    const ProgramCase& run = GetParam();
    TempFolder work;
    prepare(work, run);
    const auto result = runProgram({"settings.txt", "1"}, "", "31", work.path().string());
    ASSERT_EQ(result.status, 0) << result.output;
    const std::string checker = FLUVIAGEN_SOURCE_DIR "/tests/output/check_genotypes.py";
    EXPECT_EQ(shell("/usr/bin/python3 " + checker + " '" + (work.path() / "GeneticOutput").string() + "' 2>&1"),
              std::string(run.counts) + "\n");
}

INSTANTIATE_TEST_SUITE_P(
    DataTypes, GenotypeFilesOfTheProgram,
    testing::Values(ProgramCase{"dna", "dna", {}, "vcf=2 genepop=0 fasta=2"},
                    ProgramCase{"dna_diploid_three_loci", "dna", {{20, "3"}, {22, "1"}}, "vcf=2 genepop=0 fasta=2"},
                    ProgramCase{"snp", "snp", {}, "vcf=2 genepop=2 fasta=0"},
                    ProgramCase{"snp_diploid_two_loci", "snp", {{20, "2"}, {22, "1"}}, "vcf=2 genepop=2 fasta=0"},
                    ProgramCase{"microsat_diploid_three_loci", "microsat_multilocus", {}, "vcf=0 genepop=2 fasta=0"},
                    ProgramCase{
                        "microsat_haploid", "microsat_multilocus", {{20, "1"}, {22, "0"}}, "vcf=0 genepop=2 fasta=0"},
                    ProgramCase{"standard", "standard", {}, "vcf=0 genepop=2 fasta=0"},
                    ProgramCase{"rflp_diploid", "rflp", {{22, "1"}}, "vcf=0 genepop=2 fasta=0"},
                    // Failed entire simulations before the accepted one leave nothing.
                    ProgramCase{"retry", "retry", {}, "vcf=1 genepop=0 fasta=1"}),
    [](const testing::TestParamInfo<ProgramCase>& info) { return info.param.name; });

TEST(GenotypeFilesOfTheProgram, OffByDefaultForSeveralEntireSimulations) {
    TempFolder work;
    prepare(work, ProgramCase{"dna", "dna", {}, ""});
    const auto result = runProgram({"settings.txt", "2"}, "", "31", work.path().string());
    ASSERT_EQ(result.status, 0) << result.output;
    for (const auto& name : filesIn(work.path() / "GeneticOutput"))
        EXPECT_FALSE(name.ends_with(".vcf.gz") || name.ends_with(".fasta") || name.ends_with(".gen")) << name;
}

// With --diploid-vcf vcftools reads the genes it skips as haploids, and its
// Weir & Cockerham FST over all samples of the shipped example (samples of
// equal size) equals the table's FST of all samples, simulation by
// simulation (check_vcftools_fst.py says why).
TEST(GenotypeFilesOfTheProgram, DoubledHaploidsGiveVcftoolsTheTablesFst) {
    if (!haveReaders()) GTEST_SKIP() << "bcftools, vcftools or Biopython missing (tools/install-deps --tests)";
    TempFolder work;
    fs::copy(fs::path(FLUVIAGEN_SOURCE_DIR) / "examples/river", work.path(), fs::copy_options::recursive);
    const auto result = runProgram({"--diploid-vcf", "--set", "genetic_simulations=5", "settings.txt"}, "", "2026",
                                   work.path().string());
    ASSERT_EQ(result.status, 0) << result.output;
    const std::string checker = FLUVIAGEN_SOURCE_DIR "/tests/output/check_vcftools_fst.py";
    EXPECT_EQ(shell("/usr/bin/python3 " + checker + " '" + (work.path() / "GeneticOutput").string() +
                    "' settings_samples_gps_DNA 2>&1"),
              "5 files checked, 0 differences\n");
}
