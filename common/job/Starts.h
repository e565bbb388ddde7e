#pragma once

namespace nosk {

// The most starts of a search from several start values: one range for
// noskwin --starts and noskrun's --run, --batch, --guess and its options.
constexpr int kMaxStarts = 10000;

} // namespace nosk
