// Per-genealogy tables: ".tmrca" (age of the most recent common ancestor of
// all genes and of each sample deme) and ".coal" (forward generation of every
// coalescence).
#pragma once

#include <iosfwd>
#include <vector>

class TTree;

struct SampleDemeRef {
    int segmentIndex = 0;
    int slot = 0;
};

// "sim_<s>_<locus> <T - g_root>" and " <T - g_i>" per sample deme. Returns
// per sample deme the segment id where its MRCA arose (-1 when the deme has
// no gene in the tree; its column then reads NA).
std::vector<int> writeTmrcaLine(std::ostream& os, const TTree& tree, int generations, int simulationIndex, int locus,
                                const std::vector<SampleDemeRef>& sampleDemes);

// " <g>" for every internal node in array order, then the line end.
void writeCoalescenceLine(std::ostream& os, const TTree& tree);
