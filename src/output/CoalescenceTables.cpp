#include "output/CoalescenceTables.h"

#include <ostream>

#include "coalescent/GenealogyTree.h"

namespace {

// Forward generation in which a node arose (0 for nodes older than the
// forward simulation).
int birthGeneration(const TNode& node) {
    return (node.generations && node.generations->count() > 0) ? (*node.generations)[0] : 0;
}

int birthSegment(const TNode& node) {
    return (node.locations && node.locations->count() > 0) ? (*node.locations)[0] : -1;
}

}  // namespace

std::vector<int> writeTmrcaLine(std::ostream& os, const TTree& tree, int generations, int simulationIndex, int locus,
                                const std::vector<SampleDemeRef>& sampleDemes) {
    std::vector<int> mrcaSegments;
    const TNode& root = tree.node(tree.nodeCount() - 1);
    os << "sim_" << simulationIndex << "_" << locus << " " << generations - birthGeneration(root);
    for (const auto& deme : sampleDemes) {
        const TNode* mrca = tree.nodeByNumber(tree.FindSampleMRCA(deme.segmentIndex, deme.slot));
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

void writeCoalescenceLine(std::ostream& os, const TTree& tree) {
    for (int i = tree.size(); i < tree.nodeCount(); ++i) os << " " << birthGeneration(tree.node(i));
    os << "\n";
}
