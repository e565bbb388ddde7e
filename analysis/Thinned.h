#pragma once

#include <algorithm>
#include <complex>
#include <cstddef>
#include <vector>

namespace nosk::analysis {

// About `keep` of the points, evenly along their order in frequency, the
// lowest and the highest always among them: the copy on which the analyses
// of a long spectrum make their choices (M, lambda) before they use every point.
inline void thinned(const std::vector<double>& f, const std::vector<std::complex<double>>& z, std::size_t keep,
                    std::vector<double>& fOut, std::vector<std::complex<double>>& zOut)
{
    std::vector<std::size_t> order(f.size());
    for (std::size_t i = 0; i < order.size(); ++i)
        order[i] = i;
    std::stable_sort(order.begin(), order.end(), [&f](std::size_t a, std::size_t b) { return f[a] < f[b]; });
    const std::size_t n = order.size();
    keep = std::min(n, keep);
    for (std::size_t k = 0; k < keep; ++k) {
        const std::size_t i = order[keep > 1 ? k * (n - 1) / (keep - 1) : 0];
        fOut.push_back(f[i]);
        zOut.push_back(z[i]);
    }
}

} // namespace nosk::analysis
