#include "output/GenotypeSites.h"

#include <algorithm>

#include "output/ProjectFile.h"

namespace fluviagen {

Text genotypeFileName(const GeneticPhaseView& phase, int simulation, const char* extension) {
    // The project file's name with the other extension.
    const Text arp =
        projectFileName(phase.outputName, phase.entireIndex, phase.entireCount, simulation, phase.simulationCount);
    const std::string base = arp.str().substr(0, arp.str().size() - 4);
    return outputFileName(phase.folder, Text(base + extension));
}

std::string genotypeName(const Text& name) {
    std::string word = name.str();
    for (char& c : word)
        if (c == ' ' || c == '\t' || c == ',' || c == '\n' || c == '\r') c = '_';
    return word;
}

GenotypeSites::GenotypeSites(const GeneticPhaseView& phase, const GenotypeView& view)
    : linkedLoci_(std::max(phase.linkedLoci, 0)), diploid_(phase.genotypic), hits_(view.hits) {
    siteCount_ = std::max(phase.independentLoci, 1) * linkedLoci_;
    for (std::size_t i = 0; i < phase.samples.size(); ++i) {
        sampleNames_.push_back(genotypeName(phase.samples[i].name));
        const int sample = static_cast<int>(i);
        const int size = std::max(phase.samples[i].sampleSize, 0);
        const std::size_t rows = i < view.genes.size() ? view.genes[i].size() : 0;
        const int first = geneCount();
        for (int c = 0; c < size; ++c)
            genes_.push_back({sample, c,
                              static_cast<std::size_t>(c) < rows ? view.genes[i][static_cast<std::size_t>(c)]
                                                                 : std::span<const int>()});
        for (int c = 0; c < size; c += diploid_ ? 2 : 1) {
            const int second = diploid_ && c + 1 < size ? first + c + 1 : -1;
            individuals_.push_back({sample, diploid_ ? c / 2 + 1 : c + 1, first + c, second});
        }
    }
    states_.resize(genes_.size());
}

std::string GenotypeSites::geneName(int g) const {
    const Gene& gene = genes_[static_cast<std::size_t>(g)];
    return sampleNames_[static_cast<std::size_t>(gene.sample)] + "_" + std::to_string(gene.copy + 1);
}

std::string GenotypeSites::individualName(const Individual& individual) const {
    return sampleNames_[static_cast<std::size_t>(individual.sample)] + "_" + std::to_string(individual.number);
}

void GenotypeSites::decode(int site) {
    alleles_.clear();
    for (std::size_t g = 0; g < genes_.size(); ++g) {
        const int s = state(static_cast<int>(g), site);
        states_[g] = s;
        if (s != kMissingState && std::find(alleles_.begin(), alleles_.end(), s) == alleles_.end())
            alleles_.push_back(s);
    }
    std::sort(alleles_.begin(), alleles_.end());
}

}  // namespace fluviagen
