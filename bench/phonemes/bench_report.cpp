#include "bench_report.h"

#include <time.h>

namespace phonemes::bench {

double threadCpuSeconds() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

std::string percent(double share) {
    return format("%.1f %%", share * 100.0);
}

namespace {
int missed = 0;
}  // namespace

std::string verdict(bool ok) {
    missed += ok ? 0 : 1;
    return ok ? "yes" : "NO";
}

int missedTargets() {
    return missed;
}

Table::Table(const std::vector<std::string>& header) {
    row(header);
    row(std::vector<std::string>(header.size(), "---"));
}

void Table::row(const std::vector<std::string>& cells) {
    std::string line = "|";
    for (const std::string& cell : cells) {
        line += " " + cell + " |";
    }
    std::puts(line.c_str());
}

}  // namespace phonemes::bench
