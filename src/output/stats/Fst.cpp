#include "output/stats/Fst.h"

#include <cmath>

#include "output/stats/Diversity.h"

namespace fluviagen {

std::optional<double> hudsonFst(double withinMean, double between) {
    if (!(between > 0)) return std::nullopt;
    return 1.0 - withinMean / between;
}

std::optional<double> ThetaSums::theta() const {
    if (total == 0 || !std::isfinite(among) || !std::isfinite(total)) return std::nullopt;
    return among / total;
}

void addHaploidLocus(ThetaSums& sums, const std::vector<std::span<const int>>& counts) {
    const std::size_t r = counts.size();
    if (r < 2) return;
    std::vector<double> n(r);
    double N = 0, sumSquares = 0;
    for (std::size_t i = 0; i < r; ++i) {
        n[i] = geneCount(counts[i]);
        N += n[i];
        sumSquares += n[i] * n[i];
    }
    const double rr = static_cast<double>(r);
    if (N <= rr) return;
    const double nc = (N - sumSquares / N) / (rr - 1);
    const std::size_t alleles = counts[0].size();
    for (std::size_t u = 0; u < alleles; ++u) {
        double pooled = 0;
        for (std::size_t i = 0; i < r; ++i) pooled += counts[i][u];
        const double pbar = pooled / N;
        double msp = 0, msg = 0;
        for (std::size_t i = 0; i < r; ++i) {
            if (n[i] == 0) continue;
            const double p = counts[i][u] / n[i];
            msp += n[i] * (p - pbar) * (p - pbar);
            msg += n[i] * p * (1 - p);
        }
        msp /= rr - 1;
        msg /= N - rr;
        const double among = (msp - msg) / nc;
        sums.among += among;
        sums.total += among + msg;
    }
}

void addDiploidLocus(ThetaSums& sums, const std::vector<std::span<const int>>& counts,
                     const std::vector<std::span<const int>>& heterozygotes, std::span<const int> individuals) {
    const std::size_t r = counts.size();
    if (r < 2) return;
    const double rr = static_cast<double>(r);
    double total = 0, sumSquares = 0;
    for (std::size_t i = 0; i < r; ++i) {
        total += individuals[i];
        sumSquares += static_cast<double>(individuals[i]) * individuals[i];
    }
    const double nbar = total / rr;
    if (nbar <= 1) return;
    const double nc = (total - sumSquares / total) / (rr - 1);
    const std::size_t alleles = counts[0].size();
    for (std::size_t u = 0; u < alleles; ++u) {
        double pbar = 0, hbar = 0;
        for (std::size_t i = 0; i < r; ++i) {
            if (individuals[i] == 0) continue;
            pbar += counts[i][u] / 2.0;   // n_i p_i
            hbar += heterozygotes[i][u];  // n_i h_i
        }
        pbar /= total;
        hbar /= total;
        double s2 = 0;
        for (std::size_t i = 0; i < r; ++i) {
            if (individuals[i] == 0) continue;
            const double p = counts[i][u] / (2.0 * individuals[i]);
            s2 += individuals[i] * (p - pbar) * (p - pbar);
        }
        s2 /= (rr - 1) * nbar;
        const double pq = pbar * (1 - pbar);
        const double a = nbar / nc * (s2 - (pq - (rr - 1) / rr * s2 - hbar / 4) / (nbar - 1));
        const double b = nbar / (nbar - 1) * (pq - (rr - 1) / rr * s2 - (2 * nbar - 1) / (4 * nbar) * hbar);
        const double c = hbar / 2;
        sums.among += a;
        sums.total += a + b + c;
    }
}

}  // namespace fluviagen
