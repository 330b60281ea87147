#pragma once
// Several samples of one timing, summed up as the lowest and the middle figure: the lowest is
// what the code can do, the median what a user usually meets. One sample under load misleads.

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

namespace bench {

struct SampleFigures {
    double min = 0;
    double median = 0;
};

inline SampleFigures Summarise(std::vector<double> samples) {
    if (samples.empty())
        return {};
    std::sort(samples.begin(), samples.end());
    return {samples.front(), samples[samples.size() / 2]};
}

inline double Median(std::vector<double> samples) { return Summarise(std::move(samples)).median; }

// One line: what was timed, its min and median, and its goal beside them (none when "").
// No samples at all is said as such, never printed as a figure of 0.
inline void PrintSamples(const char* what, const std::vector<double>& samples, const char* unit,
                         const char* goal) {
    if (samples.empty()) {
        std::printf("  %-58s no sample succeeded\n", what);
        return;
    }
    const SampleFigures f = Summarise(samples);
    std::printf("  %-58s min %10.3f  median %10.3f %-3s", what, f.min, f.median, unit);
    if (*goal)
        std::printf("  goal %s", goal);
    std::printf("\n");
}

// The peak resident memory of this process in KiB (VmHWM), 0 when unknown. Not getrusage's
// ru_maxrss: Linux keeps that across fork and exec, so a child started by a benchmark that has
// already read big files would report the parent's peak.
inline long PeakKiB() {
    FILE* status = std::fopen("/proc/self/status", "r");
    if (!status)
        return 0;
    char line[256];
    long kib = 0;
    while (std::fgets(line, sizeof line, status))
        if (std::strncmp(line, "VmHWM:", 6) == 0)
            kib = std::atol(line + 6);
    std::fclose(status);
    return kib;
}

}  // namespace bench
