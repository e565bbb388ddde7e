#pragma once

#include <limits>

namespace nosk::engine {

// How the fitter's unbounded variable x carries one free parameter p, so
// that p stays where the job allows it. The fitter (and a search over start
// values) works on x; everything the user sees is p.
//
// NFREE 1 fits u = ln p, NFREE 2 fits u = p. Limits bound u (for NFREE 1 the
// logarithms of the limits; a lower limit of 0 is no bound on ln p). Without
// limits u = x. With limits, u = c + f(x - c), where c is the start's u (moved
// inside a limit it lies on) and f bends away from each limit by its own
// distance d from c:
//   f(t) = d tanh(t / d)     towards a limit at c + d (t >= 0),
//   f(t) = -d tanh(-t / d)   towards a limit at c - d (t < 0),
//   f(t) = t                 on a side without a limit.
// So near the start the map is the unlimited one (slope 1, curvature 0 at c,
// smooth to the second derivative), and a limit far away changes nothing:
// no difference of the limits is ever formed, so neither their width nor a
// limit near the largest double costs p a digit or overflows. Within half
// the distance of a limit u is written from that limit, so that it keeps its
// digits there too. ln p stays within [kMinLog, kMaxLog], so that p is a
// normal, positive double.
class ParameterMap {
public:
    static constexpr double kMinLog = -708.0;
    static constexpr double kMaxLog = 709.0;
    // A value on a limit is moved inside by this part of its distance from
    // the start (a start on a limit by this part of the range, of the limit's
    // size or of 1 in ln p), so that its variable is finite and the fitter
    // can move it.
    static constexpr double kInset = 1e-3;

    // A parameter of any sign without limits: p = x.
    ParameterMap() = default;
    // `lower`, `upper`: the limits of p, infinite for none. `start` lies
    // within them (or within rounding of one), and for NFREE 2 with one
    // limit of 0 not on it; PreparedJob checks that.
    ParameterMap(bool positive, double lower, double upper, double start);

    bool positive() const { return m_positive; }
    bool bounded() const { return m_bounded; }
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
    double u(double x) const;
    double dudx(double x) const;

    bool m_bounded = false;
    bool m_positive = false;
    double m_lower = -std::numeric_limits<double>::infinity();
    double m_upper = std::numeric_limits<double>::infinity();
    double m_lo = 0, m_hi = 0;  // the limits of u
    double m_centre = 0;        // c
    // Half the distances c - lo and hi - c (infinite for no limit); halves,
    // so that limits near the largest double do not overflow.
    double m_halfBelow = 0, m_halfAbove = 0;
};

// Whether a fitted parameter ends held by one of its limits: -1 by the
// lower, +1 by the upper, 0 by neither. `column` is the parameter's column
// of the Jacobian of the K weighted residuals r with respect to p itself.
// The fit is held when p lies on the limit, or when the step that would
// lower S along p alone points beyond the limit and is longer than p's
// distance to it (at a free minimum that step is near 0).
int limitReached(const ParameterMap& map, double p, const double* column, const double* r, int K);

} // namespace nosk::engine
