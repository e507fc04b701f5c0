// Nei's (1972) standard genetic distance between two samples,
// D = -ln(Jxy / sqrt(Jx Jy)), with Jx = sum p_x,i^2, Jy and Jxy = sum p_x,i
// p_y,i averaged over loci. Two samples that share no allele at any locus
// are infinitely apart by this measure; the distance is then undefined.
#pragma once

#include <optional>
#include <span>

namespace fluviagen {

class NeiIdentity {
public:
    // One locus: the allele counts of both samples (one labelling). A locus
    // without a gene in either sample is left out.
    void addLocus(std::span<const int> x, std::span<const int> y);
    std::optional<double> distance() const;

private:
    double jx_ = 0, jy_ = 0, jxy_ = 0;
    int loci_ = 0;
};

}  // namespace fluviagen
