#include "engine/strength.h"

#include <cmath>

double elo_from_nps(double nps) {
    double l = std::log(nps);
    return 850.0 + 250.0 * l - 5.0 * l * l;
}
