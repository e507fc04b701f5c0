#include "output/FastaWriter.h"

#include <algorithm>
#include <iostream>
#include <string>
#include <vector>

#include "mutation/DataType.h"
#include "output/GenotypeSites.h"

namespace fluviagen {

namespace {

constexpr std::size_t kLineWidth = 60;

char letter(int state) {
    static const char letters[] = "AGCT";
    return static_cast<unsigned>(state) < 4 ? letters[state] : 'N';
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
    // One gene's record is built whole in a buffer: the files hold every
    // site of every gene, millions of letters in a run.
    const auto count = static_cast<std::size_t>(sites.siteCount());
    std::vector<char> record;
    for (int g = 0; g < sites.geneCount(); ++g) {
        const std::string name = '>' + sites.geneName(g) + '\n';
        record.resize(name.size() + count + count / kLineWidth + 1);
        char* out = std::copy(name.begin(), name.end(), record.data());
        const auto states = sites.gene(g).states;
        const std::size_t known = std::min(count, states.size());
        for (std::size_t first = 0; first < count; first += kLineWidth) {
            const std::size_t last = std::min(count, first + kLineWidth);
            const std::size_t end = std::min(last, std::max(known, first));
            for (std::size_t site = first; site < end; ++site) *out++ = letter(states[site]);
            for (std::size_t site = end; site < last; ++site) *out++ = 'N';
            *out++ = '\n';
        }
        os.write(record.data(), out - record.data());
    }
    file.close();
}

void FastaWriter::finish(const GeneticPhaseView&) { files_.complete(); }

void FastaWriter::abandon() { files_.abandon(); }

}  // namespace fluviagen
