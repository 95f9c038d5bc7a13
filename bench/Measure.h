#pragma once

#include <algorithm>
#include <ctime>
#include <vector>

// CPU time of the whole process (every thread), in milliseconds.
inline double ProcessCpuMs()
{
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return now.tv_sec * 1e3 + now.tv_nsec / 1e6;
}

inline double Median(std::vector<double> values)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    const std::size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

// CPU and wall time of one run, in milliseconds.
struct RunTimes
{
    double cpuMs = 0;
    double wallMs = 0;
};
