// Demes and lineages of the coalescent (to be completed).
#pragma once

class TDeme;

class TDemeCollection {
public:
    void clear() {}
};
