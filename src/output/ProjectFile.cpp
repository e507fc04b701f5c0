#include "output/ProjectFile.h"

#include <cstdlib>
#include <iomanip>
#include <iostream>
#include <string>

#include "base/Exception.h"
#include "output/OutputFiles.h"
#include "mutation/DataType.h"

namespace fluviagen {

namespace {

int digits(int value) { return static_cast<int>(std::to_string(value).size()); }

void blanks(std::ostream& os, int count) {
    for (int i = 0; i < count; ++i) os << ' ';
}

void writeHeader(std::ostream& os, const ProjectFileData& d) {
    os << "#Tessaly input file written by the simulation program Sinuo\n\n"
       << "#" << d.entireIndex + 1 << ". of " << d.entireCount << " Demographic simulation\n"
       << "#" << d.simulationIndex << ". of " << d.simulationCount << " Genetic simulation\n\n"
       << (d.independentLoci < 2 ? "#Multilocus: no\n\n" : "#Multilocus: yes\n\n") << "#Simulation parameters:\n"
       << "#======================\n"
       << "\n#Deme sizes\n"
       << "\n#Sample sizes\n";
    for (const auto& deme : d.demes) os << "#Location " << deme.name << "\t" << deme.sampleSize << "\n";
    os << "\n#Data type: ";
    d.dataType->writeDescription(os);
    os << "\n#Mutation rate per generation : " << d.mutationRate << "\n#Number of linked loci        : " << d.linkedLoci
       << "\n#Number of independant loci   : " << d.independentLoci << "\n#Gamma parameter              : " << d.gammaA
       << "\n\n";
}

void writeProfile(std::ostream& os, const ProjectFileData& d) {
    int nonEmpty = 0;
    for (const auto& deme : d.demes) nonEmpty += deme.sampleSize > 0 ? 1 : 0;
    os << "\n[Profile]\n"
       << "\tTitle=\"A series of simulated samples\"\n"
       << "\tNbSamples=" << nonEmpty << "\n"
       << "\n"
       << (d.genotypic ? "\tGenotypicData=1\n" : "\tGenotypicData=0\n") << "\tGameticPhase=1\n"
       << "\tRecessiveData=0\n";
    d.dataType->writeProfile(os);
    os << "\tMissingData='?'\n"
       << "\n[Data]\n"
       << "\t[[Samples]]\n\n";
}

void writeSample(std::ostream& os, const ProjectFileData& d, int i) {
    const auto& deme = d.demes[static_cast<std::size_t>(i)];
    const int n = deme.sampleSize;
    os << "\t\tSampleName=\"" << deme.name << "\"\n"
       << "\t\tSampleSize=" << (d.genotypic ? n / 2 : n) << "\n\t\tSampleData= {\n";

    const int width = digits(i) + digits(n) + 5;
    os << "#Number of mutation hits per site\n#Sites";
    blanks(os, width - 8);
    for (std::size_t x = 1; x <= d.hits.size(); ++x) os << std::setw(7) << x;
    os << "\n#Hits";
    blanks(os, width - 7);
    for (int h : d.hits) os << std::setw(7) << h;
    os << "\n";

    const bool multilocus = d.independentLoci > 1;
    for (int c = 0; c < n; ++c) {
        std::string label;
        if (!d.genotypic)
            label = std::to_string(i + 1) + "_" + std::to_string(c + 1) + " 1  ";
        else if (c % 2 == 0)
            label = std::to_string(i + 1) + "_" + std::to_string(c / 2 + 1) + " 1  ";
        os << std::setw(width) << label;
        if (static_cast<std::size_t>(c) < deme.genes.size()) {
            const auto& gene = deme.genes[static_cast<std::size_t>(c)];
            for (std::size_t site = 0; site < gene.size(); ++site) {
                d.dataType->writeState(os, gene[site]);
                if (multilocus && d.linkedLoci > 0 && (site + 1) % static_cast<std::size_t>(d.linkedLoci) == 0)
                    os << " ";
            }
        }
        os << "\n";
    }
    os << "\n}\n";
}

// Group number of a "$<group>_<name>" deme name; -1 without "_".
int groupNumber(const Text& name) {
    const int underscore = name.find('_');
    if (underscore < 0) return -1;
    return static_cast<int>(std::strtol(name.between(1, underscore).c_str(), nullptr, 10));
}

void writeGroupMembers(std::ostream& os, const ProjectFileData& d, std::size_t first, std::size_t last) {
    os << "\n\tGroup={";
    for (std::size_t i = first; i < last; ++i)
        if (d.demes[i].sampleSize > 0) os << "\n\t   \"" << d.demes[i].name << "\"";
    os << "\n\t}"
       << "\n";
}

void writeStructure(std::ostream& os, const ProjectFileData& d) {
    os << "\n[[Structure]]\n"
       << "\n\tStructureName=\"Simulated data\"";
    if (d.demes.empty() || d.demes.front().name.length() == 0 || d.demes.front().name[0] != '$') {
        os << "\n\tNbGroups=1";
        writeGroupMembers(os, d, 0, d.demes.size());
        return;
    }
    // Groups are runs of consecutive demes with the same group number; a name
    // without the "$" prefix continues the current group.
    std::vector<int> groups;
    int current = 0;
    for (const auto& deme : d.demes) {
        if (deme.name.length() > 0 && deme.name[0] == '$') current = groupNumber(deme.name);
        groups.push_back(current);
    }
    std::vector<std::size_t> runStarts;
    for (std::size_t i = 0; i < groups.size(); ++i)
        if (i == 0 || groups[i] != groups[i - 1]) runStarts.push_back(i);
    os << "\n\tNbGroups=" << runStarts.size();
    for (std::size_t r = 0; r < runStarts.size(); ++r)
        writeGroupMembers(os, d, runStarts[r], r + 1 < runStarts.size() ? runStarts[r + 1] : groups.size());
}

}  // namespace

Text projectFileName(const Text& outputText, int entireIndex, int entireCount, int simulationIndex,
                     int simulationCount) {
    return outputText + "_" + zeroPad(entireIndex + 1, entireCount) + "-" + zeroPad(simulationIndex, simulationCount) +
           ".arp";
}

void writeProjectFile(std::ostream& os, const ProjectFileData& data) {
    writeHeader(os, data);
    writeProfile(os, data);
    for (std::size_t i = 0; i < data.demes.size(); ++i)
        if (data.demes[i].sampleSize > 0) writeSample(os, data, static_cast<int>(i));
    writeStructure(os, data);
}

int writeProjectFile(const Text& path, const ProjectFileData& data, OutputRegistry& registry) {
    std::cout << "\n\t\tWritting Tessaly oputput ...";
    OutputFile file;
    file.open(path, false, registry);
    writeProjectFile(file.stream(), data);
    file.close();
    std::cout << " done!";
    return 1;
}

void ProjectFileWriter::open(const GeneticPhaseView& phase) {
    registry_ = phase.registry;
    listPath_ = outputFileName(phase.folder, phase.outputName + ".arb").str();
    registry_->listOpened(listPath_);
    list_.open(Text(listPath_), true, *phase.registry);
}

void ProjectFileWriter::genotypes(const GeneticPhaseView& phase, const GenotypeView& view) {
    ProjectFileData data;
    data.entireIndex = phase.entireIndex;
    data.entireCount = phase.entireCount;
    data.simulationIndex = view.simulation;
    data.simulationCount = phase.simulationCount;
    data.independentLoci = phase.independentLoci;
    data.linkedLoci = phase.linkedLoci;
    data.mutationRate = phase.mutationRate;
    data.gammaA = phase.gammaA;
    data.dataType = phase.dataType;
    data.genotypic = phase.genotypic;
    for (std::size_t i = 0; i < phase.samples.size(); ++i) {
        ProjectFileData::Deme d;
        d.name = phase.samples[i].name;
        d.sampleSize = phase.samples[i].sampleSize;
        if (i < view.genes.size()) d.genes = view.genes[i];
        data.demes.push_back(std::move(d));
    }
    data.hits = view.hits;
    const Text name =
        projectFileName(phase.outputName, phase.entireIndex, phase.entireCount, view.simulation, phase.simulationCount);
    writeProjectFile(outputFileName(phase.folder, name), data, *phase.registry);
    list_ << fileNameOf(name) << "\n";
    lines_.push_back(fileNameOf(name).str());
}

void ProjectFileWriter::finish(const GeneticPhaseView&) {
    list_.close();
    registry_->listExtended(listPath_, lines_);
}

// The list on disk changes only with an accepted entire simulation: a call
// that ends here (a fatal error, an interruption) leaves it as the accepted
// ones made it. The names of this attempt's project files, which stay, are
// held by the registry and join the list when the call succeeds.
void ProjectFileWriter::abandon() {
    list_.abandon();
    if (registry_ != nullptr) registry_->listExtended(listPath_, lines_);
}

}  // namespace fluviagen
