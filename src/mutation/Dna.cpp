// DNA: nucleotides with a transition/transversion bias and optional gamma
// rate heterogeneity among sites.
#include "mutation/DataTypes.h"

#include <cmath>
#include <iomanip>
#include <iostream>
#include <new>

#include "coalescent/GenealogyTree.h"
#include "random/Rng.h"

namespace fluviagen {

namespace {

// Below this |shape| the site rates are taken as homogeneous.
constexpr double kMinGammaShape = 1e-7;

// States, written as the letters of "AGCT". A<->G (purines) and C<->T
// (pyrimidines) are transitions; every other change is a transversion.
constexpr int kA = 0;
constexpr int kG = 1;
constexpr int kC = 2;
constexpr int kT = 3;

// A letter of the other class (purine <-> pyrimidine), each with probability 1/2.
int transversion(int state, Rng& rng) {
    const bool upper = rng.uniform() >= 0.5;
    if (state == kA || state == kG) return upper ? kT : kC;
    return upper ? kG : kA;
}

}  // namespace

Dna::Dna(const Settings& s)
    : SiteDataType(s.numLinkedLoci, s.mutationRate),
      gammaA_(s.gammaA),
      categories_(s.numGammaCategories),
      transitionFraction_(s.transitionFraction) {}

Dna::~Dna() = default;

void Dna::prepare(Rng& rng) {
    if (gammaA_ == 0) return;
    // The first genetic phase of a program call sets the rates up; later
    // phases rebuild them (in place for the same number of sites).
    if (!rates_) {
        try {
            rates_ = std::make_unique<GammaRates>(nSites_, gammaA_, categories_, rng);
        } catch (const std::bad_alloc&) {
            std::cout << "\nGammaRates(const int n, const double& a): Unable to build gamma deviate vector\n"
                      << std::flush;
        }
        return;
    }
    rates_->rebuild(nSites_, gammaA_, categories_, rng);
}

int Dna::mutateNucleotide(int state, Rng& rng) const {
    const double u = rng.uniform();
    if (u < transitionFraction_) {
        switch (state) {
            case kA:
                return kG;
            case kG:
                return kA;
            case kC:
                return kT;
            case kT:
                return kC;
            default:
                return state;
        }
    }
    return transversion(state, rng);
}

void Dna::initialiseRoot(std::vector<int>& states, Rng& rng) const {
    for (int& state : states) state = static_cast<int>(rng.uniform() * 4);
}

void Dna::mutate(TreeNode& node, Sprinkler& sprinkler, Rng& rng) const {
    // One deviate picks the site; the rates of the sites apply only when they
    // were built for this number of sites.
    const double u = rng.uniform();
    const bool heterogeneous = std::fabs(gammaA_) >= kMinGammaShape && rates_ && rates_->size() == nSites_;
    const int site = heterogeneous ? rates_->chooseSite(u) : uniformSite(u, nSites_);
    sprinkler.hit(site);
    int& state = node.sequence[static_cast<std::size_t>(site)];
    state = mutateNucleotide(state, rng);
}

void Dna::writeDescription(std::ostream& os) const {
    // The precision stays set for the rest of the file.
    os << "DNA (Transition rate=" << std::setprecision(3) << transitionFraction_ * 100 << "%)\n";
}

void Dna::writeProfile(std::ostream& os) const { os << "\tDataType=DNA\n\tLocusSeparator=NONE\n"; }

void Dna::writeState(std::ostream& os, int state) const {
    static const char letters[] = "AGCT";
    os << ((state >= 0 && state < 4) ? letters[state] : '?');
}

}  // namespace fluviagen
