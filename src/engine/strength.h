// Strength limiting: the fixed mapping between search speed and playing strength.
#pragma once

// Elo = 850 + 250 ln(nps) - 5 ln(nps)^2.
double elo_from_nps(double nps);
