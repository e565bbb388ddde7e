#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace nosk::series {

// What a free parameter of the template is over a series of spectra: one
// value per spectrum (local), one value for all (shared), or a function of
// the covariate x whose coefficients are fitted.
enum class Role {
    Local,
    Shared,
    Arrhenius,    // p = A exp(Ea / (kB T)), Ea in eV, x = T in K
    Vft,          // p = A exp(B / (T - T0)), B and T0 in K
    Linear,       // p = a + b x
    Quadratic,    // p = a + b x + c x^2
    Exponential,  // p = A exp(b x)
};

// Boltzmann's constant in eV/K.
inline constexpr double kBoltzmannEv = 8.617333262e-5;

// "local", "shared", "arrhenius", "vft", "linear", "quadratic",
// "exponential" (any case); nullopt for another word.
std::optional<Role> roleOfName(std::string_view name);
const char* roleName(Role role);
bool isFunction(Role role);
// The covariate must be an absolute temperature (K, positive).
bool needsTemperature(Role role);
// The fitted coefficients of a role (0 for local, 1 for shared).
int coefficientCount(Role role);
// The names of a function's coefficients as reported: {"A", "Ea"}, ...
std::vector<std::string> coefficientNames(Role role);

// A function of the covariate in the fitter's own coefficients c, which
// are centred on the series' mean covariate so that the coefficients are
// nearly independent (for Arrhenius: ln p at the mean 1/T and the slope).
// `report` turns them into the published coefficients (A, Ea, ...).
class RoleFunction {
public:
    RoleFunction(Role role, double centre) : m_role(role), m_centre(centre) {}

    Role role() const { return m_role; }
    int count() const { return coefficientCount(m_role); }
    // p at x; with grad (count() entries), dp/dc as well.
    double value(const double* c, double x, double* grad = nullptr) const;
    // The published coefficients and their Jacobian d(out)/d(c), count() x
    // count() row-major.
    void report(const double* c, double* out, double* jacobian) const;
    // The coefficients of a weighted regression of the values p at x
    // (weights w, 1/variance of ln p for the exponential forms and of p
    // for the polynomials; 0 leaves a value out). Empty when the values
    // cannot carry the function (too few, or not positive for a form that
    // is).
    std::vector<double> regression(const std::vector<double>& x, const std::vector<double>& p,
        const std::vector<double>& w) const;
    // Whether the function is an exponential (its p stays positive) and so
    // is regressed and reported on ln p.
    bool logarithmic() const;

private:
    // The transformed covariate the function is linear or quadratic in.
    double u(double x) const;
    Role m_role;
    double m_centre;
};

} // namespace nosk::series
