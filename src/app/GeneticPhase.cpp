// The genetic phase of an entire simulation: the sampled genes are traced
// back through the stored demography once per genetic simulation and
// independent locus, the data type places mutations on each genealogy, and
// the writers that the settings switch on write the output folder.
#include <algorithm>
#include <functional>
#include <iostream>
#include <memory>
#include <span>
#include <vector>

#include "app/Progress.h"
#include "app/SimulationLoop.h"
#include "base/Exception.h"
#include "coalescent/Deme.h"
#include "drainage/Segment.h"
#include "mutation/DataType.h"
#include "output/CoalescenceTables.h"
#include "output/FastaWriter.h"
#include "output/FileSamples.h"
#include "output/GenepopWriter.h"
#include "output/GeneticWriter.h"
#include "output/ProjectFile.h"
#include "output/RiverTables.h"
#include "output/StatisticsWriter.h"
#include "output/TreeFiles.h"
#include "output/VcfWriter.h"
#include "random/Rng.h"

namespace fluviagen {

namespace {

// The writers of the outputs the settings ask for, in the order their files
// are opened; the demography tables last, when the forward simulation kept a
// colonisation record (`riverTables` gives their input; empty: none).
std::vector<std::unique_ptr<GeneticWriter>> makeWriters(const Settings& s,
                                                        std::function<RiverTablesInput()> riverTables) {
    std::vector<std::unique_ptr<GeneticWriter>> writers;
    if (s.arpOutput) writers.push_back(std::make_unique<ProjectFileWriter>());
    if (s.geneticTreesOutput && s.numIndependentLoci <= 1) writers.push_back(std::make_unique<TreeFileWriter>());
    if (s.mrcaTimesOutput) writers.push_back(std::make_unique<TmrcaWriter>());
    if (s.coalescenceTimesOutput) writers.push_back(std::make_unique<CoalescenceWriter>());
    // The added groups, each by its own default or the command line's choice.
    const OutputGroups& groups = s.outputGroups;
    const std::int32_t entire = s.numDemographicSimulations;
    if (groups.enabled(OutputGroup::vcf, entire))
        writers.push_back(
            std::make_unique<VcfWriter>(groups.asked(OutputGroup::vcf) || groups.diploidVcf(), groups.diploidVcf()));
    if (groups.enabled(OutputGroup::genepop, entire))
        writers.push_back(std::make_unique<GenepopWriter>(groups.asked(OutputGroup::genepop)));
    if (groups.enabled(OutputGroup::fasta, entire))
        writers.push_back(std::make_unique<FastaWriter>(groups.asked(OutputGroup::fasta)));
    if (groups.enabled(OutputGroup::stats, entire)) writers.push_back(std::make_unique<StatisticsWriter>());
    if (riverTables) writers.push_back(std::make_unique<RiverTablesWriter>(std::move(riverTables)));
    return writers;
}

// The input of the demography tables, read when they are written.
auto riverTablesInput(const SimulationLoop& run, const DemeCollection& demes) {
    return [&run, &demes] {
        const Settings& s = run.settings;
        return RiverTablesInput{run.drainage.get(),          run.colonisation.get(),
                                &demes.coalPerSegmentSummed, run.sources.get(),
                                run.samples.get(),           s.carryingCapacity,
                                s.coalescenceImageOutput,    s.geneticTreesOutput && s.numIndependentLoci <= 1};
    };
}

class GeneticSimulation {
public:
    GeneticSimulation(SimulationLoop& run, DataType& dataType, Rng& rng)
        : run_(run),
          s_(run.settings),
          dataType_(dataType),
          rng_(rng),
          demes_(*run.demes),
          writers_(makeWriters(run.settings, run.colonisation ? std::function(riverTablesInput(run, demes_))
                                                              : std::function<RiverTablesInput()>())) {}

    void run();

private:
    void simulateSingleLocus(int s);
    void simulateMultilocus(int s, int& locusCounter);
    void copyLocusToHaplotypeMatrix(int k, const MutationResult& mutations);
    void printActiveDemes(const SimulationError& e) const;
    template <typename Call>
    void toWriters(Call&& call) {
        for (auto& writer : writers_) call(*writer);
    }

    SimulationLoop& run_;
    const Settings& s_;
    DataType& dataType_;
    Rng& rng_;
    DemeCollection& demes_;
    std::vector<std::unique_ptr<GeneticWriter>> writers_;
    GeneticPhaseView phase_;
    std::vector<int> sampleSizes_;
};

void GeneticSimulation::run() {
    phase_.folder = s_.outputFolder;
    phase_.outputName = Text(outputSetName(s_, dataType_));
    phase_.registry = &run_.outputs;
    phase_.dataType = &dataType_;
    phase_.entireIndex = run_.entireIndex;
    phase_.entireCount = s_.numDemographicSimulations;
    phase_.simulationCount = s_.numGeneticSimulations;
    phase_.independentLoci = s_.numIndependentLoci;
    phase_.linkedLoci = s_.numLinkedLoci;
    phase_.generations = s_.numGenerations;
    phase_.mutationRate = s_.mutationRate;
    phase_.gammaA = s_.gammaA;
    phase_.genotypic = s_.genotypicOutput;
    toWriters([&](GeneticWriter& w) { w.open(phase_); });

    if (!run_.database ||
        !demes_.createDemes(*run_.drainage, *run_.database, run_.samplePopulations(), run_.sourcePopulations(), s_))
        throw SimulationError(Text("ReadGeneticSamples() messed up!"), levelError);
    for (const Deme* deme : demes_.sampleDemes) {
        sampleSizes_.push_back(deme->sampleSize);
        phase_.samples.push_back({deme->name, deme->sampleSize, demes_.tableIndex(*deme->segment), deme->slot});
    }
    phase_.fileSamples = fileSampleViews(run_.samplePopulations(), phase_.samples);
    phase_.drainage = run_.drainage.get();
    toWriters([&](GeneticWriter& w) { w.writeHeaders(phase_); });
    dataType_.prepare(rng_);

    try {
        int locusCounter = 1;
        for (int s = 1; s <= s_.numGeneticSimulations; ++s) {
            if (s_.numIndependentLoci > 1)
                simulateMultilocus(s, locusCounter);
            else
                simulateSingleLocus(s);
            std::cout << "\n\tdone!\n";
            if (run_.progress != nullptr) run_.progress->genetic(s, s_.numGeneticSimulations);
        }
    } catch (const SimulationError& e) {
        printActiveDemes(e);
        run_.outputs.noteCause(e.message().str());
        demes_.resetDemes();
        demes_.clearHaplotypeMatrix();
        toWriters([](GeneticWriter& w) { w.abandon(); });
        if (e.isFatal()) throw;
        throw SimulationError(Text("GeneticSimulation did mess up!"), levelError);
    }
    toWriters([&](GeneticWriter& w) { w.finish(phase_); });
}

void GeneticSimulation::simulateSingleLocus(int s) {
    std::cout << "\n\t" << s << ". of " << s_.numGeneticSimulations << " Genetic simulations running...";
    demes_.buildTree(s, rng_);
    const MutationResult mutations = dataType_.sprinkle(demes_.tree, {sampleSizes_, s}, rng_);
    const GenealogyView genealogy{s, -1, demes_.tree, mutations};
    toWriters([&](GeneticWriter& w) { w.genealogy(phase_, genealogy); });

    GenotypeView genotypes;
    genotypes.simulation = s;
    for (const Deme* deme : demes_.sampleDemes) {
        auto& genes = genotypes.genes.emplace_back();
        for (const TreeNode* gene : deme->samples)
            genes.emplace_back(gene->sequence.data(), static_cast<std::size_t>(gene->nSites));
    }
    genotypes.hits =
        std::span<const int>(mutations.hits.data(),
                             std::min(mutations.hits.size(), static_cast<std::size_t>(std::max(s_.numLinkedLoci, 0))));
    toWriters([&](GeneticWriter& w) { w.genotypes(phase_, genotypes); });
    demes_.resetDemes();
}

void GeneticSimulation::simulateMultilocus(int s, int& locusCounter) {
    for (int k = 0; k < s_.numIndependentLoci; ++k) {
        std::cout << "\n\t"
                  << "Simulation of locus " << k + 1 << " of " << s_.numIndependentLoci << " ...";
        demes_.buildTree(locusCounter, rng_);
        const MutationResult mutations = dataType_.sprinkle(demes_.tree, {sampleSizes_, s}, rng_);
        copyLocusToHaplotypeMatrix(k, mutations);
        demes_.resetDemes();
        const GenealogyView genealogy{s, k, demes_.tree, mutations};
        toWriters([&](GeneticWriter& w) { w.genealogy(phase_, genealogy); });
        ++locusCounter;
    }
    GenotypeView genotypes;
    genotypes.simulation = s;
    std::size_t row = 1;
    for (const Deme* deme : demes_.sampleDemes) {
        auto& genes = genotypes.genes.emplace_back();
        for (std::size_t c = 0; c < deme->samples.size(); ++c) genes.emplace_back(demes_.haplotypeMatrix[row++]);
    }
    if (!demes_.haplotypeMatrix.empty()) genotypes.hits = demes_.haplotypeMatrix[0];
    toWriters([&](GeneticWriter& w) { w.genotypes(phase_, genotypes); });
    demes_.clearHaplotypeMatrix();
}

void GeneticSimulation::copyLocusToHaplotypeMatrix(int k, const MutationResult& mutations) {
    auto& matrix = demes_.haplotypeMatrix;
    if (matrix.empty()) return;
    const int L = s_.numLinkedLoci;
    const std::size_t first = static_cast<std::size_t>(k) * static_cast<std::size_t>(L);
    const auto& hits = mutations.hits;
    for (int site = 0; site < L; ++site) {
        const std::size_t column = first + static_cast<std::size_t>(site);
        matrix[0][column] = static_cast<std::size_t>(site) < hits.size() ? hits[static_cast<std::size_t>(site)] : 0;
    }
    std::size_t row = 1;
    for (const Deme* deme : demes_.sampleDemes) {
        for (const TreeNode* gene : deme->samples) {
            for (int site = 0; site < L; ++site) {
                const std::size_t column = first + static_cast<std::size_t>(site);
                matrix[row][column] = site < gene->nSites ? gene->sequence[static_cast<std::size_t>(site)] : 0;
            }
            ++row;
        }
    }
}

void GeneticSimulation::printActiveDemes(const SimulationError& e) const {
    for (const Deme* deme : demes_.active) {
        if (deme == nullptr) continue;
        std::cout << "\t\tActive Deme: index = " << deme->segment->id << ", population = " << deme->slot << " with "
                  << deme->nLineages << " genes left: ";
        for (int i = 0; i < deme->nLineages; ++i)
            std::cout << " -> node number " << deme->lineages[static_cast<std::size_t>(i)]->number;
        std::cout << std::endl;
    }
    std::cout << "\tERROR: " << e.message() << std::endl;
}

}  // namespace

void SimulationLoop::geneticPhase() {
    const Stopwatch start;
    try {
        // One data type for the whole program call: what it prepares once
        // (the site rates of DNA) is rebuilt, not set up anew, by later
        // entire simulations.
        if (!dataType) dataType = makeDataType(settings);
        if (!dataType)
            throw SimulationError(Text("SimulateGeneticData(): no data type answers to the code ") +
                                      static_cast<int>(settings.dataType) + "!",
                                  levelFatal);
        std::cout << "\n\nGenetic simulation (" << dataType->name() << ")...";
        // Without an independent locus no genealogy can ever be built: no
        // later run could succeed either.
        if (settings.numIndependentLoci < 1)
            throw SimulationError(Text("SimulateGeneticData():Not enough lineages to perform coalescence!"),
                                  levelFatal);
        GeneticSimulation(*this, *dataType, rng_).run();
    } catch (const SimulationError&) {
        throw;
    } catch (...) {
        throw SimulationError(Text("Simulate Genetic Data did not work!"), levelError);
    }
    std::cout << "\nGenetic simulation done. (Duration: " << start << ")" << std::endl;
}

}  // namespace fluviagen
