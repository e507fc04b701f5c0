#include "mutation/Mutation.h"

#include "mutation/GammaRates.h"
#include "random/Random.h"
#include "coalescent/GenealogyTree.h"
#include "settings/Settings.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstddef>
#include <iostream>
#include <new>

namespace {

MutationState g_mutation;

// SNP sites are redrawn at most this often before they are left monomorphic.
constexpr int kMaxSnpAttempts = 20000;

// Below this |shape| the site rates are taken as homogeneous.
constexpr double kMinGammaShape = 1e-7;

// DNA states, written as the letters of "AGCT". A<->G (purines) and C<->T
// (pyrimidines) are transitions; every other change is a transversion.
constexpr int kA = 0;
constexpr int kG = 1;
constexpr int kC = 2;
constexpr int kT = 3;

std::size_t idx(int i) { return static_cast<std::size_t>(i); }

// Gives `node` a sequence of nSites states: false (sequence empty, nSites 0)
// when it cannot be allocated. Existing states are kept.
bool ensureSequence(TNode& node, int nSites) {
    try {
        if (node.sequence.size() != idx(nSites)) node.sequence.assign(idx(nSites), 0);
    } catch (const std::bad_alloc&) {
        node.sequence.clear();
        node.sequence.shrink_to_fit();
        node.nSites = 0;
        return false;
    }
    node.nSites = nSites;
    return true;
}

// Mean number of mutations on the branch from `parent` down to `child` at the
// current rate, in single precision as drawn from; it also counts towards the
// expected number of mutations on the genealogy.
float branchMean(const TNode& parent, const TNode& child) {
    const float lambda =
        static_cast<float>(static_cast<double>(parent.time - child.time) * g_mutation.currentRate);
    g_mutation.expectedMutations += lambda;
    return lambda;
}

int drawBranchCount(const TNode& parent, const TNode& child) {
    const float m = poissonDeviate(branchMean(parent, child));
    return m < static_cast<float>(INT_MAX) ? static_cast<int>(m) : INT_MAX;
}

// The recursions can also be entered directly: the hit table must cover the
// sites they may hit.
bool prepareHits(int nSites) {
    if (nSites <= 0) return false;
    if (g_mutation.hits.size() < idx(nSites)) g_mutation.hits.resize(idx(nSites), 0);
    return true;
}

// Site hit by a mutation of RFLP, DNA or STANDARD data. One deviate is drawn
// in every case. Rate heterogeneity applies to DNA only, and only with rates
// built for this number of sites: for the other types the driver never builds
// them, so whatever the process-wide vector holds belongs to no locus of
// theirs and their sites are chosen uniformly.
int chooseSite(const SequenceMutationModel& model) {
    const double u = ran3();
    if (model.dataType == DNA && std::fabs(model.gammaA) >= kMinGammaShape && siteRates().size() == model.nSites)
        return siteRates().chooseSite(u);
    const int site = static_cast<int>(u * model.nSites);
    return site < model.nSites ? site : model.nSites - 1;  // a sound generator stays below 1
}

// A letter of the other class (purine <-> pyrimidine), each with probability 1/2.
int transversion(int state) {
    const bool upper = ran3() >= 0.5;
    if (state == kA || state == kG) return upper ? kT : kC;
    return upper ? kG : kA;
}

int mutateNucleotide(int state, float transitionFraction) {
    const double u = ran3();
    if (u < transitionFraction) {
        switch (state) {
            case kA: return kG;
            case kG: return kA;
            case kC: return kT;
            case kT: return kC;
            default: return state;
        }
    }
    return transversion(state);
}

void applyMutation(TNode& node, const SequenceMutationModel& model) {
    const int site = chooseSite(model);
    ++g_mutation.hits[idx(site)];
    int& state = node.sequence[idx(site)];
    switch (model.dataType) {
        case RFLP: state = state == 0 ? 1 : 0; break;
        case STANDARD: ++state; break;
        case DNA: state = mutateNucleotide(state, model.transitionFraction); break;
        default: break;
    }
}

// One microsatellite mutation: a step of s repeat units up or down. In a
// bounded range a state at a bound can only move inward; an overshooting step
// stops at the bound.
int mutateRepeatCount(int state, const MicrosatLocusModel& model) {
    long long step = 1;
    if (model.stepParameter != 0.0) step += geometricDeviate(model.stepParameter);
    long long next = state;
    if (model.rangeConstrained) {
        const int lo = g_mutation.microsatLo;
        const int hi = g_mutation.microsatHi;
        if (state == lo)
            next += step;
        else if (state == hi)
            next -= step;
        else
            next += ran3() >= 0.5 ? step : -step;
        if (next < lo) next = lo;
        if (next > hi) next = hi;
    } else {
        next += ran3() >= 0.5 ? step : -step;
        next = std::clamp<long long>(next, INT_MIN, INT_MAX);
    }
    return static_cast<int>(next);
}

// ---------------------------------------------------------------------------
// SNP

// Marks `top` and every node below it as carrying the derived state at `site`
// (`stack`: scratch space kept between calls).
void markDerived(TNode& top, int site, std::vector<TNode*>& stack) {
    stack.assign(1, &top);
    while (!stack.empty()) {
        TNode* node = stack.back();
        stack.pop_back();
        if (node->sequence.size() > idx(site)) node->sequence[idx(site)] = 1;
        if (node->right != nullptr) stack.push_back(node->right);
        if (node->left != nullptr) stack.push_back(node->left);
    }
}

// A branch of the genealogy: the node below it and its parent.
struct Branch {
    TNode* parent;
    TNode* child;
    long long length() const { return parent->time - child->time; }
};

// The branches in pre-order (the branch to the first child, that child's
// subtree, then the branch to the second child and its subtree): the order in
// which they are laid end to end along the tree length.
std::vector<Branch> branchesInPreOrder(TNode& root) {
    std::vector<Branch> order;
    std::vector<Branch> stack;
    if (root.right != nullptr) stack.push_back({&root, root.right});
    if (root.left != nullptr) stack.push_back({&root, root.left});
    while (!stack.empty()) {
        const Branch branch = stack.back();
        stack.pop_back();
        order.push_back(branch);
        TNode* node = branch.child;
        if (node->right != nullptr) stack.push_back({node, node->right});
        if (node->left != nullptr) stack.push_back({node, node->left});
    }
    return order;
}

int derivedState(const TNode& leaf, int site) {
    return leaf.sequence.size() > idx(site) ? leaf.sequence[idx(site)] : 0;
}

// A site is kept when its minor allele is frequent enough in the whole sample,
// or (with a positive within-sample threshold) in at least one sample deme.
bool snpAccepted(const TTree& tree, int site, float minSnpFrequency, float minSnpFrequencyInSample,
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

void sprinkleSnps(TTree& tree, int nSites, float minSnpFrequency, float minSnpFrequencyInSample,
                  int simulationIndex, const std::vector<int>& sampleSizes) {
    const int n = tree.size();
    TNode& root = tree.node(2 * n - 2);
    const std::vector<Branch> branches = branchesInPreOrder(root);

    // Every node starts ancestral (0) at every site; the tree length in
    // generations is the range over which a mutation falls uniformly.
    ensureSequence(root, nSites);
    std::fill(root.sequence.begin(), root.sequence.end(), 0);
    long long length = 0;
    for (const Branch& branch : branches) {
        TNode& node = *branch.child;
        if (ensureSequence(node, nSites)) std::fill(node.sequence.begin(), node.sequence.end(), 0);
        length += branch.length();
    }

    std::vector<TNode*> scratch;
    bool allAccepted = true;
    for (int site = 0; site < nSites; ++site) {
        bool accepted = false;
        for (int attempt = 0; attempt < kMaxSnpAttempts && !accepted; ++attempt) {
            const auto x = static_cast<long long>(ran3() * static_cast<double>(length));
            g_mutation.hits[idx(site)] = 1;
            long long start = 0;
            for (const Branch& branch : branches) {
                if (x >= start && x < start + branch.length()) {
                    markDerived(*branch.child, site, scratch);
                    break;
                }
                start += branch.length();
            }
            accepted = snpAccepted(tree, site, minSnpFrequency, minSnpFrequencyInSample, sampleSizes);
            if (!accepted)
                for (int i = 0; i < n; ++i)
                    if (tree.node(i).sequence.size() > idx(site)) tree.node(i).sequence[idx(site)] = 0;
        }
        if (!accepted) allAccepted = false;
    }
    if (!allAccepted)
        std::cout << "ERROR: {TDemeCollection::sprinkle_mutations} [Impossible to generate enough snp "
                     "polymorphisms for simulation "
                  << simulationIndex << " !]" << std::endl;
}

// ---------------------------------------------------------------------------
// MICROSAT: each linked locus mutates at its own rate and step parameter.
int sprinkleMicrosatellites(TTree& tree, float mutationRate, float gsmGeometricParameter, int nSites,
                            int microsatRange) {
    TNode& root = tree.node(2 * tree.size() - 2);
    int placed = 0;
    for (int locus = 0; locus < nSites; ++locus) {
        g_mutation.expectedMutations = 0.0;
        // Locus rate: gamma of shape 2 and mean mutationRate.
        g_mutation.currentRate = gamma_dev(2.0, 2.0 / static_cast<double>(mutationRate));
        const double stepParameter = microsatStepParameter(gsmGeometricParameter);
        const MicrosatLocusModel model{locus, nSites, stepParameter, microsatRange != 0};
        placed = mutateMicrosatSubtree(root, 0, model);
    }
    return placed;
}

}  // namespace

// ---------------------------------------------------------------------------

MutationState& mutationState() { return g_mutation; }

void resetMutationState() { g_mutation = MutationState{}; }

void setMicrosatBounds(int range) {
    if (range == 0) return;
    if (range % 2 != 0) {
        g_mutation.microsatLo = -(range - 1) / 2;
        g_mutation.microsatHi = (range - 1) / 2;
    } else {
        g_mutation.microsatLo = 1 - range / 2;
        g_mutation.microsatHi = range / 2;
    }
}

double treeLength() { return g_mutation.expectedMutations; }

double microsatStepParameter(float gsmGeometricParameter) {
    // A beta of mean q, concentrated around it (alpha + beta = 199 + 0.5 / q),
    // so that loci differ a little in their step-size distributions.
    const float q = gsmGeometricParameter;
    if (!(q >= 0.001)) return 0.0;
    const float alpha = q * 199.0f + 0.5f;
    const float beta = ((1.0f - q) * alpha) / q;
    return betaDeviate(alpha, beta);
}

int mutateSubtree(TNode& node, int numMutations, const SequenceMutationModel& model) {
    node.mutations = numMutations;
    if (!prepareHits(model.nSites) || !ensureSequence(node, model.nSites)) return 0;
    if (node.ancestor != nullptr && node.ancestor->sequence.size() == node.sequence.size()) {
        std::copy(node.ancestor->sequence.begin(), node.ancestor->sequence.end(), node.sequence.begin());
    } else if (model.dataType == DNA) {
        for (int& state : node.sequence) state = static_cast<int>(ran3() * 4);
    } else {
        std::fill(node.sequence.begin(), node.sequence.end(), 0);
    }
    for (int i = 0; i < numMutations; ++i) applyMutation(node, model);

    int placed = 0;
    for (TNode* child : {node.left, node.right}) {
        if (child == nullptr) continue;
        const int m = drawBranchCount(node, *child);
        placed += m + mutateSubtree(*child, m, model);
    }
    return placed;
}

int mutateMicrosatSubtree(TNode& node, int numMutations, const MicrosatLocusModel& model) {
    node.mutations = numMutations;
    if (model.locus < 0 || model.locus >= model.nSites || !prepareHits(model.nSites) ||
        !ensureSequence(node, model.nSites))
        return 0;
    int& state = node.sequence[idx(model.locus)];
    state = node.ancestor != nullptr && node.ancestor->sequence.size() == node.sequence.size()
                ? node.ancestor->sequence[idx(model.locus)]
                : 0;
    for (int i = 0; i < numMutations; ++i) {
        ++g_mutation.hits[idx(model.locus)];
        state = mutateRepeatCount(state, model);
    }

    int placed = 0;
    for (TNode* child : {node.left, node.right}) {
        if (child == nullptr) continue;
        const int m = drawBranchCount(node, *child);
        placed += m + mutateMicrosatSubtree(*child, m, model);
    }
    return placed;
}

int sprinkle_mutations(TTree& tree, float mutationRate, float gsmGeometricParameter, int nSites, int dataType,
                       float gammaA, float transitionFraction, int microsatRange, float minSnpFrequency,
                       float minSnpFrequencyInSample, int simulationIndex, const std::vector<int>& sampleSizes) {
    g_mutation.expectedMutations = 0.0;
    const bool hasSites = prepareHits(nSites);
    std::fill(g_mutation.hits.begin(), g_mutation.hits.end(), 0);
    // A locus without sites, or a genealogy without genes, carries nothing.
    if (tree.size() < 1 || !hasSites) return 0;

    switch (dataType) {
        case MICROSAT:
            return sprinkleMicrosatellites(tree, mutationRate, gsmGeometricParameter, nSites, microsatRange);
        case SNP:
            sprinkleSnps(tree, nSites, minSnpFrequency, minSnpFrequencyInSample, simulationIndex, sampleSizes);
            return 0;
        default: {
            g_mutation.currentRate = mutationRate;
            const SequenceMutationModel model{dataType, nSites, gammaA, transitionFraction};
            return mutateSubtree(tree.node(2 * tree.size() - 2), 0, model);
        }
    }
}
