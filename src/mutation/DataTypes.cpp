// The registry of data types: the code of the settings' data type line
// (Setting::dataType) and the type that answers to it. A new data type is one
// file of this folder and one line here.
#include "mutation/DataTypes.h"

namespace fluviagen {

namespace {

template <typename T>
std::unique_ptr<DataType> make(const Settings& settings) {
    return std::make_unique<T>(settings);
}

struct Registration {
    int code;
    std::unique_ptr<DataType> (*create)(const Settings&);
};

constexpr Registration registry[] = {
    {MICROSAT, make<Microsat>}, {RFLP, make<Rflp>}, {DNA, make<Dna>}, {STANDARD, make<Standard>}, {SNP, make<Snp>},
};

}  // namespace

std::unique_ptr<DataType> makeDataType(const Settings& settings) {
    for (const Registration& r : registry)
        if (r.code == settings.dataType) return r.create(settings);
    return nullptr;
}

}  // namespace fluviagen
