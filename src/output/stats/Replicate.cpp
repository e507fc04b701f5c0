#include "output/stats/Replicate.h"

#include <algorithm>
#include <span>

#include "output/stats/Diversity.h"
#include "output/stats/Divergence.h"
#include "output/stats/Fst.h"
#include "output/stats/NeiDistance.h"
#include "output/stats/Repeats.h"
#include "output/stats/Sites.h"

namespace fluviagen {

namespace {

// The mean over loci of a statistic defined at some of them.
class LocusMean {
public:
    void add(const std::optional<double>& value) {
        if (!value) return;
        sum_ += *value;
        ++count_;
    }
    std::optional<double> value() const {
        if (count_ == 0) return std::nullopt;
        return sum_ / count_;
    }

private:
    double sum_ = 0;
    int count_ = 0;
};

using Matrix = std::vector<std::vector<std::optional<double>>>;

// The per-locus statistics of allele counts, for one sample or all genes.
struct DiversityMeans {
    LocusMean alleles, he, ho, ar;
};

void addDiversity(DiversityMeans& means, std::span<const int> counts, int rarefaction) {
    if (geneCount(counts) > 0) means.alleles.add(static_cast<double>(distinctAlleles(counts)));
    means.he.add(geneDiversity(counts));
    means.ar.add(rarefiedRichness(counts, rarefaction));
}

void storeDiversity(SampleStatistics& out, const DiversityMeans& means) {
    out.alleles = means.alleles.value();
    out.he = means.he.value();
    out.ho = means.ho.value();
    out.ar = means.ar.value();
}

class Computation {
public:
    Computation(const GeneMatrix& genes, const ReplicateOptions& options)
        : genes_(genes), options_(options), samples_(static_cast<std::size_t>(genes.samples())) {
        const std::size_t D = samples_;
        result_.samples.resize(D);
        result_.fst.assign(D, std::vector<std::optional<double>>(D));
        result_.nei.assign(D, std::vector<std::optional<double>>(D));
        result_.dxy.assign(D, std::vector<std::optional<double>>(D));
        result_.da.assign(D, std::vector<std::optional<double>>(D));
        for (std::size_t i = 0; i < D; ++i) result_.samples[i].genes = genes.genes(static_cast<int>(i));
        result_.all.genes = static_cast<int>(genes.rows.size());
        means_.resize(D);
        nei_.resize(D * D);
        if (options.genotypic) {
            heterozygotes_.resize(D);
            pairedCounts_.resize(D);
            for (std::size_t i = 0; i < D; ++i) individuals_.push_back(genes.genes(static_cast<int>(i)) / 2);
        }
    }

    ReplicateStatistics run() {
        if (options_.kind == MarkerKind::sequence) {
            const std::vector<int> polymorphic = polymorphicColumns(genes_);
            for (const std::vector<int>& columns : haplotypeColumns(polymorphic))
                addLocus(haplotypeLocus(genes_, columns));
            siteStatistics(polymorphic);
        } else {
            const int width = genes_.columns();
            for (int c = 0; c < width; ++c) addLocus(columnLocus(genes_, c));
            if (options_.kind == MarkerKind::repeats) repeatStatistics(width);
            if (width > 0) {
                for (std::size_t i = 0; i < samples_; ++i)
                    for (std::size_t j = i + 1; j < samples_; ++j)
                        if (qualifies(i) && qualifies(j))
                            result_.fst[i][j] = result_.fst[j][i] = theta_[index(i, j)].theta();
                result_.globalFst = globalTheta_.theta();
            }
        }
        for (std::size_t i = 0; i < samples_; ++i) storeDiversity(result_.samples[i], means_[i]);
        storeDiversity(result_.all, allMeans_);
        for (std::size_t i = 0; i < samples_; ++i)
            for (std::size_t j = i + 1; j < samples_; ++j)
                if (qualifies(i) && qualifies(j)) result_.nei[i][j] = result_.nei[j][i] = nei_[index(i, j)].distance();
        return std::move(result_);
    }

private:
    std::size_t index(std::size_t i, std::size_t j) const { return i * samples_ + j; }
    int genesOf(std::size_t i) const { return genes_.genes(static_cast<int>(i)); }
    // Samples that take part in the pair and global statistics.
    bool qualifies(std::size_t i) const { return genesOf(i) >= 2; }

    // The polymorphic columns of each independent locus: the K loci share the
    // row, locus k holding its own stretch of linked sites.
    std::vector<std::vector<int>> haplotypeColumns(const std::vector<int>& polymorphic) const {
        const int K = std::max(options_.independentLoci, 1);
        std::vector<std::vector<int>> loci(static_cast<std::size_t>(K));
        const int width = genes_.columns();
        const int L = K > 1 ? width / K : width;
        for (int c : polymorphic) {
            const int k = (K > 1 && L > 0) ? std::min(c / L, K - 1) : 0;
            loci[static_cast<std::size_t>(k)].push_back(c);
        }
        return loci;
    }

    void addLocus(const Locus& locus) {
        std::vector<std::span<const int>> counts;
        for (std::size_t i = 0; i < samples_; ++i) {
            counts.push_back(locus.countsOf(static_cast<int>(i)));
            addDiversity(means_[i], counts.back(), options_.rarefaction);
        }
        const std::vector<int> pooled = locus.pooledCounts();
        addDiversity(allMeans_, pooled, options_.rarefaction);
        if (options_.genotypic) addHeterozygosity(locus);
        for (std::size_t i = 0; i < samples_; ++i)
            for (std::size_t j = i + 1; j < samples_; ++j) nei_[index(i, j)].addLocus(counts[i], counts[j]);
        if (options_.kind != MarkerKind::sequence) addTheta(counts);
    }

    // Observed heterozygosity and, for the diploid theta, the heterozygotes
    // of each allele per sample.
    void addHeterozygosity(const Locus& locus) {
        int heterozygous = 0, individuals = 0;
        for (std::size_t i = 0; i < samples_; ++i) {
            const auto alleles =
                std::span<const int>(locus.allele)
                    .subspan(static_cast<std::size_t>(genes_.first[i]), static_cast<std::size_t>(genesOf(i)));
            const auto ho = observedHeterozygosity(alleles);
            means_[i].ho.add(ho);
            auto& het = heterozygotes_[i];
            het.assign(static_cast<std::size_t>(locus.alleles), 0);
            // The copies of the individuals only: an odd last copy has no
            // partner and stays out of the diploid estimator.
            const auto counts = locus.countsOf(static_cast<int>(i));
            pairedCounts_[i].assign(counts.begin(), counts.end());
            if (alleles.size() % 2 == 1) --pairedCounts_[i][static_cast<std::size_t>(alleles.back())];
            for (std::size_t k = 0; k + 1 < alleles.size(); k += 2)
                if (alleles[k] != alleles[k + 1]) {
                    ++het[static_cast<std::size_t>(alleles[k])];
                    ++het[static_cast<std::size_t>(alleles[k + 1])];
                    ++heterozygous;
                }
            individuals += individuals_[i];
        }
        if (individuals > 0) allMeans_.ho.add(static_cast<double>(heterozygous) / individuals);
    }

    void addTheta(const std::vector<std::span<const int>>& counts) {
        if (theta_.empty()) theta_.resize(samples_ * samples_);
        const auto add = [&](ThetaSums& sums, const std::vector<std::size_t>& members) {
            std::vector<std::span<const int>> c, h;
            std::vector<int> n;
            for (std::size_t i : members) {
                c.push_back(options_.genotypic ? std::span<const int>(pairedCounts_[i]) : counts[i]);
                if (options_.genotypic) {
                    h.emplace_back(heterozygotes_[i]);
                    n.push_back(individuals_[i]);
                }
            }
            if (options_.genotypic)
                addDiploidLocus(sums, c, h, n);
            else
                addHaploidLocus(sums, c);
        };
        std::vector<std::size_t> members;
        for (std::size_t i = 0; i < samples_; ++i)
            if (qualifies(i)) members.push_back(i);
        add(globalTheta_, members);
        for (std::size_t a = 0; a < members.size(); ++a)
            for (std::size_t b = a + 1; b < members.size(); ++b)
                add(theta_[index(members[a], members[b])], {members[a], members[b]});
    }

    // S, pi and Tajima's D per sample and for all genes, and Hudson's FST:
    // only polymorphic columns can add to any of them.
    void siteStatistics(const std::vector<int>& polymorphic) {
        std::vector<int> segregating(samples_, 0);
        std::vector<double> pi(samples_, 0.0);
        std::vector<double> between(samples_ * samples_, 0.0);
        double piAll = 0;
        for (int c : polymorphic) {
            const Locus site = columnLocus(genes_, c);
            for (std::size_t i = 0; i < samples_; ++i) {
                const auto counts = site.countsOf(static_cast<int>(i));
                if (distinctAlleles(counts) > 1) ++segregating[i];
                pi[i] += geneDiversity(counts).value_or(0.0);
                for (std::size_t j = i + 1; j < samples_; ++j)
                    between[index(i, j)] += betweenDifference(counts, site.countsOf(static_cast<int>(j))).value_or(0.0);
            }
            piAll += geneDiversity(site.pooledCounts()).value_or(0.0);
        }
        const auto store = [](SampleStatistics& out, int S, double p) {
            if (out.genes < 2) return;
            out.segsites = S;
            out.pi = p;
            out.tajd = tajimasD(out.genes, S, p);
        };
        for (std::size_t i = 0; i < samples_; ++i) store(result_.samples[i], segregating[i], pi[i]);
        store(result_.all, static_cast<int>(polymorphic.size()), piAll);

        for (std::size_t i = 0; i < samples_; ++i)
            for (std::size_t j = i + 1; j < samples_; ++j) {
                const Divergence d = sequenceDivergence(between[index(i, j)], genesOf(i), genesOf(j),
                                                        result_.samples[i].pi, result_.samples[j].pi);
                result_.dxy[i][j] = result_.dxy[j][i] = d.dxy;
                result_.da[i][j] = result_.da[j][i] = d.da;
            }

        double withinSum = 0, betweenSum = 0;
        int qualified = 0, pairs = 0;
        for (std::size_t i = 0; i < samples_; ++i) {
            if (!qualifies(i)) continue;
            withinSum += pi[i];
            ++qualified;
            for (std::size_t j = i + 1; j < samples_; ++j) {
                if (!qualifies(j)) continue;
                result_.fst[i][j] = result_.fst[j][i] = hudsonFst((pi[i] + pi[j]) / 2, between[index(i, j)]);
                betweenSum += between[index(i, j)];
                ++pairs;
            }
        }
        if (pairs > 0) {
            result_.globalFst = hudsonFst(withinSum / qualified, betweenSum / pairs);
            result_.globalDxy = betweenSum / pairs;
            result_.globalDa = betweenSum / pairs - withinSum / qualified;
        }
    }

    void repeatStatistics(int width) {
        const auto summarise = [&](SampleStatistics& out, int firstRow, int rows) {
            LocusMean mean, variance, gw;
            std::vector<int> repeats;
            for (int c = 0; c < width; ++c) {
                repeats.clear();
                for (int r = firstRow; r < firstRow + rows; ++r)
                    repeats.push_back(stateAt(genes_.rows[static_cast<std::size_t>(r)], c));
                const RepeatSummary summary = repeatSummary(repeats);
                mean.add(summary.mean);
                variance.add(summary.variance);
                gw.add(summary.garzaWilliamson);
            }
            out.repMean = mean.value();
            out.repVar = variance.value();
            out.gw = gw.value();
        };
        for (std::size_t i = 0; i < samples_; ++i) summarise(result_.samples[i], genes_.first[i], genesOf(i));
        summarise(result_.all, 0, static_cast<int>(genes_.rows.size()));
    }

    const GeneMatrix& genes_;
    const ReplicateOptions& options_;
    std::size_t samples_;
    ReplicateStatistics result_;
    std::vector<DiversityMeans> means_;
    DiversityMeans allMeans_;
    std::vector<NeiIdentity> nei_;  // [i * D + j], i < j
    std::vector<ThetaSums> theta_;  // [i * D + j], i < j
    ThetaSums globalTheta_;
    std::vector<std::vector<int>> heterozygotes_;  // per sample, per allele of the current locus
    std::vector<std::vector<int>> pairedCounts_;   // per sample, the allele counts of its individuals' copies
    std::vector<int> individuals_;
};

}  // namespace

ReplicateStatistics computeReplicate(const GeneMatrix& genes, const ReplicateOptions& options) {
    return Computation(genes, options).run();
}

}  // namespace fluviagen
