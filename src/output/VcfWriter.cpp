#include "output/VcfWriter.h"

#include <htslib/kstring.h>
#include <htslib/vcf.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <iostream>
#include <memory>
#include <set>
#include <string>

#include "base/Exception.h"
#include "coalescent/GenealogyTree.h"
#include "mutation/DataType.h"
#include "output/Bgzf.h"
#include "output/GenotypeSites.h"

namespace fluviagen {

namespace {

struct TextFreer {
    void operator()(kstring_t* text) const {
        ks_free(text);
        delete text;
    }
};
struct RecordDestroyer {
    void operator()(bcf1_t* record) const { bcf_destroy(record); }
};

// The DNA states' letters, and the order in which ALT alleles are listed.
constexpr char kLetters[] = "AGCT";
constexpr int kAcgtOrder[] = {0, 2, 1, 3};

// The alleles of one record: the states in VCF order (REF first) and the
// allele index of every state (-1 for a state the record does not list).
struct Alleles {
    std::vector<int> states;
    int index[4] = {-1, -1, -1, -1};
    std::string text;  // "REF,ALT,..."
};

Alleles dnaAlleles(int root, const std::vector<int>& found) {
    Alleles a;
    // Without a known root state the first state found in ACGT order is REF.
    if (root < 0 || root > 3) root = -1;
    for (int state : kAcgtOrder)
        if (root < 0 && std::find(found.begin(), found.end(), state) != found.end()) root = state;
    a.states.push_back(root);
    for (int state : kAcgtOrder)
        if (state != root && std::find(found.begin(), found.end(), state) != found.end()) a.states.push_back(state);
    for (std::size_t i = 0; i < a.states.size(); ++i) {
        a.index[a.states[i]] = static_cast<int>(i);
        if (i > 0) a.text += ',';
        a.text += kLetters[a.states[i]];
    }
    return a;
}

Alleles snpAlleles() {
    Alleles a;
    a.states = {0, 1};
    a.index[0] = 0;
    a.index[1] = 1;
    a.text = "A,T";
    return a;
}

// The header line of files whose haploid genes are written as diploid calls.
constexpr const char* kDoubledHaploidsLine =
    "##ploidy=haploid genes written as homozygous diploid calls g/g for readers of diploid genotypes "
    "(fluviagen --diploid-vcf): allele frequencies and FST are those of the genes; heterozygosity, "
    "inbreeding and Hardy-Weinberg statistics of this file are meaningless";

std::int32_t allele(const Alleles& a, int state, bool phased) {
    const int i = state >= 0 && state < 4 ? a.index[state] : -1;
    if (i < 0) return phased ? bcf_gt_phased(-1) : bcf_gt_missing;
    return phased ? bcf_gt_phased(i) : bcf_gt_unphased(i);
}

}  // namespace

void VcfWriter::open(const GeneticPhaseView& phase) {
    const std::string type = phase.dataType->name();
    kind_ = type == "SNP" ? Kind::Snp : type == "DNA" ? Kind::Dna : Kind::None;
    if (kind_ == Kind::None && asked_)
        std::cerr << "Note: VCF files hold SNP and DNA data; none are written for " << type << " data." << std::endl;
    if (phase.linkedLoci < 1) kind_ = Kind::None;
}

void VcfWriter::genealogy(const GeneticPhaseView& phase, const GenealogyView& view) {
    if (kind_ != Kind::Dna) return;
    const int L = phase.linkedLoci;
    const int k = std::max(view.locus, 0);
    if (k == 0) rootStates_.assign(static_cast<std::size_t>(std::max(phase.independentLoci, 1) * L), kMissingState);
    if (view.tree.size() < 1) return;
    const TreeNode& root = view.tree.node(2 * view.tree.size() - 2);
    const int known = std::min({L, root.nSites, static_cast<int>(root.sequence.size())});
    for (int j = 0; j < known; ++j)
        rootStates_[static_cast<std::size_t>(k * L + j)] = root.sequence[static_cast<std::size_t>(j)];
}

void VcfWriter::HeaderDestroyer::operator()(bcf_hdr_t* header) const { bcf_hdr_destroy(header); }

void VcfWriter::writeHeaders(const GeneticPhaseView& phase) {
    header_.reset();
    if (kind_ == Kind::None) return;
    const GenotypeSites sites(phase, GenotypeView{});
    std::set<std::string> names;
    for (const auto& individual : sites.individuals())
        if (!names.insert(sites.individualName(individual)).second) {
            std::cerr << "WARNING: no VCF files are written: two individuals are named '"
                      << sites.individualName(individual) << "' (samples of the same name)." << std::endl;
            return;
        }
    // htslib builds the header; it fails only for lack of memory.
    const auto check = [](bool ok) {
        if (!ok) throw SimulationError(Text("Cannot build the header of the VCF files: out of memory!"), levelFatal);
    };
    const int L = sites.linkedLoci();
    header_.reset(bcf_hdr_init("w"));
    check(header_ != nullptr);
    bcf_hdr_t* header = header_.get();
    check(bcf_hdr_set_version(header, "VCFv4.2") == 0);
    check(bcf_hdr_append(header, "##source=fluviagen") == 0);
    if (doubleHaploids_ && !sites.diploid()) check(bcf_hdr_append(header, kDoubledHaploidsLine) == 0);
    contigs_.clear();
    for (int k = 1; k <= sites.siteCount() / L; ++k) {
        contigs_.push_back("locus" + std::to_string(k));
        check(bcf_hdr_printf(header, "##contig=<ID=%s,length=%d>", contigs_.back().c_str(), L) == 0);
    }
    if (kind_ == Kind::Snp)
        check(bcf_hdr_append(header,
                             "##INFO=<ID=PLACEHOLDER,Number=0,Type=Flag,Description=\"REF and ALT are placeholders: "
                             "A stands for the ancestral state 0 of the SNP, T for the derived state 1\">") == 0);
    check(bcf_hdr_append(header, "##FORMAT=<ID=GT,Number=1,Type=String,Description=\"Genotype\">") == 0);
    for (const auto& individual : sites.individuals())
        check(bcf_hdr_add_sample(header, sites.individualName(individual).c_str()) == 0);
    check(bcf_hdr_sync(header) == 0);
    kstring_t text = KS_INITIALIZE;
    const bool formatted = bcf_hdr_format(header, 0, &text) == 0;
    if (formatted) headerText_.assign(text.s, text.l);
    ks_free(&text);
    check(formatted);
}

void VcfWriter::genotypes(const GeneticPhaseView& phase, const GenotypeView& view) {
    if (!header_) return;
    GenotypeSites sites(phase, view);
    const Text path = genotypeFileName(phase, view.simulation, ".vcf.gz");
    HeldTextFile file(files_, path, *phase.registry);
    // htslib formats the records; it fails only for lack of memory.
    const auto check = [&](bool ok) {
        if (!ok) file.fail(ENOMEM);
    };
    bcf_hdr_t* header = header_.get();
    const int L = sites.linkedLoci();
    BgzfStream bgzf(file.stream());
    bgzf.write(headerText_);
    TabixIndex index(contigs_);
    std::unique_ptr<kstring_t, TextFreer> text(new kstring_t{0, 0, nullptr});

    std::unique_ptr<bcf1_t, RecordDestroyer> record(bcf_init());
    check(record != nullptr);
    const bool doubled = doubleHaploids_ && !sites.diploid();
    const int ploidy = sites.diploid() || doubled ? 2 : 1;
    std::vector<std::int32_t> calls(sites.individuals().size() * static_cast<std::size_t>(ploidy));
    const Alleles snp = snpAlleles();
    for (int site = 0; site < sites.siteCount(); ++site) {
        if (!sites.hit(site)) continue;
        sites.decode(site);
        if (!sites.polymorphic()) continue;
        const Alleles alleles = kind_ == Kind::Snp ? snp
                                                   : dnaAlleles(static_cast<std::size_t>(site) < rootStates_.size()
                                                                    ? rootStates_[static_cast<std::size_t>(site)]
                                                                    : kMissingState,
                                                                sites.alleles());
        bcf_clear(record.get());
        record->rid = site / L;
        record->pos = site % L;
        check(bcf_update_alleles_str(header, record.get(), alleles.text.c_str()) == 0);
        if (kind_ == Kind::Snp) check(bcf_update_info_flag(header, record.get(), "PLACEHOLDER", nullptr, 1) == 0);
        std::size_t c = 0;
        for (const auto& individual : sites.individuals()) {
            calls[c++] = allele(alleles, sites.states()[static_cast<std::size_t>(individual.first)], false);
            if (doubled) {
                calls[c] = calls[c - 1];
                ++c;
            } else if (ploidy == 2) {
                calls[c++] = allele(
                    alleles,
                    individual.second < 0 ? kMissingState : sites.states()[static_cast<std::size_t>(individual.second)],
                    true);
            }
        }
        check(bcf_update_genotypes(header, record.get(), calls.data(), static_cast<int>(calls.size())) == 0);
        text->l = 0;
        check(vcf_format(header, record.get(), text.get()) == 0);
        const std::uint64_t begin = bgzf.tell();
        bgzf.write(text->s, text->l);
        index.add(record->rid, record->pos, begin, bgzf.tell());
    }
    bgzf.finish();
    file.close();

    if (L - 1 > TabixIndex::kMaxPosition) {
        std::cerr << "Note: the VCF file '" << path << "' has no index: its loci of " << L
                  << " sites are longer than a tabix index can address." << std::endl;
        return;
    }
    HeldTextFile indexFile(files_, path + ".tbi", *phase.registry);
    index.write(indexFile.stream());
    indexFile.close();
}

void VcfWriter::finish(const GeneticPhaseView&) { files_.complete(); }

void VcfWriter::abandon() { files_.abandon(); }

}  // namespace fluviagen
