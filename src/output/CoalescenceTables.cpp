#include "output/CoalescenceTables.h"

#include <ostream>

#include "coalescent/GenealogyTree.h"

namespace fluviagen {

namespace {

// Forward generation in which a node arose (0 for nodes older than the
// forward simulation).
int birthGeneration(const TreeNode& node) {
    return (node.generations && node.generations->count() > 0) ? (*node.generations)[0] : 0;
}

int birthSegment(const TreeNode& node) {
    return (node.locations && node.locations->count() > 0) ? (*node.locations)[0] : -1;
}

}  // namespace

std::vector<int> writeTmrcaLine(std::ostream& os, const GenealogyTree& tree, int generations, int simulationIndex,
                                int locus, const std::vector<SampleDemeRef>& sampleDemes) {
    std::vector<int> mrcaSegments;
    const TreeNode& root = tree.node(tree.nodeCount() - 1);
    os << "sim_" << simulationIndex << "_" << locus << " " << generations - birthGeneration(root);
    for (const auto& deme : sampleDemes) {
        const TreeNode* mrca = tree.nodeByNumber(tree.findSampleMrca(deme.segmentIndex, deme.slot));
        if (mrca == nullptr) {
            os << " NA";
            mrcaSegments.push_back(-1);
        } else {
            os << " " << generations - birthGeneration(*mrca);
            mrcaSegments.push_back(birthSegment(*mrca));
        }
    }
    os << "\n";
    return mrcaSegments;
}

void writeCoalescenceLine(std::ostream& os, const GenealogyTree& tree) {
    for (int i = tree.size(); i < tree.nodeCount(); ++i) os << " " << birthGeneration(tree.node(i));
    os << "\n";
}

void TmrcaWriter::open(const GeneticPhaseView& phase) {
    file_.open(outputFileName(phase.folder, phase.outputName + ".tmrca"), false, *phase.registry);
}

void TmrcaWriter::writeHeaders(const GeneticPhaseView& phase) {
    samples_.clear();
    file_ << "noSimulation TMRCA ";
    for (std::size_t i = 1; i <= phase.samples.size(); ++i) file_ << "Pop" << i << " ";
    file_ << "\n";
    for (const SampleView& sample : phase.samples) samples_.push_back({sample.segmentIndex, sample.slot});
}

void TmrcaWriter::genealogy(const GeneticPhaseView& phase, const GenealogyView& view) {
    writeTmrcaLine(file_.stream(), view.tree, phase.generations, view.simulation, view.locus, samples_);
}

void CoalescenceWriter::open(const GeneticPhaseView& phase) {
    file_.open(outputFileName(phase.folder, phase.outputName + ".coal"), false, *phase.registry);
}

void CoalescenceWriter::writeHeaders(const GeneticPhaseView&) {
    file_ << "Coalescence times for every simulations"
          << "\n";
}

void CoalescenceWriter::genealogy(const GeneticPhaseView&, const GenealogyView& view) {
    if (view.locus < 0)
        file_ << "Simulation" << view.simulation;
    else
        file_ << "Sim_" << view.simulation << "_" << view.locus;
    writeCoalescenceLine(file_.stream(), view.tree);
}

}  // namespace fluviagen
