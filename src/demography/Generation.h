// The current generation: one process-wide counter shared by the forward
// demography, which counts it up from 0 to numGenerations and writes every
// database entry at it, and the coalescent, which walks it back down again.
#pragma once

#include <cstdint>

class TSegmentVector;

extern std::int32_t currentGeneration;

// current generation = t. A drainage without segments cannot be simulated:
// fatal "setTime(): no segments are created!".
void setTime(const TSegmentVector& drainage, std::int32_t t);
inline void advanceGeneration() { ++currentGeneration; }
// Test hook: back to the value at program start.
inline void resetGeneration() { currentGeneration = 0; }
