#pragma once

// A stop request that reaches the speech objects created on a thread. Whoever processes files
// on a thread sets it there; an engine made on that thread takes it along, and when it is
// requested the engine's recognition ends early and still reports the end of its stream, so
// that a session waiting for that end is not kept waiting.

#include <stop_token>

namespace phonemes {

// The calling thread's cancellation from now on; an empty token (the default) is never
// requested.
void setThreadCancellation(std::stop_token token);
std::stop_token threadCancellation();

}  // namespace phonemes
