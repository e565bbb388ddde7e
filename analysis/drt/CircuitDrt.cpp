#include "CircuitDrt.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <set>
#include <stdexcept>

namespace nosk::drt {

using std::numbers::pi;
using model::Circuit;
using model::CircuitNode;
using model::ElementKind;
using cd = std::complex<double>;

namespace {

// Enough of a Warburg's lines that those left out hold a thousandth of its
// resistance (about 2 R / (pi^2 K)).
constexpr int kWarburgLines = 1000;

// Z = integral of gamma / (1 + i w tau) d ln tau by the trapezoidal rule over
// [lo, hi] in ln tau, for the shapes without a handy closed form.
template <class G>
cd quadrature(G gamma, double omega, double lo, double hi, double step)
{
    const int n = std::max(2, static_cast<int>(std::ceil((hi - lo) / step)));
    const double h = (hi - lo) / n;
    cd sum = 0;
    for (int i = 0; i <= n; ++i) {
        const double tau = std::exp(lo + i * h);
        sum += (i == 0 || i == n ? 0.5 : 1.0) * gamma(tau) / cd(1, omega * tau);
    }
    return sum * h;
}

// What a branch of a par(...) is, when it is simple enough to merge.
struct Simple {
    enum Kind { Short, Absent, Resistor, Capacitor, Cpe, Other } kind = Other;
    double value = 0;  // R, C, or the CPE's Q
    double alpha = 1;  // the CPE's exponent
};

class Mapper {
public:
    Mapper(const Circuit& c, const double* p, const int* nfree, double celcap)
        : m_c(c), m_p(p), m_nfree(nfree), m_celcap(celcap)
    {
    }

    CircuitDrt run()
    {
        if (!m_c.nodes().empty())
            collect(m_c.root());
        m_out.seriesCapacitance = m_inverseC > 0 ? 1 / m_inverseC : 0;
        return std::move(m_out);
    }

private:
    double value(int ref) const { return ref >= 0 ? m_p[ref] : 0.0; }

    // "p4, p5, p6": the parameters below a node.
    void gather(int index, std::set<int>& refs) const
    {
        const CircuitNode& n = m_c.node(index);
        for (int k = 0; k < Circuit::refCount(n.kind); ++k)
            if (n.ref[k] >= 0)
                refs.insert(n.ref[k] + 1);
        for (int k = 0; k < n.childCount; ++k)
            gather(m_c.child(n, k), refs);
    }
    std::string label(int index, const std::string& what) const
    {
        std::set<int> refs;
        gather(index, refs);
        std::string s;
        for (int r : refs)
            s += (s.empty() ? "p" : ", p") + std::to_string(r);
        return s.empty() ? what : s + ": " + what;
    }

    static const char* kindName(ElementKind k)
    {
        switch (k) {
        case ElementKind::Q: return "Q";
        case ElementKind::W: return "W";
        case ElementKind::G: return "G";
        case ElementKind::TLM: return "TLM";
        case ElementKind::E: return "E";
        case ElementKind::Parallel: return "par(...)";
        default: return "element";
        }
    }

    void numerical(int index, const std::string& what) { m_out.numericalElements.push_back(label(index, what)); }

    void addPart(CircuitPart part, int index, const std::string& what)
    {
        part.label = label(index, what);
        // The limits that are other shapes: an exponent of 1 is a single line.
        using S = CircuitPart::Shape;
        if (part.shape == S::HavriliakNegami && part.a >= 1) {
            part.shape = S::DavidsonCole;
            part.a = part.b;
        } else if (part.shape == S::HavriliakNegami && part.b >= 1) {
            part.shape = S::Zarc;
        }
        if ((part.shape == S::Zarc || part.shape == S::DavidsonCole) && part.a >= 1) {
            part.shape = S::Lines;
            part.lines = {{part.tau0, part.r}};
        }
        m_out.parts.push_back(std::move(part));
    }

    Simple simple(int index) const
    {
        const CircuitNode& n = m_c.node(index);
        Simple s;
        switch (n.kind) {
        case ElementKind::R:
            s.value = value(n.ref[0]);
            s.kind = s.value == 0 ? Simple::Short : Simple::Resistor;
            return s;
        case ElementKind::C:
        case ElementKind::E:
            s.value = value(n.ref[0]) * (n.kind == ElementKind::E ? m_celcap : 1.0);
            s.kind = value(n.ref[0]) == 0 ? Simple::Absent : Simple::Capacitor;
            return s;
        case ElementKind::Q:
            s.value = value(n.ref[0]);
            s.alpha = value(n.ref[1]);
            s.kind = s.value == 0 ? Simple::Absent : Simple::Cpe;
            return s;
        case ElementKind::DE:
            if (std::lround(value(n.ref[0])) == 0)
                s.kind = Simple::Short;
            return s;
        case ElementKind::Series: {
            // Resistors (and short circuits) in series are one resistor.
            double r = 0;
            bool any = false;
            for (int k = 0; k < n.childCount; ++k) {
                const Simple c = simple(m_c.child(n, k));
                if (c.kind == Simple::Absent)
                    continue;
                if (c.kind != Simple::Short && c.kind != Simple::Resistor)
                    return Simple{};
                r += c.value;
                any = true;
            }
            if (!any)
                s.kind = Simple::Absent;
            else
                s = {r == 0 ? Simple::Short : Simple::Resistor, r, 1};
            return s;
        }
        default:
            return s;
        }
    }

    void collect(int index)
    {
        const CircuitNode& n = m_c.node(index);
        switch (n.kind) {
        case ElementKind::Series:
            for (int k = 0; k < n.childCount; ++k)
                collect(m_c.child(n, k));
            return;
        case ElementKind::Parallel:
            parallel(index);
            return;
        case ElementKind::R:
            m_out.seriesResistance += value(n.ref[0]);
            return;
        case ElementKind::L:
            m_out.seriesInductance += value(n.ref[0]);
            return;
        case ElementKind::C:
        case ElementKind::E: {
            const Simple s = simple(index);
            if (s.kind == Simple::Capacitor && s.value > 0)
                m_inverseC += 1 / s.value;
            else if (s.kind == Simple::Capacitor)
                numerical(index, kindName(n.kind));
            return;
        }
        case ElementKind::Ws:
        case ElementKind::Wo:
            warburg(index, n.kind == ElementKind::Wo, value(n.ref[0]), value(n.ref[1]),
                    n.kind == ElementKind::Wo ? "Wo" : "Ws");
            return;
        case ElementKind::DE:
            de(index);
            return;
        default:
            // A CPE in series, the semi-infinite Warburg, the Gerischer and
            // the transmission line have no DRT in closed form here.
            if (simple(index).kind != Simple::Absent)
                numerical(index, kindName(n.kind));
            return;
        }
    }

    void warburg(int index, bool reflecting, double r, double t, const std::string& what)
    {
        if (r == 0)
            return;
        if (!(r > 0) || !(t > 0)) {
            numerical(index, what);
            return;
        }
        CircuitPart part;
        part.shape = reflecting ? CircuitPart::Shape::FiniteSpaceWarburg : CircuitPart::Shape::FiniteWarburg;
        part.r = r;
        part.tau0 = t;
        part.lines = reflecting ? finiteSpaceWarburgLines(r, t, kWarburgLines) : finiteWarburgLines(r, t, kWarburgLines);
        if (reflecting)
            m_inverseC += r / t;
        addPart(std::move(part), index, what + " (lines)");
    }

    void de(int index)
    {
        const CircuitNode& n = m_c.node(index);
        const int number = static_cast<int>(std::lround(value(n.ref[0])));
        if (number == 0)
            return;
        const double r = value(n.ref[1]), t = value(n.ref[2]), u = value(n.ref[3]), phi = value(n.ref[4]);
        const std::string what = "DE " + std::to_string(number);
        // A subtracted DE has no DRT of its own.
        if (n.ref[0] >= 0 && m_nfree && m_nfree[n.ref[0]] == 3) {
            numerical(index, what + " (subtracted)");
            return;
        }
        if (r == 0 && number != 2)
            return;  // R = 0: these DEs are short circuits
        auto in01 = [](double x) { return x > 0 && x <= 1; };
        CircuitPart part;
        part.r = r;
        using S = CircuitPart::Shape;
        bool known = r > 0 && t > 0;
        switch (number) {
        case 1:  // R / (1 + i w R T): an RC
            part.shape = S::Lines;
            part.lines = {{r * t, r}};
            addPart(std::move(part), index, what + " (RC)");
            return;
        case 3:  // R / (1 + R T (i w)^PHI)
        case 4:  // R / (1 + R^U T (i w)^PHI)
        case 5:  // R / (1 + (i w T)^PHI)
            known = known && in01(phi);
            if (known) {
                part.shape = S::Zarc;
                part.a = phi;
                part.tau0 = number == 5 ? t : std::pow((number == 3 ? r : std::pow(r, u)) * t, 1 / phi);
                known = std::isfinite(part.tau0) && part.tau0 > 0;
            }
            if (known) {
                addPart(std::move(part), index, what + " (ZARC)");
                return;
            }
            break;
        case 6:  // R / (1 + (i w T)^U)^PHI
        case 8:  // the same with T at the loss peak: tau0 = k T
            known = known && in01(u) && phi > 0 && u * phi <= 1;
            if (known) {
                part.shape = S::HavriliakNegami;
                part.a = u;
                part.b = phi;
                part.tau0 = t;
                if (number == 8)
                    part.tau0 *= std::pow(std::sin(pi * u / (2 * phi + 2)) / std::sin(pi * u * phi / (2 * phi + 2)),
                                          1 / u);
                addPart(std::move(part), index, what + " (Havriliak-Negami)");
                return;
            }
            break;
        case 7:  // R / (1 + i w T)^PHI
            if (known && in01(phi)) {
                part.shape = S::DavidsonCole;
                part.a = phi;
                part.tau0 = t;
                addPart(std::move(part), index, what + " (Davidson-Cole)");
                return;
            }
            break;
        case 9:   // R tanh((i w T)^PHI) / (i w T)^PHI: lines at PHI = 1/2
        case 16:  // the coth form
            if (known && phi == 0.5) {
                warburg(index, number == 16, r, t, what);
                return;
            }
            break;
        case 14:  // the log-normal DRT (U = 0: the frequency response)
            if (known && u == 0 && phi > 0) {
                part.shape = S::LogNormal;
                part.a = phi;
                part.tau0 = t;
                addPart(std::move(part), index, what + " (log-normal)");
                return;
            }
            break;
        case 32:  // KWW at beta = 1/2, the form applied to Z (U = 0)
            if (known && u == 0) {
                part.shape = S::KwwHalf;
                part.tau0 = t;
                addPart(std::move(part), index, what + " (KWW 1/2)");
                return;
            }
            break;
        default:
            break;
        }
        numerical(index, what);
    }

    void parallel(int index)
    {
        const CircuitNode& n = m_c.node(index);
        std::vector<int> present;
        std::vector<Simple> kinds;
        for (int k = 0; k < n.childCount; ++k) {
            const int child = m_c.child(n, k);
            const Simple s = simple(child);
            if (s.kind == Simple::Short)
                return;  // the whole group is a short circuit
            if (s.kind == Simple::Absent)
                continue;
            present.push_back(child);
            kinds.push_back(s);
        }
        if (present.empty())
            return;
        if (present.size() == 1) {
            collect(present[0]);  // one branch left: it stands in series
            return;
        }
        double g = 0, c = 0;
        int resistors = 0, capacitors = 0, cpes = 0;
        Simple cpe;
        for (const Simple& s : kinds) {
            if (s.kind == Simple::Resistor) {
                g += 1 / s.value;
                ++resistors;
            } else if (s.kind == Simple::Capacitor) {
                c += s.value;
                ++capacitors;
            } else if (s.kind == Simple::Cpe) {
                cpe = s;
                ++cpes;
            } else {
                numerical(index, "par(...)");
                return;
            }
        }
        const double r = resistors > 0 ? 1 / g : 0;
        CircuitPart part;
        part.r = r;
        if (resistors > 0 && cpes == 0 && capacitors > 0 && r > 0 && c > 0) {
            part.shape = CircuitPart::Shape::Lines;
            part.lines = {{r * c, r}};
            addPart(std::move(part), index, "R || C");
        } else if (resistors > 0 && cpes == 1 && capacitors == 0 && r > 0 && cpe.value > 0 && cpe.alpha > 0 &&
                   cpe.alpha <= 1) {
            // R / (1 + R Q (i w)^alpha): a ZARC of tau0 = (R Q)^(1 / alpha).
            part.shape = CircuitPart::Shape::Zarc;
            part.a = cpe.alpha;
            part.tau0 = std::pow(r * cpe.value, 1 / cpe.alpha);
            addPart(std::move(part), index, "R || Q (ZARC)");
        } else if (cpes == 0 && capacitors == 0) {
            m_out.seriesResistance += r;
        } else if (resistors == 0 && cpes == 0 && c > 0) {
            m_inverseC += 1 / c;
        } else {
            numerical(index, "par(...)");
        }
    }

    const Circuit& m_c;
    const double* m_p;
    const int* m_nfree;
    double m_celcap;
    double m_inverseC = 0;
    CircuitDrt m_out;
};

} // namespace

double CircuitPart::gamma(double tau, double lineWidth) const
{
    using S = Shape;
    switch (shape) {
    case S::Zarc: return zarcGamma(r, tau0, a, tau);
    case S::HavriliakNegami: return havriliakNegamiGamma(r, tau0, a, b, tau);
    case S::DavidsonCole: return davidsonColeGamma(r, tau0, a, tau);
    case S::KwwHalf: return kwwHalfGamma(r, tau0, tau);
    case S::LogNormal: return logNormalGamma(r, tau0, a, tau);
    default: break;
    }
    const double sigma = std::max(lineWidth, 1e-6) / (2 * std::sqrt(2 * std::log(2.0)));
    const double u = std::log(tau);
    double g = 0;
    for (const Line& l : lines) {
        const double y = (u - std::log(l.tau)) / sigma;
        if (std::abs(y) < 40)
            g += l.resistance * std::exp(-0.5 * y * y);
    }
    return g / (sigma * std::sqrt(2 * pi));
}

cd CircuitPart::impedance(double omega) const
{
    using S = Shape;
    switch (shape) {
    case S::Zarc: return zarcImpedance(r, tau0, a, omega);
    case S::HavriliakNegami: return havriliakNegamiImpedance(r, tau0, a, b, omega);
    case S::DavidsonCole: return davidsonColeImpedance(r, tau0, a, omega);
    case S::FiniteWarburg:
    case S::FiniteSpaceWarburg: {
        const cd s = std::sqrt(cd(0, omega * tau0));
        if (std::abs(s) < 1e-4)  // the series' first terms: R (1 - s^2 / 3), and for coth R / 3 beyond the C
            return shape == S::FiniteWarburg ? r * (1.0 - s * s / 3.0) : cd(r / 3.0);
        if (shape == S::FiniteWarburg)
            return r * std::tanh(s) / s;
        return r / (std::tanh(s) * s) - 1.0 / cd(0, omega * tau0 / r);
    }
    case S::KwwHalf: {
        const double l0 = std::log(tau0);
        return quadrature([&](double t) { return kwwHalfGamma(r, tau0, t); }, omega, l0 - 46, l0 + 7, 0.02);
    }
    case S::LogNormal: {
        const double l0 = std::log(tau0);
        return quadrature([&](double t) { return logNormalGamma(r, tau0, a, t); }, omega, l0 - 12 * a, l0 + 12 * a,
                          std::min(0.05, a / 4));
    }
    case S::Lines: break;
    }
    cd z = 0;
    for (const Line& l : lines)
        z += l.resistance / cd(1, omega * l.tau);
    return z;
}

double CircuitDrt::gamma(double tau, double lineWidth) const
{
    double g = hasNumerical ? gammaAt(numerical, tau) : 0;
    for (const CircuitPart& p : parts)
        g += p.gamma(tau, lineWidth);
    return g;
}

CircuitDrt circuitDrt(const Circuit& circuit, const double* p, const int* nfree, double celcap,
                      const std::function<cd(double)>& model, double fMinHz, double fMaxHz, const Options& options,
                      int pointsPerDecade)
{
    CircuitDrt out = Mapper(circuit, p, nfree, celcap).run();
    if (out.numericalElements.empty() || !model || !(fMinHz > 0) || !(fMaxHz > fMinHz) || !std::isfinite(fMaxHz))
        return out;
    // The rest of the model: what the parts and the series terms leave.
    const double decades = std::log10(fMaxHz / fMinHz);
    const int n = std::max(10, static_cast<int>(std::ceil(decades * std::max(1, pointsPerDecade))) + 1);
    std::vector<double> f;
    std::vector<cd> z;
    for (int i = 0; i < n; ++i) {
        const double fi = fMaxHz * std::pow(fMinHz / fMaxHz, static_cast<double>(i) / (n - 1));
        const double w = 2 * pi * fi;
        cd rest = model(w) - out.seriesResistance - cd(0, w * out.seriesInductance);
        if (out.seriesCapacitance > 0)
            rest -= 1.0 / cd(0, w * out.seriesCapacitance);
        for (const CircuitPart& part : out.parts)
            rest -= part.impedance(w);
        if (!std::isfinite(rest.real()) || !std::isfinite(rest.imag()))
            continue;  // a point the model cannot give
        f.push_back(fi);
        z.push_back(rest);
    }
    try {
        out.numerical = compute(f, z, options);
        out.hasNumerical = true;
    } catch (const std::invalid_argument&) {
        // Too few points left, or a rest that is zero: nothing to show.
    }
    return out;
}

} // namespace nosk::drt
