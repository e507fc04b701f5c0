// Genealogy records: the binary tree of one locus that the backward coalescent
// builds, the mutation step decorates and the writers read.
//
// A genealogy of n sampled gene copies has 2n - 1 nodes: the leaves are the
// sampled genes (array slots 0 .. n-1), every coalescence adds one internal
// node (slots n .. 2n-2, in the order the events happen backwards in time), and
// the last one, slot 2n-2, is the most recent common ancestor of the whole
// sample (the root). Nodes know their children and their parent by observer
// pointers into the tree's node array; the tree owns all of them.
#pragma once

#include <memory>
#include <ostream>
#include <vector>

namespace fluviagen {

// ---------------------------------------------------------------------------
// IntList: growable array of ints with explicit capacity and growth step.
//
// It is created with one spare entry beyond the requested size; an append that
// finds it full enlarges it by `growth` entries (keeping the values), and
// clearing forgets the values but keeps the storage, so a list reused for
// every genealogy stops allocating once it has reached its working size.
class IntList {
public:
    // Capacity = size + 1. Throws std::bad_alloc (std::bad_array_new_length for
    // a negative size) when the storage cannot be had.
    IntList(int size, int growth);

    int count() const { return count_; }
    int capacity() const { return static_cast<int>(items_.size()); }
    int growth() const { return growth_; }

    // Appends a value; false (list unchanged) when the storage could not grow.
    // A growth step below 1 is taken as 1, so an append never fails for that.
    bool append(int value);
    // Removes the last value (no effect on an empty list).
    void dropLast();
    void clear() { count_ = 0; }
    bool contains(int value) const;

    // Entries 0 .. count()-1.
    int operator[](int i) const { return items_[static_cast<std::size_t>(i)]; }
    int& operator[](int i) { return items_[static_cast<std::size_t>(i)]; }
    const int* begin() const { return items_.data(); }
    const int* end() const { return items_.data() + count_; }

private:
    std::vector<int> items_;  // size() is the capacity
    int count_ = 0;
    int growth_;
};

// ---------------------------------------------------------------------------
// TreeNode: one ancestor of the sample.
//
// Besides its place in the tree a node keeps its location history: the
// segment ids where its lineage was recorded and the forward generation of
// each record (first entry: where and when the node arose; generation 0 for
// nodes that arose before the first forward generation). The mutation step
// keeps the node's allelic state per linked site in `sequence`.
class TreeNode {
public:
    TreeNode();
    virtual ~TreeNode();
    // Nodes are referenced by address from their relatives and the demes:
    // they are neither copied nor moved.
    TreeNode(const TreeNode&) = delete;
    TreeNode& operator=(const TreeNode&) = delete;

    // (Re)creates `locations` and `generations` for 100 entries each, growth
    // 100. A list that cannot be allocated is reported and left absent.
    // Returns 1 when both lists exist afterwards, else 0.
    int create_LocationVector();

    // Records that the lineage was in segment `segmentId` at forward
    // generation `generation`. Returns 1, or 0 (after a message) when a list
    // is absent or cannot grow.
    int storeMigration(int segmentId, int generation);

    // Empties both location lists for a new genealogy, keeping their storage;
    // creates them when they are absent. Returns 1 when both lists exist.
    int clearLocations();

    // Newick text of the subtree below this node; the root closes the tree
    // with ";" and an end of line. Branch lengths: kind 1 - generations on the
    // branch times `rate` (substitutions per site, single precision); any
    // other kind - the number of mutations placed on the branch.
    void writeNewick(std::ostream& os, int kind, float rate) const;

    std::unique_ptr<IntList> locations;    // segment ids (absent = null)
    std::unique_ptr<IntList> generations;  // forward generation of each record
    int segmentIndex = -1;                 // leaves: index of the sample segment in the world
    int sampleSlot = -1;                   // leaves: slot of the sample deme in its segment
    int deme = -1;                         // slot of the deme the node arose in
    int demeId = -1;                       // leaves: 0-based index of the sample deme
    int time = 0;                          // generations before sampling at creation
    TreeNode* left = nullptr;
    TreeNode* right = nullptr;
    TreeNode* ancestor = nullptr;  // null for the root
    std::vector<int> sequence;     // allelic state per linked site
    int nSites = 0;                // entries of `sequence` in use
    int mutations = 0;             // mutations on the branch above this node
    // 1-based node number, given by the tree that holds the node: node k of
    // a tree carries number k + 1. The writers identify nodes by it (a leaf's
    // number is its label in the tree files).
    int number = 0;
};

// ---------------------------------------------------------------------------
// NodeList: fixed-size array of observer pointers to nodes (the lineage,
// sample and incoming arrays of a deme). The nodes belong to the GenealogyTree.
class NodeList {
public:
    // (Re)allocates `size` empty entries. On lack of memory (or a negative
    // size) the array is released, a message printed and 0 returned; else 1.
    int allocateList(int size);

    int size() const { return static_cast<int>(items_.size()); }
    TreeNode*& operator[](int i) { return items_[static_cast<std::size_t>(i)]; }
    TreeNode* operator[](int i) const { return items_[static_cast<std::size_t>(i)]; }

private:
    std::vector<TreeNode*> items_;
};

// ---------------------------------------------------------------------------
// GenealogyTree: the genealogy of n sampled gene copies, 2n - 1 nodes.
class GenealogyTree {
public:
    GenealogyTree() = default;
    explicit GenealogyTree(int n);
    GenealogyTree(const GenealogyTree&) = delete;
    GenealogyTree& operator=(const GenealogyTree&) = delete;
    GenealogyTree(GenealogyTree&& other) noexcept;
    GenealogyTree& operator=(GenealogyTree&& other) noexcept;

    // (Re)builds the node array with 2n - 1 new nodes, releasing the earlier
    // array. On lack of memory (or a size whose node count cannot be
    // represented) prints a message and leaves the tree without nodes: 0.
    // n < 1 also leaves the tree without nodes. Returns 1 otherwise.
    int resize(int n);

    int size() const { return n_; }  // number of leaves
    int nodeCount() const { return n_ > 0 ? 2 * n_ - 1 : 0; }

    // Node at array index i (0 .. nodeCount()-1); throws std::out_of_range.
    TreeNode& node(int i);
    const TreeNode& node(int i) const;
    // The node carrying `number`, or null when no node of this tree has it.
    // That is node number - 1.
    const TreeNode* nodeByNumber(int number) const;

    // Empties the location lists of every node (see TreeNode::clearLocations).
    // Returns 1 when every node has both lists afterwards.
    int clearLocations();

    // Newick text of the whole genealogy, from the root (node 2n-2). Nothing
    // is written for a tree without nodes.
    void writeNewick(std::ostream& os, int kind, float rate) const;

    // Number of the most recent common ancestor of the leaves of one sample
    // deme, given by the segment index and the slot of that deme: the common
    // ancestor of all its leaves that arose last (largest forward generation).
    // A deme with a single gene gets that gene's parent. -1 on lack of memory
    // or when no leaf belongs to that deme.
    int findSampleMrca(int segmentIndex, int sampleSlot) const;

private:
    std::unique_ptr<TreeNode[]> nodes_;
    int n_ = 0;
};

}  // namespace fluviagen
