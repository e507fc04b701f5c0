#include "output/GenepopWriter.h"

#include <algorithm>
#include <iostream>
#include <string>

#include "mutation/DataType.h"
#include "output/GenotypeSites.h"

namespace fluviagen {

namespace {

constexpr long long kFirstCode = 100;
constexpr long long kLastCode = 999;

bool codable(const std::string& type) {
    return type == "MICROSAT" || type == "STANDARD" || type == "SNP" || type == "RFLP";
}

// The rule of the file's title line, for a reader who meets the file alone.
const char* ruleText(const std::string& type) {
    if (type == "MICROSAT") return "allele = 100 + repeats above the smallest allele of the locus in this file";
    if (type == "STANDARD") return "allele = 100 + mutations since the root of the genealogy";
    return "allele = 100 + state (100 ancestral 0, 101 derived 1)";
}

void appendCode(std::string& line, int code) {
    line += static_cast<char>('0' + code / 100);
    line += static_cast<char>('0' + code / 10 % 10);
    line += static_cast<char>('0' + code % 10);
}

}  // namespace

GenepopLocus genepopCodes(const std::string& dataType, const std::vector<int>& states) {
    GenepopLocus locus;
    long long smallest = 0;
    if (dataType == "MICROSAT") {
        // Repeat numbers count from the ancestral state (0) and may be negative;
        // only the differences between alleles mean something.
        long long largest = 0;
        bool any = false;
        for (int s : states)
            if (s != kMissingState) {
                smallest = any ? std::min<long long>(smallest, s) : s;
                largest = any ? std::max<long long>(largest, s) : s;
                any = true;
            }
        if (largest - smallest > kLastCode - kFirstCode) {
            locus.problem = "its alleles span " + std::to_string(largest - smallest) + " repeats (" +
                            std::to_string(smallest) + " to " + std::to_string(largest) +
                            " from the ancestral state), more than the 899 that the codes 100 to 999 can hold";
            return locus;
        }
    }
    locus.codes.reserve(states.size());
    for (int s : states) {
        if (s == kMissingState) {
            locus.codes.push_back(0);
            continue;
        }
        const long long code = kFirstCode + s - smallest;
        if (code < kFirstCode || code > kLastCode) {
            locus.codes.clear();
            locus.problem = "a gene has the state " + std::to_string(s) +
                            ", but the codes 100 to 999 hold the states 0 to 899 only";
            return locus;
        }
        locus.codes.push_back(static_cast<int>(code));
    }
    return locus;
}

void GenepopWriter::open(const GeneticPhaseView& phase) {
    const std::string type = phase.dataType->name();
    active_ = codable(type) && phase.linkedLoci > 0;
    if (!codable(type) && asked_)
        std::cerr << "Note: GENEPOP files hold MICROSAT, STANDARD, SNP and RFLP data; none are written for " << type
                  << " data." << std::endl;
}

void GenepopWriter::writeHeaders(const GeneticPhaseView& phase) {
    if (!active_ || !phase.genotypic) return;
    for (const SampleView& sample : phase.samples) {
        if (sample.sampleSize % 2 == 0) continue;
        std::cerr << "WARNING: sample '" << sample.name << "' has " << sample.sampleSize
                  << " genes, an odd number: its last individual in the GENEPOP files, " << genotypeName(sample.name)
                  << "_" << (sample.sampleSize + 1) / 2
                  << ", has one gene, written with the missing partner 000 (as in 102000); readers that take 000 "
                     "for an allele (adegenet) count that individual heterozygous at every locus."
                  << std::endl;
    }
}

void GenepopWriter::genotypes(const GeneticPhaseView& phase, const GenotypeView& view) {
    if (!active_) return;
    GenotypeSites sites(phase, view);
    if (sites.individuals().empty() || sites.siteCount() < 1) return;
    const std::string type = phase.dataType->name();
    const Text path = genotypeFileName(phase, view.simulation, ".gen");
    const int L = sites.linkedLoci();
    const auto locusName = [L](int site) {
        std::string name = "L";
        name += std::to_string(site / L + 1);
        name += '_';
        name += std::to_string(site % L + 1);
        return name;
    };

    // codes[site * genes + gene]
    const auto genes = static_cast<std::size_t>(sites.geneCount());
    std::vector<int> codes;
    codes.reserve(genes * static_cast<std::size_t>(sites.siteCount()));
    for (int site = 0; site < sites.siteCount(); ++site) {
        sites.decode(site);
        GenepopLocus locus = genepopCodes(type, sites.states());
        if (!locus.problem.empty()) {
            std::cerr << "WARNING: the GENEPOP file '" << path << "' is not written: locus " << locusName(site)
                      << " cannot be coded: " << locus.problem << "." << std::endl;
            return;
        }
        codes.insert(codes.end(), locus.codes.begin(), locus.codes.end());
    }
    const auto code = [&](int site, int gene) {
        return gene < 0 ? 0 : codes[static_cast<std::size_t>(site) * genes + static_cast<std::size_t>(gene)];
    };

    HeldTextFile file(files_, path, *phase.registry);
    std::ostream& os = file.stream();
    os << "fluviagen " << fileNameOf(path) << " " << type << ": " << ruleText(type) << "; 000 missing\n";
    for (int site = 0; site < sites.siteCount(); ++site) os << locusName(site) << "\n";
    std::string line;
    int sample = -1;
    for (const auto& individual : sites.individuals()) {
        if (individual.sample != sample) os << "Pop\n";
        sample = individual.sample;
        line = sites.individualName(individual) + ",";
        for (int site = 0; site < sites.siteCount(); ++site) {
            line += ' ';
            appendCode(line, code(site, individual.first));
            if (sites.diploid()) appendCode(line, code(site, individual.second));
        }
        line += '\n';
        os << line;
    }
    file.close();
}

void GenepopWriter::finish(const GeneticPhaseView&) { files_.complete(); }

void GenepopWriter::abandon() { files_.abandon(); }

}  // namespace fluviagen
