// SPDX-License-Identifier: MIT
// How the real-TCP benchmarks print: '#' comments saying how a figure was measured, "name value"
// figure lines, and quantiles of a set of samples.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

namespace ostrella::bench {

inline void comment(const std::string& text)
{
    std::printf("# %s\n", text.c_str());
    std::fflush(stdout);
}

inline void figure(const std::string& name, double value, int decimals = 1)
{
    if (value == 0)
        value = 0; // no "-0.0"
    std::printf("%-44s %.*f\n", name.c_str(), decimals, value);
    std::fflush(stdout);
}

// The q-quantile of `values` (linear between ranks); NaN when empty.
inline double quantile(std::vector<double> values, double q)
{
    if (values.empty())
        return std::nan("");
    std::sort(values.begin(), values.end());
    const double at = q * static_cast<double>(values.size() - 1);
    const auto low = static_cast<std::size_t>(std::floor(at));
    const auto high = std::min(low + 1, values.size() - 1);
    return values[low] + (values[high] - values[low]) * (at - static_cast<double>(low));
}

} // namespace ostrella::bench
