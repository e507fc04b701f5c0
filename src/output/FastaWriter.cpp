#include "output/FastaWriter.h"

#include <iostream>
#include <string>

#include "mutation/DataType.h"
#include "output/GenotypeSites.h"

namespace {

constexpr int kLineWidth = 60;

char letter(int state) {
    static const char letters[] = "AGCT";
    return state >= 0 && state < 4 ? letters[state] : 'N';
}

}  // namespace

void FastaWriter::open(const GeneticPhaseView& phase) {
    const std::string type = phase.dataType->name();
    active_ = type == "DNA" && phase.linkedLoci > 0;
    if (type != "DNA" && asked_)
        std::cerr << "Note: FASTA files hold DNA data; none are written for " << type << " data." << std::endl;
}

void FastaWriter::genotypes(const GeneticPhaseView& phase, const GenotypeView& view) {
    if (!active_) return;
    const GenotypeSites sites(phase, view);
    if (sites.geneCount() < 1) return;
    HeldTextFile file(files_, genotypeFileName(phase, view.simulation, ".fasta"), *phase.registry);
    std::ostream& os = file.stream();
    const auto sitesCount = static_cast<std::size_t>(sites.siteCount());
    std::string text;
    for (int g = 0; g < sites.geneCount(); ++g) {
        text = '>' + sites.geneName(g) + '\n';
        const auto states = sites.gene(g).states;
        for (std::size_t site = 0; site < sitesCount; ++site) {
            text += letter(site < states.size() ? states[site] : kMissingState);
            if ((site + 1) % kLineWidth == 0 || site + 1 == sitesCount) text += '\n';
        }
        os << text;
    }
    file.close();
}

void FastaWriter::finish(const GeneticPhaseView&) { files_.complete(); }

void FastaWriter::abandon() { files_.abandon(); }
