#pragma once

#include <cstdint>

// Allocations through operator new made so far by the calling thread. The program that links
// AllocationCounter.cpp counts them all; per thread, so that the decoder's and OpenAL's threads
// do not count for the one that calls autoUpdate.
std::uint64_t allocationsOnThisThread();
