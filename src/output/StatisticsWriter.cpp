#include "output/StatisticsWriter.h"

#include <algorithm>
#include <cmath>
#include <charconv>

#include "base/Exception.h"
#include "common/ExchangeTables.h"
#include "drainage/Segment.h"
#include "mutation/DataType.h"
#include "output/OutputFiles.h"
#include "output/stats/RiverDistance.h"
#include "output/stats/Tmrca.h"

namespace fluviagen {

const std::string StatisticsWriter::statsHeader = common::statisticsTable.headerLine();
const char* const StatisticsWriter::pairsHeader = "e\tsim\tsample_a\tsample_b\tfst\tnei\triver_km\tline_km\tdxy\tda\n";

namespace {

// The name of the rows that hold all genes or all samples.
const char* const allSamples = "*";

// Numbers as printf's "%.6g" (or "%.3f" with fixed, for distances, never
// negative) writes them, through to_chars, several times faster. Six
// significant digits never round a value to zero, so only an exact -0 could
// be written "-0": it is written 0.
void put(std::string& row, const std::optional<double>& value, bool fixed = false) {
    row += '\t';
    if (!value || !std::isfinite(*value)) {
        row += "NA";
        return;
    }
    const double x = *value == 0 ? 0.0 : *value;
    char text[64];
    const auto result = fixed ? std::to_chars(text, text + sizeof text, x, std::chars_format::fixed, 3)
                              : std::to_chars(text, text + sizeof text, x, std::chars_format::general, 6);
    row.append(text, result.ptr);
}

void appendNumber(std::string& table, int value) {
    char text[16];
    table.append(text, std::to_chars(text, text + sizeof text, value).ptr);
}

void putInt(std::string& row, const std::optional<int>& value) {
    row += '\t';
    if (value)
        appendNumber(row, *value);
    else
        row += "NA";
}

// "e<TAB>sim<TAB>name" at the end of the table's text.
void rowStart(std::string& table, int e, int s, const Text& name) {
    appendNumber(table, e);
    table += '\t';
    appendNumber(table, s);
    table += '\t';
    table += name.str();
}

void putSample(std::string& row, const SampleStatistics* stats, const std::optional<double>& tmrca) {
    if (stats == nullptr) {
        for (int column = 0; column < 12; ++column) row += "\tNA";
        return;
    }
    putInt(row, stats->genes);
    put(row, stats->alleles);
    put(row, stats->he);
    put(row, stats->ho);
    put(row, stats->ar);
    putInt(row, stats->segsites);
    put(row, stats->pi);
    put(row, stats->tajd);
    put(row, stats->repMean);
    put(row, stats->repVar);
    put(row, stats->gw);
    put(row, tmrca);
}

// Opens one table: the first time in the call under a new header, later as
// a copy of what the call's accepted entire simulations wrote, to append to.
void openTable(OutputFile& file, const GeneticPhaseView& phase, const std::string& suffix, const std::string& header) {
    const Text path = outputFileName(phase.folder, phase.outputName + suffix);
    const auto& written = phase.registry->written();
    const bool append = std::find(written.begin(), written.end(), path.str()) != written.end();
    file.open(path, append, *phase.registry);
    if (!append) file << header;
}

}  // namespace

void StatisticsWriter::open(const GeneticPhaseView& phase) {
    options_.kind = phase.dataType->markerKind();
    options_.independentLoci = phase.independentLoci;
    options_.genotypic = phase.genotypic;
    openTable(stats_, phase, std::string(common::statisticsTable.suffix), statsHeader);
    openTable(pairs_, phase, "_pairs.tsv", pairsHeader);
}

void StatisticsWriter::writeHeaders(const GeneticPhaseView& phase) {
    firstLeaf_.assign(1, 0);
    for (const SampleView& sample : phase.samples) firstLeaf_.push_back(firstLeaf_.back() + sample.sampleSize);

    // Rarefied to the smallest sample of the file that can show two alleles,
    // the same in every entire simulation whichever samples it reaches.
    options_.rarefaction = 0;
    for (const FileSampleView& sample : phase.fileSamples)
        if (sample.sampleSize >= 2 && (options_.rarefaction == 0 || sample.sampleSize < options_.rarefaction))
            options_.rarefaction = sample.sampleSize;

    const std::size_t count = phase.fileSamples.size();
    std::vector<const Segment*> segments;
    for (const FileSampleView& sample : phase.fileSamples) segments.push_back(sample.segment);
    riverKm_.assign(count, std::vector<std::optional<double>>(count));
    if (phase.drainage != nullptr) riverKm_ = riverDistancesKm(*phase.drainage, segments);
    lineKm_.assign(count, std::vector<std::optional<double>>(count));
    for (std::size_t i = 0; i < count; ++i)
        for (std::size_t j = 0; j < count; ++j)
            if (segments[i] != nullptr && segments[j] != nullptr)
                lineKm_[i][j] = straightLineKm(*segments[i], *segments[j]);
    ageSums_.assign(phase.samples.size() + 1, 0.0);
    ageLoci_.assign(phase.samples.size() + 1, 0);
}

void StatisticsWriter::genealogy(const GeneticPhaseView&, const GenealogyView& view) {
    std::vector<std::optional<int>> ages = sampleMrcaAges(view.tree, firstLeaf_);
    ages.push_back(rootAge(view.tree));
    for (std::size_t i = 0; i < ages.size() && i < ageSums_.size(); ++i)
        if (ages[i]) {
            ageSums_[i] += *ages[i];
            ++ageLoci_[i];
        }
}

void StatisticsWriter::genotypes(const GeneticPhaseView& phase, const GenotypeView& view) {
    GeneMatrix genes;
    genes.first.push_back(0);
    for (const auto& sample : view.genes) {
        for (const auto& row : sample) genes.rows.push_back(row);
        genes.first.push_back(static_cast<int>(genes.rows.size()));
    }
    const ReplicateStatistics stats = computeReplicate(genes, options_);
    const auto meanAge = [this](std::size_t i) -> std::optional<double> {
        if (i >= ageLoci_.size() || ageLoci_[i] == 0) return std::nullopt;
        return ageSums_[i] / ageLoci_[i];
    };

    std::string statsRows, pairsRows;
    const int e = phase.entireIndex + 1;
    const int s = view.simulation;
    const auto& file = phase.fileSamples;
    const auto statsOf = [&](const FileSampleView& sample) -> const SampleStatistics* {
        if (sample.used < 0 || static_cast<std::size_t>(sample.used) >= stats.samples.size()) return nullptr;
        return &stats.samples[static_cast<std::size_t>(sample.used)];
    };
    for (const FileSampleView& sample : file) {
        rowStart(statsRows, e, s, sample.name);
        putInt(statsRows, sample.segment ? std::optional<int>(sample.segment->id) : std::nullopt);
        putSample(statsRows, statsOf(sample),
                  sample.used >= 0 ? meanAge(static_cast<std::size_t>(sample.used)) : std::nullopt);
        statsRows += '\n';
    }
    rowStart(statsRows, e, s, allSamples);
    putInt(statsRows, std::nullopt);
    putSample(statsRows, &stats.all, meanAge(ageSums_.size() - 1));
    statsRows += '\n';

    for (std::size_t i = 0; i < file.size(); ++i)
        for (std::size_t j = i + 1; j < file.size(); ++j) {
            rowStart(pairsRows, e, s, file[i].name);
            pairsRows += '\t';
            pairsRows += file[j].name.str();
            std::optional<double> fst, nei, dxy, da;
            if (statsOf(file[i]) != nullptr && statsOf(file[j]) != nullptr) {
                const auto a = static_cast<std::size_t>(file[i].used), b = static_cast<std::size_t>(file[j].used);
                fst = stats.fst[a][b];
                nei = stats.nei[a][b];
                dxy = stats.dxy[a][b];
                da = stats.da[a][b];
            }
            put(pairsRows, fst);
            put(pairsRows, nei);
            put(pairsRows, riverKm_[i][j], true);
            put(pairsRows, lineKm_[i][j], true);
            put(pairsRows, dxy);
            put(pairsRows, da);
            pairsRows += '\n';
        }
    rowStart(pairsRows, e, s, allSamples);
    pairsRows += '\t';
    pairsRows += allSamples;
    put(pairsRows, stats.globalFst);
    pairsRows += "\tNA\tNA\tNA";
    put(pairsRows, stats.globalDxy);
    put(pairsRows, stats.globalDa);
    pairsRows += '\n';

    stats_ << statsRows;
    pairs_ << pairsRows;
    std::fill(ageSums_.begin(), ageSums_.end(), 0.0);
    std::fill(ageLoci_.begin(), ageLoci_.end(), 0);
}

void StatisticsWriter::finish(const GeneticPhaseView&) {
    stats_.close();
    pairs_.close();
}

void StatisticsWriter::abandon() {
    stats_.abandon();
    pairs_.abandon();
}

}  // namespace fluviagen
