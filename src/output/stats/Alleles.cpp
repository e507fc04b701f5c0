#include "output/stats/Alleles.h"

#include <algorithm>
#include <numeric>

namespace {

void countPerSample(const GeneMatrix& genes, Locus& locus) {
    const int samples = genes.samples();
    locus.counts.assign(static_cast<std::size_t>(samples) * static_cast<std::size_t>(locus.alleles), 0);
    for (int i = 0; i < samples; ++i) {
        const std::size_t base = static_cast<std::size_t>(i) * static_cast<std::size_t>(locus.alleles);
        for (int r = genes.first[static_cast<std::size_t>(i)]; r < genes.first[static_cast<std::size_t>(i) + 1]; ++r)
            ++locus.counts[base + static_cast<std::size_t>(locus.allele[static_cast<std::size_t>(r)])];
    }
}

}  // namespace

int GeneMatrix::columns() const {
    std::size_t widest = 0;
    for (const auto& row : rows) widest = std::max(widest, row.size());
    return static_cast<int>(widest);
}

std::vector<int> Locus::pooledCounts() const {
    std::vector<int> pooled(static_cast<std::size_t>(alleles), 0);
    for (std::size_t k = 0; k < counts.size(); ++k) pooled[k % static_cast<std::size_t>(alleles)] += counts[k];
    return pooled;
}

std::vector<int> polymorphicColumns(const GeneMatrix& genes) {
    std::vector<int> columns;
    if (genes.rows.empty()) return columns;
    const int width = genes.columns();
    const auto& reference = genes.rows.front();
    for (int c = 0; c < width; ++c) {
        const int state = stateAt(reference, c);
        for (const auto& row : genes.rows)
            if (stateAt(row, c) != state) {
                columns.push_back(c);
                break;
            }
    }
    return columns;
}

Locus columnLocus(const GeneMatrix& genes, int column) {
    std::vector<int> states;
    states.reserve(genes.rows.size());
    for (const auto& row : genes.rows) states.push_back(stateAt(row, column));
    std::vector<int> distinct = states;
    std::sort(distinct.begin(), distinct.end());
    distinct.erase(std::unique(distinct.begin(), distinct.end()), distinct.end());
    Locus locus;
    locus.alleles = static_cast<int>(distinct.size());
    locus.allele.reserve(states.size());
    for (int state : states)
        locus.allele.push_back(
            static_cast<int>(std::lower_bound(distinct.begin(), distinct.end(), state) - distinct.begin()));
    countPerSample(genes, locus);
    return locus;
}

Locus haplotypeLocus(const GeneMatrix& genes, std::span<const int> columns) {
    const auto less = [&](int a, int b) {
        for (int c : columns) {
            const int x = stateAt(genes.rows[static_cast<std::size_t>(a)], c);
            const int y = stateAt(genes.rows[static_cast<std::size_t>(b)], c);
            if (x != y) return x < y;
        }
        return false;
    };
    std::vector<int> order(genes.rows.size());
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(), less);
    Locus locus;
    locus.allele.assign(genes.rows.size(), 0);
    for (std::size_t k = 0; k < order.size(); ++k) {
        if (k == 0 || less(order[k - 1], order[k])) ++locus.alleles;
        locus.allele[static_cast<std::size_t>(order[k])] = locus.alleles - 1;
    }
    countPerSample(genes, locus);
    return locus;
}
