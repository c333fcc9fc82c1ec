#include "thread_cancellation.h"

#include <utility>

namespace phonemes {
namespace {

thread_local std::stop_token cancellation;

}  // namespace

void setThreadCancellation(std::stop_token token) {
    cancellation = std::move(token);
}

std::stop_token threadCancellation() {
    return cancellation;
}

}  // namespace phonemes
