#include "CircuitEvaluator.h"

#include "de/DeMath.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace nosk::engine {

namespace {

constexpr double kHalfPi = 1.57079632679489661923;
constexpr double kInf = std::numeric_limits<double>::infinity();

// par(...) per point: the branches combine normally, or one branch stands
// for the group (the only branch with an admittance, or the only short).
constexpr int kCombined = -1;
constexpr int kNoDerivative = -2;

using de::inverse;

// a b without the library's care for infinities (the derivative loops meet
// only finite factors; non-finite results are caught by the fitter anyway).
inline Complex times(Complex a, Complex b)
{
    return {a.real() * b.real() - a.imag() * b.imag(), a.real() * b.imag() + a.imag() * b.real()};
}

inline bool isInfinite(Complex z)
{
    return std::isinf(z.real()) || std::isinf(z.imag());
}

// tanh(u)/u and its derivative with respect to s = u^2.
inline void tanhOverRoot(Complex s, Complex& f, Complex& df)
{
    if (std::abs(s) < 1e-3) {
        f = 1.0 + s * (-1.0 / 3 + s * (2.0 / 15 + s * (-17.0 / 315 + s * (62.0 / 2835))));
        df = -1.0 / 3 + s * (4.0 / 15 + s * (-51.0 / 315 + s * (248.0 / 2835)));
        return;
    }
    const Complex u = std::sqrt(s), t = std::tanh(u);
    f = t / u;
    df = ((1.0 - t * t) * u - t) / (2.0 * u * s);
}

// coth(u)/u and its derivative with respect to s = u^2 (s = 0: infinite).
inline void cothOverRoot(Complex s, Complex& g, Complex& dg)
{
    if (s == 0.0) {
        g = {kInf, 0.0};
        dg = {-kInf, 0.0};
        return;
    }
    if (std::abs(s) < 1e-3) {
        const Complex is = 1.0 / s;
        g = is + 1.0 / 3 + s * (-1.0 / 45 + s * (2.0 / 945 + s * (-1.0 / 4725)));
        dg = -is * is - 1.0 / 45 + s * (4.0 / 945 + s * (-3.0 / 4725));
        return;
    }
    const Complex u = std::sqrt(s), t = std::tanh(u), c = 1.0 / t;
    const Complex csch2 = (1.0 - t * t) / (t * t);
    g = c / u;
    dg = (-csch2 * u - c) / (2.0 * u * s);
}

} // namespace

CircuitEvaluator::CircuitEvaluator(const ModelFunction& model, int points, const std::vector<int>& active)
    : m_model(model), m_circuit(model.definition()), m_points(points), m_activeCount(static_cast<int>(active.size())),
      m_nodes(model.definition().nodes().size()), m_root(points), m_zero(points)
{
    int activeOf[ModelFunction::kMaxParams];
    std::fill(std::begin(activeOf), std::end(activeOf), -1);
    for (int j = 0; j < m_activeCount; ++j)
        if (active[j] >= 0 && active[j] < ModelFunction::kMaxParams)
            activeOf[active[j]] = j;

    const std::size_t M = static_cast<std::size_t>(points);
    for (int i = 0; i < static_cast<int>(m_nodes.size()); ++i) {
        const CircuitNode& n = m_circuit.node(i);
        NodeData& d = m_nodes[i];
        d.value.resize(M);
        // The parameters this node holds itself, then those of its children.
        std::vector<int> deps;
        const int refs = n.kind == ElementKind::DE ? 5 : Circuit::refCount(n.kind);
        for (int k = n.kind == ElementKind::DE ? 1 : 0; k < refs; ++k)
            if (n.ref[k] >= 0 && activeOf[n.ref[k]] >= 0)
                deps.push_back(activeOf[n.ref[k]]);
        for (int c = 0; c < n.childCount; ++c) {
            const NodeData& child = m_nodes[m_circuit.child(n, c)];
            deps.insert(deps.end(), child.deps.begin(), child.deps.end());
        }
        std::sort(deps.begin(), deps.end());
        deps.erase(std::unique(deps.begin(), deps.end()), deps.end());
        d.deps = deps;
        auto position = [&deps](int j) {
            return static_cast<int>(std::lower_bound(deps.begin(), deps.end(), j) - deps.begin());
        };
        for (int k = 0; k < 5; ++k)
            if (n.ref[k] >= 0 && activeOf[n.ref[k]] >= 0 && !(n.kind == ElementKind::DE && k == 0))
                d.refPos[k] = position(activeOf[n.ref[k]]);
        d.childPos.resize(n.childCount);
        for (int c = 0; c < n.childCount; ++c) {
            NodeData& child = m_nodes[m_circuit.child(n, c)];
            for (int j : child.deps)
                d.childPos[c].push_back(position(j));
            // A capacitive branch of a par(...) gives its admittance directly.
            const ElementKind kind = m_circuit.node(m_circuit.child(n, c)).kind;
            if (n.kind == ElementKind::Parallel
                && (kind == ElementKind::C || kind == ElementKind::E || kind == ElementKind::Q))
                child.admittance = true;
        }
        d.der.resize(deps.size() * M);
        if (n.kind == ElementKind::Parallel) {
            d.factor.resize(static_cast<std::size_t>(n.childCount) * M);
            d.mode.resize(M);
        }
        if (n.kind == ElementKind::DE)
            d.scratch.resize(4 * M);
    }
    m_rootPos.assign(m_activeCount, -1);
    if (!m_nodes.empty()) {
        const NodeData& root = m_nodes.back();
        for (std::size_t k = 0; k < root.deps.size(); ++k)
            m_rootPos[root.deps[k]] = static_cast<int>(k);
    }
}

const Complex* CircuitEvaluator::derivative(int j) const
{
    if (j < 0 || j >= m_activeCount || m_rootPos[j] < 0 || m_nodes.back().absent)
        return nullptr;
    return m_nodes.back().der.data() + static_cast<std::size_t>(m_rootPos[j]) * m_points;
}

bool CircuitEvaluator::evaluate(const double* p, const double* omega, const double* lnOmega, bool derivatives)
{
    m_failedSlot = -1;
    const int count = static_cast<int>(m_nodes.size());
    for (int i = 0; i < count; ++i) {
        NodeData& d = m_nodes[i];
        d.absent = false;
        if (derivatives)
            std::fill(d.der.begin(), d.der.end(), Complex());
        switch (m_circuit.node(i).kind) {
        case ElementKind::Series:
            evaluateSeries(i, derivatives);
            break;
        case ElementKind::Parallel:
            evaluateParallel(i, derivatives);
            break;
        case ElementKind::TLM:
            evaluateTlm(i, p, derivatives);
            break;
        case ElementKind::DE:
            if (!evaluateDe(i, p, omega, lnOmega, derivatives)) {
                m_failedSlot = m_model.slotOfNode(i);
                return false;
            }
            break;
        default:
            evaluateElement(i, p, omega, lnOmega, derivatives);
            break;
        }
    }
    const NodeData& root = m_nodes.back();
    if (root.absent)
        std::fill(m_root.begin(), m_root.end(), Complex());
    else if (root.admittance)
        for (int i = 0; i < m_points; ++i)
            m_root[i] = inverse(root.value[i]);
    else
        std::copy(root.value.begin(), root.value.end(), m_root.begin());
    return true;
}

void CircuitEvaluator::evaluateElement(int index, const double* p, const double* omega, const double* lnOmega,
    bool derivatives)
{
    const CircuitNode& n = m_circuit.node(index);
    NodeData& d = m_nodes[index];
    const int M = m_points;
    Complex* v = d.value.data();
    const double x = p[n.ref[0]];
    const double y = n.ref[1] >= 0 ? p[n.ref[1]] : 0.0;
    Complex* d0 = derivatives && d.refPos[0] >= 0 ? d.der.data() + static_cast<std::size_t>(d.refPos[0]) * M : nullptr;
    Complex* d1 = derivatives && d.refPos[1] >= 0 ? d.der.data() + static_cast<std::size_t>(d.refPos[1]) * M : nullptr;

    switch (n.kind) {
    case ElementKind::R:
        for (int i = 0; i < M; ++i)
            v[i] = Complex(x, 0.0);
        if (d0)
            for (int i = 0; i < M; ++i)
                d0[i] += 1.0;
        return;
    case ElementKind::L:
        for (int i = 0; i < M; ++i)
            v[i] = Complex(0.0, omega[i] * x);
        if (d0)
            for (int i = 0; i < M; ++i)
                d0[i] += Complex(0.0, omega[i]);
        return;
    case ElementKind::C:
    case ElementKind::E: {
        // E is a capacitor of x CELCAP; a capacitance of 0 is left out.
        const double unit = n.kind == ElementKind::E ? m_model.deContext().celcap : 1.0;
        const double c = x * unit;
        if (c == 0) {
            d.absent = true;
            return;
        }
        if (d.admittance) {
            for (int i = 0; i < M; ++i)
                v[i] = Complex(0.0, omega[i] * c);
            if (d0)
                for (int i = 0; i < M; ++i)
                    d0[i] += Complex(0.0, omega[i] * unit);
        } else {
            for (int i = 0; i < M; ++i)
                v[i] = Complex(0.0, -1.0 / (omega[i] * c));
            if (d0)
                for (int i = 0; i < M; ++i)
                    d0[i] += Complex(0.0, unit / (omega[i] * c * c));
        }
        return;
    }
    case ElementKind::Q: {
        // Y = Q (i w)^alpha; d/d alpha multiplies by ln(i w) = ln w + i pi/2.
        if (x == 0) {
            d.absent = true;
            return;
        }
        const double sign = d.admittance ? 1.0 : -1.0;
        const Complex rot(std::cos(kHalfPi * y), sign * std::sin(kHalfPi * y));
        const double scale = d.admittance ? x : 1.0 / x;
        for (int i = 0; i < M; ++i) {
            const double mag = std::exp(sign * y * lnOmega[i]);
            v[i] = scale * mag * rot;
            if (d0)
                d0[i] += d.admittance ? mag * rot : -v[i] / x;
            if (d1)
                d1[i] += sign * v[i] * Complex(lnOmega[i], kHalfPi);
        }
        return;
    }
    case ElementKind::W:
        // sigma sqrt(2) / sqrt(i w) = sigma (1 - i) / sqrt(w)
        for (int i = 0; i < M; ++i) {
            const double r = 1.0 / std::sqrt(omega[i]);
            v[i] = Complex(x * r, -x * r);
            if (d0)
                d0[i] += Complex(r, -r);
        }
        return;
    case ElementKind::Ws:
    case ElementKind::Wo:
        // R f(i w tau) with f(s) = tanh(sqrt s)/sqrt s or coth(sqrt s)/sqrt s.
        for (int i = 0; i < M; ++i) {
            const Complex iw(0.0, omega[i]);
            Complex f, df;
            if (n.kind == ElementKind::Ws)
                tanhOverRoot(iw * y, f, df);
            else
                cothOverRoot(iw * y, f, df);
            v[i] = x * f;
            if (d0)
                d0[i] += f;
            if (d1)
                d1[i] += x * iw * df;
        }
        return;
    case ElementKind::G:
        // Z0 / sqrt(k + i w)
        for (int i = 0; i < M; ++i) {
            const Complex w(y, omega[i]);
            const Complex r = 1.0 / std::sqrt(w);
            v[i] = x * r;
            if (d0)
                d0[i] += r;
            if (d1)
                d1[i] += -0.5 * v[i] / w;
        }
        return;
    default:
        return;
    }
}

bool CircuitEvaluator::evaluateDe(int index, const double* p, const double* omega, const double* lnOmega,
    bool derivatives)
{
    const CircuitNode& n = m_circuit.node(index);
    NodeData& d = m_nodes[index];
    const int M = m_points;
    const int slot = m_model.slotOfNode(index);
    const DeParams params{p[n.ref[1]], p[n.ref[2]], p[n.ref[3]], p[n.ref[4]]};
    Complex* dk[4] = {nullptr, nullptr, nullptr, nullptr};
    bool any = false;
    if (derivatives)
        for (int k = 0; k < 4; ++k)
            if (d.refPos[k + 1] >= 0) {
                dk[k] = d.scratch.data() + static_cast<std::size_t>(k) * M;
                any = true;
            }
    if (!deEvaluate(m_model.slotDe(slot), params, m_model.deContext(), omega, lnOmega, M, m_model.slotSign(slot),
            d.value.data(), any ? dk : nullptr))
        return false;
    for (int k = 0; k < 4; ++k)
        if (dk[k]) {
            Complex* out = d.der.data() + static_cast<std::size_t>(d.refPos[k + 1]) * M;
            for (int i = 0; i < M; ++i)
                out[i] += dk[k][i];
        }
    return true;
}

void CircuitEvaluator::evaluateSeries(int index, bool derivatives)
{
    const CircuitNode& n = m_circuit.node(index);
    NodeData& d = m_nodes[index];
    const int M = m_points;
    Complex* v = d.value.data();
    std::fill(d.value.begin(), d.value.end(), Complex());
    d.absent = true;
    for (int c = 0; c < n.childCount; ++c) {
        const NodeData& child = m_nodes[m_circuit.child(n, c)];
        if (child.absent)
            continue;
        d.absent = false;
        const Complex* cv = child.value.data();
        for (int i = 0; i < M; ++i)
            v[i] += cv[i];
        if (!derivatives)
            continue;
        for (std::size_t k = 0; k < child.deps.size(); ++k) {
            const Complex* cd = child.der.data() + k * M;
            Complex* out = d.der.data() + static_cast<std::size_t>(d.childPos[c][k]) * M;
            for (int i = 0; i < M; ++i)
                out[i] += cd[i];
        }
    }
}

void CircuitEvaluator::evaluateParallel(int index, bool derivatives)
{
    const CircuitNode& n = m_circuit.node(index);
    NodeData& d = m_nodes[index];
    const int M = m_points;
    Complex* v = d.value.data();
    d.absent = true;
    for (int c = 0; c < n.childCount; ++c)
        if (!m_nodes[m_circuit.child(n, c)].absent)
            d.absent = false;
    if (d.absent)
        return;

    bool allCombined = true;
    for (int i = 0; i < M; ++i) {
        Complex y = 0.0;
        int branches = 0, last = -1, shorts = 0, shorted = -1;
        for (int c = 0; c < n.childCount; ++c) {
            const NodeData& child = m_nodes[m_circuit.child(n, c)];
            // dY/dZ of the branch, needed for the derivatives only
            Complex unused;
            Complex& factor = derivatives ? d.factor[static_cast<std::size_t>(c) * M + i] : unused;
            factor = 0.0;
            if (child.absent)
                continue;
            const Complex z = child.value[i];
            if (child.admittance) {
                y += z;
                factor = 1.0;
            } else if (z == 0.0) {
                ++shorts;
                shorted = c;
                continue;
            } else if (isInfinite(z)) {
                continue;  // an open branch adds no admittance
            } else {
                const Complex yb = inverse(z);
                y += yb;
                if (derivatives)
                    factor = -times(yb, yb);
            }
            ++branches;
            last = c;
        }
        if (shorts > 0) {
            v[i] = 0.0;
            d.mode[i] = shorts == 1 ? shorted : kNoDerivative;
        } else if (branches == 1 && !m_nodes[m_circuit.child(n, last)].admittance) {
            // One branch left: it is the group, exactly.
            v[i] = m_nodes[m_circuit.child(n, last)].value[i];
            d.mode[i] = last;
        } else if (branches == 0) {
            v[i] = Complex(kInf, 0.0);
            d.mode[i] = kNoDerivative;
        } else {
            v[i] = inverse(y);
            d.mode[i] = kCombined;
        }
        allCombined = allCombined && d.mode[i] == kCombined;
    }
    if (!derivatives)
        return;
    // dZ = -Z^2 sum dY_b, with dY_b = factor_b dZ_b (or dY_b itself for a
    // branch that gives its admittance); a branch standing for the group
    // passes its derivative on.
    for (int c = 0; c < n.childCount; ++c) {
        const NodeData& child = m_nodes[m_circuit.child(n, c)];
        if (child.absent)
            continue;
        const Complex* factor = d.factor.data() + static_cast<std::size_t>(c) * M;
        for (std::size_t k = 0; k < child.deps.size(); ++k) {
            const Complex* cd = child.der.data() + k * M;
            Complex* out = d.der.data() + static_cast<std::size_t>(d.childPos[c][k]) * M;
            if (allCombined) {
                for (int i = 0; i < M; ++i)
                    out[i] += times(factor[i], cd[i]);
                continue;
            }
            for (int i = 0; i < M; ++i) {
                if (d.mode[i] == kCombined)
                    out[i] += times(factor[i], cd[i]);
                else if (d.mode[i] == c)
                    out[i] = cd[i];
            }
        }
    }
    // -Z^2 once per point, not once per parameter.
    Complex* minusZ2 = d.factor.data();  // the first child's factors are no longer needed
    for (int i = 0; i < M; ++i)
        minusZ2[i] = -times(v[i], v[i]);
    for (std::size_t k = 0; k < d.deps.size(); ++k) {
        Complex* out = d.der.data() + k * M;
        if (allCombined) {
            for (int i = 0; i < M; ++i)
                out[i] = times(out[i], minusZ2[i]);
            continue;
        }
        for (int i = 0; i < M; ++i)
            if (d.mode[i] == kCombined)
                out[i] = times(out[i], minusZ2[i]);
    }
}

void CircuitEvaluator::evaluateTlm(int index, const double* p, bool derivatives)
{
    // Z = sqrt(r z) coth(sqrt(r/z)), taken as a coth(b) with a = sqrt(r) sqrt(z)
    // and b = sqrt(r) / sqrt(z): the branch on which Z tends to z as r -> 0.
    //   dZ/dr = (coth(b)/b - csch^2(b)) / 2
    //   dZ/dz = (b coth(b) + b^2 csch^2(b)) / 2
    // with their series in b^2 = r/z where the closed forms lose digits.
    const CircuitNode& n = m_circuit.node(index);
    NodeData& d = m_nodes[index];
    const NodeData& child = m_nodes[m_circuit.child(n, 0)];
    const int M = m_points;
    const double r = p[n.ref[0]];
    const Complex q = std::sqrt(Complex(r, 0.0));
    Complex* dr = derivatives && d.refPos[0] >= 0 ? d.der.data() + static_cast<std::size_t>(d.refPos[0]) * M : nullptr;
    for (int i = 0; i < M; ++i) {
        // An interface left out entirely (a lone capacitor of 0) adds nothing: z = 0.
        Complex z = child.absent ? Complex() : child.value[i];
        if (child.admittance)
            z = inverse(z);
        Complex value, dZdr, dZdz;
        if (z == 0.0) {
            value = 0.0;
            dZdr = 0.0;
            dZdz = Complex(kInf, 0.0);
        } else {
            const Complex b2 = r / z;
            if (std::abs(b2) < 2.5e-3) {
                value = z * (1.0 + b2 * (1.0 / 3 + b2 * (-1.0 / 45 + b2 * (2.0 / 945 + b2 * (-1.0 / 4725)))));
                dZdr = 1.0 / 3 + b2 * (-2.0 / 45 + b2 * (2.0 / 315 + b2 * (-4.0 / 4725)));
                dZdz = 1.0 + b2 * b2 * (1.0 / 45 + b2 * (-4.0 / 945 + b2 * (3.0 / 4725)));
            } else {
                const Complex s = std::sqrt(z), b = q / s;
                const Complex t = std::tanh(b), c = 1.0 / t, csch2 = (1.0 - t * t) / (t * t);
                value = q * s * c;
                dZdr = 0.5 * (c / b - csch2);
                dZdz = 0.5 * (b * c + b * b * csch2);
            }
        }
        d.value[i] = value;
        if (!derivatives)
            continue;
        if (dr)
            dr[i] += dZdr;
        if (child.absent)
            continue;
        // The child's derivatives are of Y when it gives its admittance.
        const Complex chain = child.admittance ? -dZdz * z * z : dZdz;
        for (std::size_t k = 0; k < child.deps.size(); ++k)
            d.der[static_cast<std::size_t>(d.childPos[0][k]) * M + i] += chain * child.der[k * M + i];
    }
}

} // namespace nosk::engine
