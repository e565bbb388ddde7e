#pragma once

#include <limits>

namespace nosk::engine {

// How the fitter's unbounded variable x carries one free parameter p, so
// that p stays where the job allows it. The fitter (and a search over start
// values) works on x; everything the user sees is p.
//
// NFREE 1 fits u = ln p, NFREE 2 fits u = p. Limits bound u (for NFREE 1 the
// logarithms of the limits; a lower limit of 0 is no bound on ln p):
// - both limits:      u = lo + (hi - lo) s(x), s the logistic 1/(1 + e^-x);
// - a lower limit:    u = lo + w softplus(x), softplus(x) = ln(1 + e^x);
// - an upper limit:   u = hi - w softplus(-x);
// - none:             u = x.
// Every form is smooth and increasing; far from a one-sided limit u moves
// like x times w. w is 1 for ln p, and for p the start's distance from its
// limit, so x starts near 0.5 whatever the parameter's unit. ln p stays
// within [kMinLog, kMaxLog], so that p is a normal, positive double.
class ParameterMap {
public:
    static constexpr double kMinLog = -708.0;
    static constexpr double kMaxLog = 709.0;
    // A value on a limit is moved inside by this part of the range (of the
    // start's distance, for a one-sided limit; of 1 in ln p), so that its
    // variable is finite and the fitter can move it.
    static constexpr double kInset = 1e-3;

    // A parameter of any sign without limits: p = x.
    ParameterMap() = default;
    // `lower`, `upper`: the limits of p, infinite for none. `start` lies
    // within them (or within rounding of one), and for NFREE 2 with one
    // limit of 0 not on it; PreparedJob checks that.
    ParameterMap(bool positive, double lower, double upper, double start);

    bool positive() const { return m_positive; }
    bool bounded() const { return m_form != Form::Free; }
    double lower() const { return m_lower; }  // -infinity: none
    double upper() const { return m_upper; }  // +infinity: none

    // p of the variable x.
    double param(double x) const;
    // dp/dx at x (0 where ln p is held at kMinLog or kMaxLog).
    double derivative(double x) const;
    // The variable of p. A p on a limit, or beyond it, is taken as the
    // point kInset inside (param(variable(p)) then differs from p there).
    double variable(double p) const;

private:
    enum class Form { Free, Both, Lower, Upper };
    double u(double x) const;
    double dudx(double x) const;

    Form m_form = Form::Free;
    bool m_positive = false;
    double m_lower = -std::numeric_limits<double>::infinity();
    double m_upper = std::numeric_limits<double>::infinity();
    double m_lo = 0, m_hi = 0;  // the limits of u
    double m_width = 1;         // w of a one-sided limit
};

// Whether a fitted parameter ends held by one of its limits: -1 by the
// lower, +1 by the upper, 0 by neither. `column` is the parameter's column
// of the Jacobian of the K weighted residuals r with respect to p itself.
// The fit is held when p lies on the limit, or when the step that would
// lower S along p alone points beyond the limit and is longer than p's
// distance to it (at a free minimum that step is near 0).
int limitReached(const ParameterMap& map, double p, const double* column, const double* r, int K);

} // namespace nosk::engine
