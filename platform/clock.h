// Clock, pause and the pseudo-random generator of the showcase.
#pragma once

#include <cstdint>

// Seconds from a steady high-resolution counter.
double clock_seconds();
// Sleeps the calling thread for about milliseconds.
void pause_ms(int32_t milliseconds);
// Starts the generator afresh from seed.
void random_seed(double seed);
// The generator's next number in [0, 1). The argument 1 asks for the next
// number, as the showcase always does.
double random_next(int32_t which = 1);
