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
    std::string line;
    for (int g = 0; g < sites.geneCount(); ++g) {
        os << '>' << sites.geneName(g) << '\n';
        for (int first = 0; first < sites.siteCount(); first += kLineWidth) {
            line.clear();
            for (int site = first; site < sites.siteCount() && site < first + kLineWidth; ++site)
                line += letter(sites.state(g, site));
            line += '\n';
            os << line;
        }
    }
    file.close();
}

void FastaWriter::finish(const GeneticPhaseView&) { files_.complete(); }

void FastaWriter::abandon() { files_.abandon(); }
