// The writers of the genetic phase behind one interface, and the read-only
// view of the results they read. A new output format is one writer in this
// folder that reads the view; the simulation loop (app/) decides which writers a
// run has.
//
// In every genetic simulation the writers see, in this order: each
// genealogy with the mutations placed on it (once per independent locus),
// then the sampled genotypes of the whole simulation. A writer keeps its
// files open for the whole phase and completes them in finish(); a failed
// phase abandons them (files replaced on every phase are then left as they
// were).
#pragma once

#include <span>
#include <vector>

#include "base/Utilities.h"

namespace fluviagen {

class DataType;
class OutputRegistry;
class Segment;
class Drainage;
class GenealogyTree;
struct MutationResult;

// One sample deme: its name, sampled gene copies and where its leaves sit in
// the genealogy (the segment index and slot of its deme).
struct SampleView {
    Text name;
    int sampleSize = 0;
    int segmentIndex = 0;
    int slot = 0;
};

// One sample of the sample file, used in this entire simulation or not (a
// sample whose segment was not colonised has no deme and no genes).
struct FileSampleView {
    Text name;
    int sampleSize = 0;                // gene copies the file asks for
    const Segment* segment = nullptr;  // where the file places it
    int used = -1;                     // its position in `samples`; -1 when not used
};

// What every writer knows of the phase.
struct GeneticPhaseView {
    Text folder;               // the output folder, with its final separator
    Text outputName;           // "<settings>_<samples>_<TYPE>", the start of every file name
    OutputRegistry* registry;  // the output files of the program call
    const DataType* dataType;
    int entireIndex = 0;      // 0-based index of the entire simulation
    int entireCount = 0;      // entire simulations asked for
    int simulationCount = 0;  // genetic simulations per entire simulation (G)
    int independentLoci = 1;  // K
    int linkedLoci = 0;       // L, sites per locus
    int generations = 0;      // forward generations (ages are counted from the last)
    float mutationRate = 0;   // per locus and generation
    float gammaA = 0;
    bool genotypic = false;                   // genes written as diploid individuals
    std::vector<SampleView> samples;          // in the genealogy's leaf order
    std::vector<FileSampleView> fileSamples;  // every sample of the sample file, in file order
    const Drainage* drainage = nullptr;       // the drainage in use
};

// One genealogy: genetic simulation s (1-based), locus k (0-based; -1 when
// there is only one), and the mutations placed on it.
struct GenealogyView {
    int simulation = 0;
    int locus = -1;
    const GenealogyTree& tree;
    const MutationResult& mutations;
};

// The sampled genotypes of one genetic simulation: per sample, one row of
// site states per gene copy (all K x L sites with several loci), and the
// mutation hits per site.
struct GenotypeView {
    int simulation = 0;
    std::vector<std::vector<std::span<const int>>> genes;  // [sample][gene copy]
    std::span<const int> hits;
};

class GeneticWriter {
public:
    virtual ~GeneticWriter() = default;
    // Opens the files, before the samples are known.
    virtual void open(const GeneticPhaseView& phase) = 0;
    // Writes the headers, once the samples are known.
    virtual void writeHeaders(const GeneticPhaseView&) {}
    virtual void genealogy(const GeneticPhaseView&, const GenealogyView&) {}
    virtual void genotypes(const GeneticPhaseView&, const GenotypeView&) {}
    // Footers; the files take their final names.
    virtual void finish(const GeneticPhaseView&) = 0;
    // A failed phase: unfinished files are dropped.
    virtual void abandon() = 0;
};

}  // namespace fluviagen
