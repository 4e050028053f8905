// Network pruning (-prune_nn): ranks the first-layer neurons by how much they contribute to
// the output over the positions of a training file and keeps the most useful ones.
#pragma once

#include "board/position.h"
#include "eval/eval_state.h"
#include "eval/nn_format.h"

constexpr int PRUNED_HIDDEN = 1536;

// Evaluates `pos` with the loaded network and adds, for every neuron i of each perspective p,
// |activation x the output weight it met| x 1e-6 to stats[p * H + i].
void prune_collect(const Position& pos, EvalState& es, double* stats);

// Picks `keep` neurons, each time the one whose two perspective totals have the largest mean
// (the lower index on ties), into kept[0..keep).
void prune_rank(const double* stats, int hidden, int keep, int* kept);

// Writes into `out` (nn_weight_count of the pruned header) the network of header h with only
// the kept neurons, in the order given: their first-layer weights, output weights and biases.
void prune_copy(const NetHeader& h, const i16* weights, const int* kept, int keep, i16* out);
