#include "output/stats/Alleles.h"

#include <algorithm>
#include <cstring>
#include <numeric>

namespace fluviagen {

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
    const std::size_t width = static_cast<std::size_t>(genes.columns());
    // The first row, read as 0 beyond its end, against every row. Nearly all
    // sites are monomorphic: stretches of a row equal to the reference are
    // passed over a block at a time.
    constexpr std::size_t block = 32;
    std::vector<int> reference(width, 0);
    std::copy(genes.rows.front().begin(), genes.rows.front().end(), reference.begin());
    std::vector<unsigned char> differs(width, 0);
    for (const auto& row : genes.rows) {
        const std::size_t n = row.size();
        for (std::size_t start = 0; start < n; start += block) {
            const std::size_t end = std::min(start + block, n);
            if (std::memcmp(row.data() + start, reference.data() + start, (end - start) * sizeof(int)) == 0) continue;
            for (std::size_t c = start; c < end; ++c) differs[c] |= static_cast<unsigned char>(row[c] != reference[c]);
        }
        for (std::size_t c = n; c < width; ++c) differs[c] |= static_cast<unsigned char>(reference[c] != 0);
    }
    for (std::size_t c = 0; c < width; ++c)
        if (differs[c] != 0) columns.push_back(static_cast<int>(c));
    return columns;
}

Locus columnLocus(const GeneMatrix& genes, int column) {
    // Ids in order of first appearance; a column has few states as a rule, so
    // a short list is searched first and sorting waits for a column of many.
    constexpr std::size_t fewStates = 8;
    Locus locus;
    locus.allele.reserve(genes.rows.size());
    std::vector<int> seen;
    for (const auto& row : genes.rows) {
        const int state = stateAt(row, column);
        const auto it = std::find(seen.begin(), seen.end(), state);
        if (it != seen.end()) {
            locus.allele.push_back(static_cast<int>(it - seen.begin()));
            continue;
        }
        if (seen.size() == fewStates) {
            locus.allele.clear();
            break;
        }
        locus.allele.push_back(static_cast<int>(seen.size()));
        seen.push_back(state);
    }
    if (locus.allele.size() != genes.rows.size()) {
        std::vector<int> distinct;
        distinct.reserve(genes.rows.size());
        for (const auto& row : genes.rows) distinct.push_back(stateAt(row, column));
        std::sort(distinct.begin(), distinct.end());
        distinct.erase(std::unique(distinct.begin(), distinct.end()), distinct.end());
        locus.allele.clear();
        for (const auto& row : genes.rows)
            locus.allele.push_back(static_cast<int>(
                std::lower_bound(distinct.begin(), distinct.end(), stateAt(row, column)) - distinct.begin()));
        seen = std::move(distinct);
    }
    locus.alleles = static_cast<int>(seen.size());
    countPerSample(genes, locus);
    return locus;
}

Locus haplotypeLocus(const GeneMatrix& genes, std::span<const int> columns) {
    // Each row's states at the columns, side by side: haplotypes are then
    // compared as short contiguous keys.
    const std::size_t width = columns.size();
    const std::size_t rows = genes.rows.size();
    std::vector<int> keys(rows * width);
    for (std::size_t r = 0; r < rows; ++r)
        for (std::size_t k = 0; k < width; ++k) keys[r * width + k] = stateAt(genes.rows[r], columns[k]);
    const auto key = [&](int r) {
        return keys.begin() + static_cast<std::ptrdiff_t>(static_cast<std::size_t>(r) * width);
    };
    const auto w = static_cast<std::ptrdiff_t>(width);
    const auto less = [&](int a, int b) {
        return std::lexicographical_compare(key(a), key(a) + w, key(b), key(b) + w);
    };
    std::vector<int> order(rows);
    std::iota(order.begin(), order.end(), 0);
    std::sort(order.begin(), order.end(), less);
    Locus locus;
    locus.allele.assign(rows, 0);
    for (std::size_t k = 0; k < order.size(); ++k) {
        if (k == 0 || !std::equal(key(order[k - 1]), key(order[k - 1]) + w, key(order[k]))) ++locus.alleles;
        locus.allele[static_cast<std::size_t>(order[k])] = locus.alleles - 1;
    }
    countPerSample(genes, locus);
    return locus;
}

}  // namespace fluviagen
