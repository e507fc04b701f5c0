#include "coalescent/GenealogyTree.h"

#include <climits>
#include <iostream>
#include <new>
#include <stdexcept>
#include <utility>

namespace fluviagen {

namespace {

// Forward generation in which a node arose: the first entry of its history.
// A node without a recorded history never counts as more recent than one with.
int firstGeneration(const TreeNode& node) {
    if (!node.generations || node.generations->count() == 0) return INT_MIN;
    return (*node.generations)[0];
}

// The top of the walk up from a node: the root of the tree. In a finished
// genealogy that is the node with the root's number; a node without parent
// also ends the walk, so an unfinished tree cannot lead the walk off the tree.
bool isTop(const TreeNode* node, int rootNumber) { return node->number == rootNumber || node->ancestor == nullptr; }

}  // namespace

// ---------------------------------------------------------------------------
// IntList

IntList::IntList(int size, int growth) : growth_(growth) {
    if (size < 0 || size == INT_MAX) throw std::bad_array_new_length();
    items_.resize(static_cast<std::size_t>(size) + 1);
}

bool IntList::append(int value) {
    if (count_ == capacity()) {
        const int step = growth_ > 0 ? growth_ : 1;
        if (count_ > INT_MAX - step) return false;
        try {
            items_.resize(static_cast<std::size_t>(count_) + static_cast<std::size_t>(step));
        } catch (const std::bad_alloc&) {
            return false;
        }
    }
    items_[static_cast<std::size_t>(count_)] = value;
    ++count_;
    return true;
}

void IntList::dropLast() {
    if (count_ > 0) --count_;
}

bool IntList::contains(int value) const {
    for (int v : *this)
        if (v == value) return true;
    return false;
}

// ---------------------------------------------------------------------------
// TreeNode

TreeNode::TreeNode() = default;

TreeNode::~TreeNode() = default;

int TreeNode::create_LocationVector() {
    locations.reset();
    generations.reset();
    try {
        locations = std::make_unique<IntList>(100, 100);
    } catch (const std::bad_alloc&) {
        std::cout << "\nTNode::create_LocationVector(): unable to allocate memory\n" << std::endl;
    }
    try {
        generations = std::make_unique<IntList>(100, 100);
    } catch (const std::bad_alloc&) {
        std::cout << "\nTNode::create_LocationVector(): unable to allocate memory\n" << std::endl;
    }
    return locations && generations ? 1 : 0;
}

int TreeNode::storeMigration(int segmentId, int generation) {
    // Both lists grow together so that entry i of each describes one record.
    bool stored = locations && generations && locations->append(segmentId);
    if (stored && !generations->append(generation)) {
        locations->dropLast();
        stored = false;
    }
    if (!stored) {
        std::cout << "TNode::Store_Node_Migration: Impossible to add migration into the DB :" << number << " at time "
                  << generation << std::endl;
        return 0;
    }
    return 1;
}

int TreeNode::clearLocations() {
    if (locations && generations) {
        locations->clear();
        generations->clear();
        return 1;
    }
    return create_LocationVector();
}

void TreeNode::writeNewick(std::ostream& os, int kind, float rate) const {
    if (left != nullptr && right != nullptr) {
        os << '(';
        left->writeNewick(os, kind, rate);
        os << ", ";
        right->writeNewick(os, kind, rate);
        os << ')';
    } else {
        // A sampled gene: its number and its sample deme counted from 1.
        os << number << '.' << demeId + 1;
    }
    if (ancestor == nullptr) {
        os << ";\n";
        return;
    }
    os << ':';
    if (kind == 1)
        os << static_cast<float>(ancestor->time - time) * rate;
    else
        os << mutations;
}

// ---------------------------------------------------------------------------
// NodeList

int NodeList::allocateList(int size) {
    items_.clear();
    items_.shrink_to_fit();
    try {
        if (size < 0) throw std::bad_array_new_length();
        items_.assign(static_cast<std::size_t>(size), nullptr);
    } catch (const std::bad_alloc&) {
        items_.clear();
        items_.shrink_to_fit();
        std::cout << "TListNode::allocate_list : unable to allocate memory" << std::endl;
        return 0;
    }
    return 1;
}

// ---------------------------------------------------------------------------
// GenealogyTree

GenealogyTree::GenealogyTree(int n) { resize(n); }

GenealogyTree::GenealogyTree(GenealogyTree&& other) noexcept
    : nodes_(std::move(other.nodes_)), n_(std::exchange(other.n_, 0)) {}

GenealogyTree& GenealogyTree::operator=(GenealogyTree&& other) noexcept {
    nodes_ = std::move(other.nodes_);
    n_ = std::exchange(other.n_, 0);
    return *this;
}

int GenealogyTree::resize(int n) {
    nodes_.reset();
    n_ = 0;
    if (n < 1) return 1;
    try {
        // Node numbers are ints: 2n - 1 must be one too.
        if (n > INT_MAX / 2) throw std::bad_array_new_length();
        nodes_ = std::make_unique<TreeNode[]>(static_cast<std::size_t>(2 * n - 1));
        for (int k = 0; k < 2 * n - 1; ++k) nodes_[static_cast<std::size_t>(k)].number = k + 1;
    } catch (const std::bad_alloc&) {
        std::cout << "TTree::TTree(int size) : unable to allocate memory" << std::endl;
        return 0;
    }
    n_ = n;
    return 1;
}

TreeNode& GenealogyTree::node(int i) {
    if (i < 0 || i >= nodeCount()) throw std::out_of_range("TTree::node: index out of range");
    return nodes_[static_cast<std::size_t>(i)];
}

const TreeNode& GenealogyTree::node(int i) const {
    if (i < 0 || i >= nodeCount()) throw std::out_of_range("TTree::node: index out of range");
    return nodes_[static_cast<std::size_t>(i)];
}

const TreeNode* GenealogyTree::nodeByNumber(int number) const {
    if (nodeCount() == 0) return nullptr;
    // The numbers of one tree are consecutive from its first node.
    const long long index = static_cast<long long>(number) - nodes_[0].number;
    if (index < 0 || index >= nodeCount()) return nullptr;
    return &nodes_[static_cast<std::size_t>(index)];
}

int GenealogyTree::clearLocations() {
    int ok = 1;
    for (int i = 0; i < nodeCount(); ++i)
        if (nodes_[static_cast<std::size_t>(i)].clearLocations() == 0) ok = 0;
    return ok;
}

void GenealogyTree::writeNewick(std::ostream& os, int kind, float rate) const {
    if (nodeCount() == 0) return;
    nodes_[static_cast<std::size_t>(nodeCount() - 1)].writeNewick(os, kind, rate);
}

int GenealogyTree::findSampleMrca(int segmentIndex, int sampleSlot) const {
    // A: the candidate common ancestors found so far (numbers, from the most
    // recent upwards); B: the part of A that is also above the next leaf.
    std::unique_ptr<IntList> a;
    std::unique_ptr<IntList> b;
    try {
        a = std::make_unique<IntList>(30, 20);
        b = std::make_unique<IntList>(30, 20);
    } catch (const std::bad_alloc&) {
        std::cout << "\nTTree::FindSampleMRCA(): unable to allocate memory\n" << std::endl;
        return -1;
    }
    const auto belongs = [&](const TreeNode& node) {
        return node.segmentIndex == segmentIndex && node.sampleSlot == sampleSlot;
    };
    const int count = nodeCount();
    int first = 0;
    while (first < count && !belongs(nodes_[static_cast<std::size_t>(first)])) ++first;
    if (first == count) return -1;  // no gene of this sample in the tree

    // With the counter at 0 before the tree was built this is 2n - 1.
    const int rootNumber = nodes_[static_cast<std::size_t>(count - 1)].number;
    bool ok = true;

    // Every ancestor of the first gene, from its parent up to the root.
    const TreeNode& f = nodes_[static_cast<std::size_t>(first)];
    const TreeNode* p = f.ancestor != nullptr ? f.ancestor : &f;
    while (!isTop(p, rootNumber)) {
        ok = a->append(p->number) && ok;
        p = p->ancestor;
    }
    ok = a->append(p->number) && ok;

    // Keep only those that are ancestors of every other gene of the sample.
    for (int i = first + 1; i < count; ++i) {
        const TreeNode& leaf = nodes_[static_cast<std::size_t>(i)];
        if (!belongs(leaf) || leaf.number == f.number) continue;
        const TreeNode* q = &leaf;
        while (!isTop(q, rootNumber)) {
            if (a->contains(q->number)) ok = b->append(q->number) && ok;
            q = q->ancestor;
        }
        ok = b->append(q->number) && ok;
        std::swap(a, b);
        b->clear();
    }
    if (!ok) {
        std::cout << "\nTTree::FindSampleMRCA(): unable to allocate memory\n" << std::endl;
        return -1;
    }

    // The most recent of them: the largest forward generation of creation;
    // the earlier entry wins a tie.
    int best = (*a)[0];
    const TreeNode* bestNode = nodeByNumber(best);
    int bestGeneration = bestNode != nullptr ? firstGeneration(*bestNode) : INT_MIN;
    for (int k = 1; k < a->count(); ++k) {
        const TreeNode* candidate = nodeByNumber((*a)[k]);
        if (candidate == nullptr) continue;
        const int generation = firstGeneration(*candidate);
        if (generation > bestGeneration) {
            best = (*a)[k];
            bestGeneration = generation;
        }
    }
    return best;
}

}  // namespace fluviagen
