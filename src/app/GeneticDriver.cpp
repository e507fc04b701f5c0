// The genetic phase of an entire simulation: the sampled genes are traced
// back through the stored demography once per genetic simulation and
// independent locus, mutations are placed on each genealogy, and the outputs
// that the settings switch on are written to "GeneticOutput/".
#include <algorithm>
#include <iostream>
#include <new>
#include <string>
#include <vector>

#include "coalescent/Deme.h"
#include "mutation/GammaRates.h"
#include "mutation/Mutation.h"
#include "drainage/Segment.h"
#include "output/CoalescenceTables.h"
#include "output/OutputFiles.h"
#include "output/ProjectFile.h"
#include "output/TreeFiles.h"
#include "base/Exception.h"
#include "app/World.h"

namespace {

// The genetic settings as one call of the driver uses them.
struct WorkingFields {
    int G = 0;                  // genetic simulations
    int L = 0;                  // linked loci (sites) per locus
    float mu = 0;               // mutation rate of the whole locus
    float alpha = 0;            // gamma shape of the site rates (0: equal rates)
    float transitionFraction = 0;
    int gammaCategories = 0;
    float gsmParameter = 0;
    int microsatRange = 0;
    float minSnpFrequency = 0;
    float minSnpFrequencyInSample = 0;
    int K = 0;                  // independent loci
    std::int8_t dataType = DNA;

    explicit WorkingFields(const TSettings& s)
        : G(s.numGeneticSimulations), L(s.numLinkedLoci), mu(s.mutationRate), alpha(s.gammaA),
          transitionFraction(s.transitionFraction), gammaCategories(s.numGammaCategories),
          gsmParameter(s.gsmGeometricParameter), microsatRange(s.microsatRange), minSnpFrequency(s.minSnpFrequency),
          minSnpFrequencyInSample(s.minSnpFrequencyInSample), K(s.numIndependentLoci), dataType(s.dataType) {}
};

// The part of a path's file name before its first ".".
my_string stemOf(const my_string& path) { return fileNameOf(path).before('.'); }

// Output files of one call.
struct GeneticOutputs {
    OutputFile list;       // ".arb": names of the project files, appended across calls
    OutputFile trueTrees;  // "_true.trees"
    OutputFile mutTrees;   // "_mut.trees"
    OutputFile tmrca;      // ".tmrca"
    OutputFile coal;       // ".coal"

    void close() {
        for (OutputFile* f : {&list, &trueTrees, &mutTrees, &tmrca, &coal}) f->close();
    }
    void abandon() {
        list.close();  // the names it holds stand for files already complete
        for (OutputFile* f : {&trueTrees, &mutTrees, &tmrca, &coal}) f->abandon();
    }
};

class GeneticSimulation {
public:
    GeneticSimulation(World& world, const WorkingFields& w) : world_(world), w_(w), demes_(*world.demes) {}

    void run();

private:
    void openOutputs();
    void writeHeaders();
    void simulateSingleLocus(int s);
    void simulateMultilocus(int s, int& locusCounter);
    int sprinkle(int s);
    void copyLocusToHaplotypeMatrix(int k);
    void writeProjectFile(int s, bool multilocus);
    void writeTmrca(int s, int locus, int position);
    void printActiveDemes(const TException& e) const;

    World& world_;
    const WorkingFields& w_;
    TDemeCollection& demes_;
    GeneticOutputs out_;
    std::vector<int> sampleSizes_;
    std::vector<SampleDemeRef> sampleRefs_;
    float ratePerSite_ = 0;
    TreeLengthSums sums_;  // over the genetic simulations, single precision
};

void GeneticSimulation::openOutputs() {
    const TSettings& s = world_.settings;
    const my_string base = world_.outputText;
    if (s.arpOutput) out_.list.open(outputFileName(base + ".arb"), true);
    if (s.geneticTreesOutput && w_.K <= 1) {
        out_.trueTrees.open(outputFileName(base + "_true.trees"), false);
        out_.mutTrees.open(outputFileName(base + "_mut.trees"), false);
    }
    if (s.mrcaTimesOutput) out_.tmrca.open(outputFileName(base + ".tmrca"), false);
    if (s.coalescenceTimesOutput) out_.coal.open(outputFileName(base + ".coal"), false);
}

void GeneticSimulation::writeHeaders() {
    const TSettings& s = world_.settings;
    if (s.geneticTreesOutput && w_.K <= 1) {
        writeTreeFileHeader(out_.trueTrees.stream());
        writeTreeFileHeader(out_.mutTrees.stream());
    }
    if (s.mrcaTimesOutput) {
        out_.tmrca << "noSimulation TMRCA ";
        for (int i = 1; i <= demes_.numSampleDemes(); ++i) out_.tmrca << "Pop" << i << " ";
        out_.tmrca << "\n";
    }
    if (s.coalescenceTimesOutput) out_.coal << "Coalescence times for every simulations" << "\n";
}

void GeneticSimulation::run() {
    openOutputs();
    if (!demes_.createDemesFromWorld(world_)) throw TException(my_string("ReadGeneticSamples() messed up!"), levelError);
    for (const TDeme* deme : demes_.sampleDemes) {
        sampleSizes_.push_back(deme->sampleSize);
        sampleRefs_.push_back({demes_.tableIndex(*deme->segment), deme->slot});
    }
    writeHeaders();

    // The next tree numbers its nodes from 1 again.
    resetNodeCounter();
    if (w_.dataType == MICROSAT && w_.microsatRange != 0) setMicrosatBounds(w_.microsatRange);
    ratePerSite_ = w_.L != 0 ? w_.mu / static_cast<float>(w_.L) : 0.0f;
    if (w_.alpha != 0 && w_.dataType == DNA) buildSiteRates(w_.L, w_.alpha, w_.gammaCategories);

    try {
        int locusCounter = 1;
        for (int s = 1; s <= w_.G; ++s) {
            if (w_.K > 1)
                simulateMultilocus(s, locusCounter);
            else
                simulateSingleLocus(s);
            std::cout << "\n\tdone!\n";
        }
    } catch (const TException& e) {
        printActiveDemes(e);
        demes_.resetDemes();
        demes_.clearHaplotypeMatrix();
        out_.abandon();
        if (e.isFatal()) throw;
        throw TException(my_string("GeneticSimulation did mess up!"), levelError);
    }

    if (w_.K <= 1) {
        const float L = static_cast<float>(w_.L);
        sums_.length = w_.L != 0 ? sums_.length / L : 0.0f;
        sums_.lengthSquared = w_.L != 0 ? sums_.lengthSquared / (L * L) : 0.0f;
        if (world_.settings.geneticTreesOutput) {
            writeTreeFileFooter(out_.trueTrees.stream(), sums_.length, sums_.lengthSquared, w_.G);
            writeTreeFileFooter(out_.mutTrees.stream(), sums_.mutations, sums_.mutationsSquared, w_.G);
        }
    }
    out_.close();
}

int GeneticSimulation::sprinkle(int s) {
    return sprinkle_mutations(demes_.tree, w_.mu, w_.gsmParameter, w_.L, w_.dataType, w_.alpha,
                              w_.transitionFraction, w_.microsatRange, w_.minSnpFrequency,
                              w_.minSnpFrequencyInSample, s, sampleSizes_);
}

void GeneticSimulation::simulateSingleLocus(int s) {
    const TSettings& settings = world_.settings;
    std::cout << "\n\t" << s << ". of " << w_.G << " Genetic simulations running...";
    if (settings.coalescenceTimesOutput) out_.coal << "Simulation" << s;
    demes_.buildTree(s);
    const int m = sprinkle(s);
    sums_.add(m, treeLength());
    if (settings.geneticTreesOutput) {
        writeTreeLine(out_.trueTrees.stream(), s, demes_.tree, 1, ratePerSite_);
        writeTreeLine(out_.mutTrees.stream(), s, demes_.tree, 2, ratePerSite_);
    }
    if (settings.arpOutput) writeProjectFile(s, false);
    demes_.resetDemes();
    if (settings.mrcaTimesOutput) writeTmrca(s, -1, s);
    if (settings.coalescenceTimesOutput) writeCoalescenceLine(out_.coal.stream(), demes_.tree);
}

void GeneticSimulation::simulateMultilocus(int s, int& locusCounter) {
    const TSettings& settings = world_.settings;
    for (int k = 0; k < w_.K; ++k) {
        std::cout << "\n\t" << "Simulation of locus " << k + 1 << " of " << w_.K << " ...";
        demes_.buildTree(locusCounter);
        if (settings.coalescenceTimesOutput) out_.coal << "Sim_" << s << "_" << k;
        sprinkle(s);
        copyLocusToHaplotypeMatrix(k);
        demes_.resetDemes();
        if (settings.mrcaTimesOutput) writeTmrca(s, k, locusCounter);
        if (settings.coalescenceTimesOutput) writeCoalescenceLine(out_.coal.stream(), demes_.tree);
        ++locusCounter;
    }
    if (settings.arpOutput) writeProjectFile(s, true);
    demes_.clearHaplotypeMatrix();
}

void GeneticSimulation::copyLocusToHaplotypeMatrix(int k) {
    auto& matrix = demes_.haplotypeMatrix;
    if (matrix.empty()) return;
    const std::size_t first = static_cast<std::size_t>(k) * static_cast<std::size_t>(w_.L);
    const auto& hits = mutationState().hits;
    for (int site = 0; site < w_.L; ++site) {
        const std::size_t column = first + static_cast<std::size_t>(site);
        matrix[0][column] = static_cast<std::size_t>(site) < hits.size() ? hits[static_cast<std::size_t>(site)] : 0;
    }
    std::size_t row = 1;
    for (const TDeme* deme : demes_.sampleDemes) {
        for (const TNode* gene : deme->samples) {
            for (int site = 0; site < w_.L; ++site) {
                const std::size_t column = first + static_cast<std::size_t>(site);
                matrix[row][column] = site < gene->nSites ? gene->sequence[static_cast<std::size_t>(site)] : 0;
            }
            ++row;
        }
    }
}

void GeneticSimulation::writeProjectFile(int s, bool multilocus) {
    const TSettings& settings = world_.settings;
    ProjectFileData data;
    data.entireIndex = world_.runIndex;
    data.entireCount = settings.numDemographicSimulations;
    data.simulationIndex = s;
    data.simulationCount = w_.G;
    data.independentLoci = w_.K;
    data.linkedLoci = w_.L;
    data.mutationRate = w_.mu;
    data.gammaA = w_.alpha;
    data.transitionFraction = w_.transitionFraction;
    data.microsatRange = w_.microsatRange;
    data.microsatLower = mutationState().microsatLo;
    data.microsatUpper = mutationState().microsatHi;
    data.minSnpFrequency = w_.minSnpFrequency;
    data.minSnpFrequencyInSample = w_.minSnpFrequencyInSample;
    data.dataType = w_.dataType;
    data.genotypic = settings.genotypicOutput;

    std::size_t row = 1;
    for (const TDeme* deme : demes_.sampleDemes) {
        ProjectFileData::Deme d;
        d.name = deme->name;
        d.sampleSize = deme->sampleSize;
        for (const TNode* gene : deme->samples) {
            if (multilocus)
                d.genes.emplace_back(demes_.haplotypeMatrix[row++]);
            else
                d.genes.emplace_back(gene->sequence.data(), static_cast<std::size_t>(gene->nSites));
        }
        data.demes.push_back(std::move(d));
    }
    const auto& hits = mutationState().hits;
    if (multilocus)
        data.hits = demes_.haplotypeMatrix[0];
    else
        data.hits = std::span<const int>(hits.data(), std::min(hits.size(), static_cast<std::size_t>(w_.L)));

    const my_string name = projectFileName(world_.outputText, world_.runIndex, settings.numDemographicSimulations,
                                           s, w_.G);
    ::writeProjectFile(outputFileName(name), data);
    out_.list << fileNameOf(name) << "\n";
}

void GeneticSimulation::writeTmrca(int s, int locus, int position) {
    const auto mrca = writeTmrcaLine(out_.tmrca.stream(), demes_.tree, world_.settings.numGenerations, s, locus,
                                     sampleRefs_);
    for (std::size_t i = 0; i < mrca.size() && i < demes_.popMrca.size(); ++i) {
        auto& column = demes_.popMrca[i];
        if (position >= 1 && static_cast<std::size_t>(position) <= column.size())
            column[static_cast<std::size_t>(position - 1)] = mrca[i];
    }
}

void GeneticSimulation::printActiveDemes(const TException& e) const {
    for (const TDeme* deme : demes_.active) {
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

void World::SimulateGeneticData() {
    const myTimer start;
    std::cout << "\n\nGenetic simulation (" << settings.dataTypeName << ")...";
    try {
        const WorkingFields w(settings);
        // Without an independent locus no genealogy can ever be built: no
        // later run could succeed either.
        if (w.K < 1)
            throw TException(my_string("SimulateGeneticData():Not enough lineages to perform coalescence!"),
                             levelFatal);
        outputText = my_string("GeneticOutput/") + stemOf(settings.settingsPath) + "_" + stemOf(settings.sampleFile) +
                     "_" + settings.dataTypeName;
        GeneticSimulation(*this, w).run();
    } catch (const TException&) {
        throw;
    } catch (...) {
        throw TException(my_string("Simulate Genetic Data did not work!"), levelError);
    }
    std::cout << "\nGenetic simulation done. (Duration: " << start << ")" << std::endl;
}
