#pragma once

// Every built-in circuit letter with a parameter set that gives each of its
// elements weight, and its impedance written out here from the element
// formulas (the DEs from DeClosedForms.h), independently of the circuit
// language: the reference of the model's circuit tests and the parameter sets
// of the engine's Jacobian test.

#include "DeClosedForms.h"

#include "model/de/DeTypes.h"

#include <cmath>
#include <functional>
#include <initializer_list>
#include <utility>
#include <vector>

namespace nosk::test::circuits {

using model::Complex;

inline const Complex I(0.0, 1.0);

// p[1] ... p[50] as the circuits count them (p[0] unused).
using Params = std::vector<double>;

inline Complex de(int n, double R, double T, double U, double PHI, double w)
{
    return deClosedForm(n, {R, T, U, PHI}, w);
}

// DE(pN): its four parameters just before the selector.
inline Complex deAt(const Params& p, int selector, double w)
{
    return de(static_cast<int>(p[selector]), p[selector - 4], p[selector - 3], p[selector - 2], p[selector - 1], w);
}

inline Complex par(std::initializer_list<Complex> branches)
{
    Complex y = 0.0;
    for (Complex z : branches)
        y += 1.0 / z;
    return 1.0 / y;
}

inline Complex cap(double c, double w) { return 1.0 / (I * w * c); }
inline Complex cpe(double q, double a, double w) { return 1.0 / (q * std::pow(I * w, a)); }

// The cell capacitance the letters' parameter sets are written for.
constexpr double kCelcap = 2e-12;

struct Letter {
    char letter;
    Params p;  // 1-based, 51 entries
    std::function<Complex(const Params&, double)> z;
};

inline Params params(std::initializer_list<std::pair<int, double>> values)
{
    Params p(51, 0.0);
    for (auto [k, v] : values)
        p[k] = v;
    return p;
}

// Every letter with a parameter set that gives each of its elements weight,
// and its impedance written out from the element formulas.
inline std::vector<Letter> letters()
{
    return {
        {'A', params({{1, 10}, {2, 2e-3}, {3, 1e-4}, {4, 3e-7}, {6, 100}, {7, 1e-4}, {10, 1}, {12, 5e-3}, {14, 0.8},
                  {15, 2}, {16, 40}, {17, 0.05}, {19, 0.5}, {20, 9}}),
            [](const Params& p, double w) {
                return par({cap(p[4], w), p[1] + I * w * p[3] + cap(p[2], w) + deAt(p, 10, w) + deAt(p, 15, w)
                                              + deAt(p, 20, w)});
            }},
        {'B', params({{1, 0.02}, {2, 0.5}, {3, 2e-7}, {4, 0.01}, {6, 0.004}, {7, 10}, {9, 0.5}, {10, 16},
                  {11, 0.003}, {12, 0.01}, {15, 1}, {16, 0.001}, {17, 0.02}, {19, 0.9}, {20, 5}, {22, 50},
                  {24, 0.9}, {25, 2}}),
            [](const Params& p, double w) {
                return p[1] + I * w * p[3] + par({cap(p[2], w), p[4] + deAt(p, 10, w) + deAt(p, 15, w)})
                    + deAt(p, 20, w) + deAt(p, 25, w);
            }},
        {'C', params({{1, 5}, {2, 1e-7}, {3, 1e-6}, {4, 40}, {7, 2e-5}, {9, 0.85}, {10, 2}, {11, 60}, {12, 3},
                  {14, 0.5}, {15, 16}, {16, 7}, {17, 1e-3}, {20, 1}}),
            [](const Params& p, double w) {
                return p[1] + I * w * p[3] + par({cap(p[2], w), deAt(p, 10, w), p[4] + deAt(p, 15, w)})
                    + deAt(p, 20, w);
            }},
        {'D', params({{1, 3}, {2, 1e-2}, {3, 1e-6}, {4, 10}, {5, 1e-6}, {6, 20}, {7, 1e-5}, {8, 30}, {9, 1e-4},
                  {10, 40}, {11, 1e-3}, {12, 50}, {13, 1e-2}, {16, 30}, {17, 1e-3}, {19, 0.8}, {20, 5}}),
            [](const Params& p, double w) {
                Complex z = p[1] + I * w * p[3] + cap(p[2], w);
                for (int k = 4; k <= 12; k += 2)
                    z += par({p[k], cap(p[k + 1], w)});
                return z + deAt(p, 20, w);
            }},
        {'E', params({{1, 20}, {2, 1e-4}, {5, 1}, {6, 30}, {7, 1e-5}, {9, 0.7}, {10, 3}, {11, 15}, {12, 1e-2},
                  {13, 0.6}, {14, 0.8}, {15, 6}, {16, 8}, {17, 1e-3}, {19, 0.55}, {20, 7}, {21, 50}, {22, 1e-6},
                  {23, 300}, {24, 0.02}, {25, 17}, {26, 2}, {27, 3e-6}, {28, 5e-3}}),
            [](const Params& p, double w) {
                return deAt(p, 5, w) + deAt(p, 10, w) + deAt(p, 15, w) + deAt(p, 20, w) + deAt(p, 25, w) + p[26]
                    + I * w * p[27] + cap(p[28], w);
            }},
        {'F', params({{1, 1e4}, {2, 1e-9}, {3, 200}, {4, 500}, {5, 30}, {6, 1e3}, {7, 1e-4}, {10, 1}, {11, 2e3},
                  {12, 1e-6}, {14, 0.75}, {15, 3}}),
            [](const Params& p, double w) {
                return p[5] + par({p[1], cap(p[2], w), p[3] + deAt(p, 10, w), p[4] + deAt(p, 15, w)});
            }},
        {'G', params({{1, 2}, {3, 1e-6}, {4, 80}, {5, 1e-3}, {6, 500}, {7, 0.85}}),
            [](const Params& p, double w) {
                const Complex z = par({p[6], cpe(p[5], p[7], w)});
                return p[1] + I * w * p[3] + std::sqrt(p[4] * z) / std::tanh(std::sqrt(p[4] / z));
            }},
        {'H', params({{1, 1e5}, {2, 1e-9}, {4, 0.9}, {5, 3}, {6, 3e5}, {7, 1e-3}, {9, 0.7}, {10, 5}, {11, 100},
                  {12, 1e-11}, {13, 1e-7}, {14, 1e-9}}),
            [](const Params& p, double w) {
                return p[11] + I * w * p[13] + par({cap(p[12], w), deAt(p, 5, w)})
                    + par({cap(p[14], w), deAt(p, 10, w)});
            }},
        {'I', params({{1, 4}, {2, 2e-5}, {3, 1e-7}, {4, 25}, {6, 300}, {7, 15}}),
            [](const Params& p, double w) {
                return p[1] + I * w * p[3] + par({cap(p[2], w), p[4] + p[6] / std::sqrt(p[7] + I * w)});
            }},
        {'J', params({{1, 3}, {2, 1e-6}, {3, 1e-7}, {4, 50}, {5, 1e-4}, {6, 200}, {7, 1e-4}, {10, 1}, {11, 80},
                  {12, 0.2}, {14, 0.5}, {15, 9}, {17, 3e-3}, {19, 0.9}, {20, 2}, {21, 20}, {22, 1.0}, {24, 0.5},
                  {25, 16}}),
            [](const Params& p, double w) {
                return p[1] + I * w * p[3]
                    + par({cap(p[2], w),
                        p[4] + deAt(p, 10, w) + par({cap(p[5], w), deAt(p, 15, w) + deAt(p, 20, w)})})
                    + deAt(p, 25, w);
            }},
        {'K', [] {
             Params p = params({{1, 1}, {2, 5e-2}, {3, 1e-7}, {23, 9}, {24, 2e-3}, {26, 0.6}, {27, 5}});
             for (int k = 4; k <= 20; k += 2) {
                 p[k] = 5.0 + k;
                 p[k + 1] = 1e-7 * std::pow(3.0, k / 2);
             }
             return p;
         }(),
            [](const Params& p, double w) {
                Complex z = p[1] + I * w * p[3] + cap(p[2], w);
                for (int k = 4; k <= 20; k += 2)
                    z += par({p[k], cap(p[k + 1], w)});
                return z + deAt(p, 27, w);
            }},
        {'O', params({{1, 1e6}, {2, 4.5}, {5, 1e8}, {6, 1e-2}, {8, 0.7}, {9, 0.6}, {10, 6}, {16, 1e7}, {17, 1e-4},
                  {18, 0.5}, {19, 0.8}, {20, 6}, {22, 1e-7}, {24, 0.9}, {25, 2}}),
            [](const Params& p, double w) {
                const Complex conductive = p[1] + de(static_cast<int>(p[10]), p[5], p[6], p[8], p[9], w);
                return par({1.0 / (I * w * p[2] * kCelcap), conductive, deAt(p, 20, w)}) + deAt(p, 25, w);
            }},
        {'R', params({{1, 10}, {2, 2e-5}, {3, 1e-6}, {4, 100}, {5, 35}}),
            [](const Params& p, double w) {
                return p[1] + I * w * p[3] + par({cap(p[2], w), p[4] + p[5] * std::sqrt(2.0) / std::sqrt(I * w)});
            }},
        {'S', params({{1, 0.015}, {3, 2e-7}, {4, 0.01}, {5, 2.0}, {6, 0.85}, {7, 0.02}, {8, 40}, {9, 0.7},
                  {10, 800}, {11, 0.9}}),
            [](const Params& p, double w) {
                return p[1] + I * w * p[3] + par({p[4], cpe(p[5], p[6], w)}) + par({p[7], cpe(p[8], p[9], w)})
                    + cpe(p[10], p[11], w);
            }},
        {'T', params({{1, 0.02}, {2, 3.0}, {3, 1e-7}, {4, 0.015}, {5, 0.8}, {6, 0.05}, {7, 40}}),
            [](const Params& p, double w) {
                const Complex u = std::sqrt(I * w * p[7]);
                return p[1] + I * w * p[3] + par({cpe(p[2], p[5], w), p[4] + p[6] * std::tanh(u) / u});
            }},
    };
}

} // namespace nosk::test::circuits
