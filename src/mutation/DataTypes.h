// The five data types of the program (see DataType.h), each defined in the
// file of its name and registered in DataTypes.cpp.
#pragma once

#include <memory>
#include <vector>

#include "mutation/DataType.h"
#include "mutation/GammaRates.h"
#include "mutation/SiteDataType.h"
#include "mutation/Sprinkler.h"
#include "settings/Settings.h"

namespace fluviagen {

class TreeNode;
class GenealogyTree;

// ---------------------------------------------------------------------------
class Rflp : public SiteDataType {
public:
    explicit Rflp(const Settings& settings);
    const char* name() const override { return "RFLP"; }
    MarkerKind markerKind() const override { return MarkerKind::sequence; }
    void mutate(TreeNode& node, Sprinkler& sprinkler, Rng& rng) const override;
    void writeDescription(std::ostream& os) const override;
    void writeProfile(std::ostream& os) const override;
    void writeState(std::ostream& os, int state) const override;
};

// ---------------------------------------------------------------------------
class Standard : public SiteDataType {
public:
    explicit Standard(const Settings& settings);
    const char* name() const override { return "STANDARD"; }
    MarkerKind markerKind() const override { return MarkerKind::allelic; }
    void mutate(TreeNode& node, Sprinkler& sprinkler, Rng& rng) const override;
    void writeDescription(std::ostream& os) const override;
    void writeProfile(std::ostream& os) const override;
    void writeState(std::ostream& os, int state) const override;
};

// ---------------------------------------------------------------------------
class Dna : public SiteDataType {
public:
    explicit Dna(const Settings& settings);
    ~Dna() override;
    const char* name() const override { return "DNA"; }
    MarkerKind markerKind() const override { return MarkerKind::sequence; }
    // With a gamma shape, the relative rates of the sites (built on the first
    // genetic phase, rebuilt on every later one).
    void prepare(Rng& rng) override;
    void initialiseRoot(std::vector<int>& states, Rng& rng) const override;
    void mutate(TreeNode& node, Sprinkler& sprinkler, Rng& rng) const override;
    void writeDescription(std::ostream& os) const override;
    void writeProfile(std::ostream& os) const override;
    void writeState(std::ostream& os, int state) const override;

    // The site rates in use; null before the first build or without a shape.
    const GammaRates* siteRates() const { return rates_.get(); }
    // A transition with probability transitionFraction, else a transversion.
    int mutateNucleotide(int state, Rng& rng) const;

private:
    float gammaA_;
    int categories_;
    float transitionFraction_;
    std::unique_ptr<GammaRates> rates_;
};

// ---------------------------------------------------------------------------
// Smallest and largest allowed microsatellite state for a range of R allele
// sizes around the ancestral state 0: R odd -> -(R - 1)/2 .. (R - 1)/2; R even
// -> 1 - R/2 .. R/2; R = 0 (no range) -> 0 .. 0, unused.
struct MicrosatBounds {
    int lower = 0;
    int upper = 0;
};
MicrosatBounds microsatBounds(int range);

// What the branch recursion of one microsatellite locus needs to know.
struct MicrosatLocusModel {
    int locus;              // site of the sequence being mutated
    double stepParameter;   // geometric step parameter of the locus (0: single steps)
    bool rangeConstrained;  // the states are kept within the bounds
    MicrosatBounds bounds;
};

// Geometric step parameter of one locus under the generalised stepwise
// model: a beta deviate of mean q, with alpha = q * 199 + 0.5 and beta =
// (1 - q) * alpha / q, both computed in single precision. 0 (stepwise model,
// no draw) when q < 0.001.
double microsatStepParameter(float gsmGeometricParameter, Rng& rng);

// As mutateSubtree, for the state of one microsatellite locus.
int mutateMicrosatSubtree(TreeNode& node, int numMutations, const MicrosatLocusModel& model, Sprinkler& sprinkler,
                          Rng& rng);

class Microsat : public DataType {
public:
    explicit Microsat(const Settings& settings);
    const char* name() const override { return "MICROSAT"; }
    MarkerKind markerKind() const override { return MarkerKind::repeats; }
    MutationResult sprinkle(GenealogyTree& tree, const GenealogyContext& genealogy, Rng& rng) override;
    void writeDescription(std::ostream& os) const override;
    void writeProfile(std::ostream& os) const override;
    void writeState(std::ostream& os, int state) const override;

private:
    int nSites_;
    float mutationRate_;
    float gsmGeometricParameter_;
    int range_;
    MicrosatBounds bounds_;
};

// ---------------------------------------------------------------------------
// A SNP site is kept when its minor allele is frequent enough in the whole
// sample, or (with a positive within-sample threshold) in at least one sample
// deme (gene copies per deme in leaf order).
bool snpAccepted(const GenealogyTree& tree, int site, float minSnpFrequency, float minSnpFrequencyInSample,
                 const std::vector<int>& sampleSizes);

class Snp : public DataType {
public:
    explicit Snp(const Settings& settings);
    const char* name() const override { return "SNP"; }
    MarkerKind markerKind() const override { return MarkerKind::sequence; }
    MutationResult sprinkle(GenealogyTree& tree, const GenealogyContext& genealogy, Rng& rng) override;
    void writeDescription(std::ostream& os) const override;
    void writeProfile(std::ostream& os) const override;
    void writeState(std::ostream& os, int state) const override;

private:
    int nSites_;
    float minSnpFrequency_;
    float minSnpFrequencyInSample_;
};

}  // namespace fluviagen
