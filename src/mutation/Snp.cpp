// SNP: exactly one mutation per site, placed uniformly on the genealogy, and
// redrawn until the site is polymorphic enough in the sample.
#include "mutation/DataTypes.h"

#include <algorithm>
#include <iostream>
#include <ostream>

#include "coalescent/GenealogyTree.h"
#include "random/Rng.h"

namespace fluviagen {

namespace {

// Sites are redrawn at most this often before they are left monomorphic.
constexpr int kMaxSnpAttempts = 20000;

std::size_t idx(int i) { return static_cast<std::size_t>(i); }

// Marks `top` and every node below it as carrying the derived state at `site`
// (`stack`: scratch space kept between calls).
void markDerived(TreeNode& top, int site, std::vector<TreeNode*>& stack) {
    stack.assign(1, &top);
    while (!stack.empty()) {
        TreeNode* node = stack.back();
        stack.pop_back();
        if (node->sequence.size() > idx(site)) node->sequence[idx(site)] = 1;
        if (node->right != nullptr) stack.push_back(node->right);
        if (node->left != nullptr) stack.push_back(node->left);
    }
}

// A branch of the genealogy: the node below it and its parent.
struct Branch {
    TreeNode* parent;
    TreeNode* child;
    long long length() const { return parent->time - child->time; }
};

// The branches in pre-order (the branch to the first child, that child's
// subtree, then the branch to the second child and its subtree): the order in
// which they are laid end to end along the tree length.
std::vector<Branch> branchesInPreOrder(TreeNode& root) {
    std::vector<Branch> order;
    std::vector<Branch> stack;
    if (root.right != nullptr) stack.push_back({&root, root.right});
    if (root.left != nullptr) stack.push_back({&root, root.left});
    while (!stack.empty()) {
        const Branch branch = stack.back();
        stack.pop_back();
        order.push_back(branch);
        TreeNode* node = branch.child;
        if (node->right != nullptr) stack.push_back({node, node->right});
        if (node->left != nullptr) stack.push_back({node, node->left});
    }
    return order;
}

int derivedState(const TreeNode& leaf, int site) {
    return leaf.sequence.size() > idx(site) ? leaf.sequence[idx(site)] : 0;
}

}  // namespace

bool snpAccepted(const GenealogyTree& tree, int site, float minSnpFrequency, float minSnpFrequencyInSample,
                 const std::vector<int>& sampleSizes) {
    const int n = tree.size();
    int derived = 0;
    for (int i = 0; i < n; ++i) derived += derivedState(tree.node(i), site) == 1 ? 1 : 0;
    const float f = static_cast<float>(std::min(derived, n - derived)) / static_cast<float>(n);
    if (f >= minSnpFrequency) return true;
    if (!(minSnpFrequencyInSample > 0.0f)) return false;
    int first = 0;
    for (int m : sampleSizes) {
        const int end = std::min(first + std::max(m, 0), n);
        const int size = end - first;
        if (size > 0) {
            int k = 0;
            for (int i = first; i < end; ++i) k += derivedState(tree.node(i), site) == 1 ? 1 : 0;
            const float fs = static_cast<float>(std::min(k, size - k)) / static_cast<float>(size);
            if (fs >= minSnpFrequencyInSample) return true;
        }
        first = end;
    }
    return false;
}

Snp::Snp(const Settings& s)
    : nSites_(s.numLinkedLoci),
      minSnpFrequency_(s.minSnpFrequency),
      minSnpFrequencyInSample_(s.minSnpFrequencyInSample) {}

MutationResult Snp::sprinkle(GenealogyTree& tree, const GenealogyContext& genealogy, Rng& rng) {
    Sprinkler sprinkler(nSites_);
    if (tree.size() < 1 || nSites_ <= 0) return sprinkler.result();
    const int n = tree.size();
    TreeNode& root = tree.node(2 * n - 2);
    const std::vector<Branch> branches = branchesInPreOrder(root);

    // Every node starts ancestral (0) at every site; the tree length in
    // generations is the range over which a mutation falls uniformly.
    ensureSequence(root, nSites_);
    std::fill(root.sequence.begin(), root.sequence.end(), 0);
    long long length = 0;
    for (const Branch& branch : branches) {
        TreeNode& node = *branch.child;
        if (ensureSequence(node, nSites_)) std::fill(node.sequence.begin(), node.sequence.end(), 0);
        length += branch.length();
    }

    std::vector<TreeNode*> scratch;
    bool allAccepted = true;
    for (int site = 0; site < nSites_; ++site) {
        bool accepted = false;
        for (int attempt = 0; attempt < kMaxSnpAttempts && !accepted; ++attempt) {
            const auto x = static_cast<long long>(rng.uniform() * static_cast<double>(length));
            sprinkler.setHit(site, 1);
            long long start = 0;
            for (const Branch& branch : branches) {
                if (x >= start && x < start + branch.length()) {
                    markDerived(*branch.child, site, scratch);
                    break;
                }
                start += branch.length();
            }
            accepted = snpAccepted(tree, site, minSnpFrequency_, minSnpFrequencyInSample_, genealogy.sampleSizes);
            if (!accepted)
                for (int i = 0; i < n; ++i)
                    if (tree.node(i).sequence.size() > idx(site)) tree.node(i).sequence[idx(site)] = 0;
        }
        if (!accepted) allAccepted = false;
    }
    if (!allAccepted)
        std::cout << "ERROR: {TDemeCollection::sprinkle_mutations} [Impossible to generate enough snp "
                     "polymorphisms for simulation "
                  << genealogy.simulationIndex << " !]" << std::endl;
    return sprinkler.result();
}

void Snp::writeDescription(std::ostream& os) const {
    os << "SNP"
       << " Minimum Frequency = " << minSnpFrequency_ << " (within Sample = " << minSnpFrequencyInSample_ << ")\n";
}

void Snp::writeProfile(std::ostream& os) const { os << "\tDataType=STANDARD\n\tLocusSeparator=WHITESPACE\n"; }

void Snp::writeState(std::ostream& os, int state) const { os << state; }

}  // namespace fluviagen
