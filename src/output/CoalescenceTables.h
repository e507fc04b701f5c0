// Per-genealogy tables: ".tmrca" (age of the most recent common ancestor of
// all genes and of each sample deme) and ".coal" (forward generation of every
// coalescence).
#pragma once

#include <iosfwd>
#include <vector>

#include "output/GeneticWriter.h"
#include "output/OutputFiles.h"

namespace fluviagen {

class GenealogyTree;

struct SampleDemeRef {
    int segmentIndex = 0;
    int slot = 0;
};

// "sim_<s>_<locus> <T - g_root>" and " <T - g_i>" per sample deme. Returns
// per sample deme the segment id where its MRCA arose (-1 when the deme has
// no gene in the tree; its column then reads NA).
std::vector<int> writeTmrcaLine(std::ostream& os, const GenealogyTree& tree, int generations, int simulationIndex,
                                int locus, const std::vector<SampleDemeRef>& sampleDemes);

// " <g>" for every internal node in array order, then the line end.
void writeCoalescenceLine(std::ostream& os, const GenealogyTree& tree);

// ".tmrca": one line per genealogy.
class TmrcaWriter : public GeneticWriter {
public:
    void open(const GeneticPhaseView& phase) override;
    void writeHeaders(const GeneticPhaseView& phase) override;
    void genealogy(const GeneticPhaseView& phase, const GenealogyView& view) override;
    void finish(const GeneticPhaseView&) override { file_.close(); }
    void abandon() override { file_.abandon(); }

private:
    OutputFile file_;
    std::vector<SampleDemeRef> samples_;
};

// ".coal": one line per genealogy.
class CoalescenceWriter : public GeneticWriter {
public:
    void open(const GeneticPhaseView& phase) override;
    void writeHeaders(const GeneticPhaseView& phase) override;
    void genealogy(const GeneticPhaseView& phase, const GenealogyView& view) override;
    void finish(const GeneticPhaseView&) override { file_.close(); }
    void abandon() override { file_.abandon(); }

private:
    OutputFile file_;
};

}  // namespace fluviagen
