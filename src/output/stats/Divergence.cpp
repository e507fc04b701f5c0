#include "output/stats/Divergence.h"

namespace fluviagen {

Divergence sequenceDivergence(double between, int genesX, int genesY, const std::optional<double>& piX,
                              const std::optional<double>& piY) {
    Divergence d;
    if (genesX < 1 || genesY < 1) return d;
    d.dxy = between;
    if (piX && piY) d.da = between - (*piX + *piY) / 2;
    return d;
}

}  // namespace fluviagen
