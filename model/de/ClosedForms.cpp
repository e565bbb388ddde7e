// The DEs after the first edition that have a closed form: values and
// analytic derivatives in R, T, U, PHI (the first edition is in Classic.cpp).

#include "DeMath.h"
#include "Families.h"

#include <cmath>

namespace nosk::engine::de {

namespace {

constexpr double kBoltzmannEv = 8.617333262e-5;  // eV/K

// tanh with the large-argument form that cannot overflow.
Complex safeTanh(Complex s)
{
    if (s.real() > 20) {
        const Complex e = std::exp(-2.0 * s);
        return (1.0 - e) / (1.0 + e);
    }
    return std::tanh(s);
}

} // namespace

Complex havriliakNegamiPeak(const DeParams& p, double, double lnOmega, Complex* d)
{
    const double R = p.R, T = p.T, U = p.U, PHI = p.PHI;
    // k puts the maximum of -Im Z at w T = 1; it depends on U and PHI only,
    // so the last one is kept for the next point.
    const double c = 2 * PHI + 2, a = kPi * U / c, b = kPi * U * PHI / c;
    thread_local double lastU = -1, lastPhi = -1, lastLnk = 0;
    if (U != lastU || PHI != lastPhi) {
        lastLnk = (std::log(std::sin(a)) - std::log(std::sin(b))) / U;
        lastU = U, lastPhi = PHI;
    }
    const double lnk = lastLnk;
    const Complex l(lnOmega + std::log(T) + lnk, kHalfPi);
    const Complex s = powIwt(U, l), B = 1.0 + s, logB = std::log(B);
    const Complex z = R * std::exp(-PHI * logB);
    if (d) {
        const double cotA = std::cos(a) / std::sin(a), cotB = std::cos(b) / std::sin(b);
        const double dlnkdU = -lnk / U + (a * cotA - b * cotB) / (U * U);
        const double dlnkdPhi = (cotA * (-2 * a / c) - cotB * (2 * kPi * U / (c * c))) / U;
        const Complex dzds = -PHI * z / B;
        d[0] = z / R;
        d[1] = dzds * U * s / T;
        d[2] = dzds * s * (l + U * dlnkdU);
        d[3] = dzds * s * U * dlnkdPhi - z * logB;
    }
    return z;
}

Complex jonscher(const DeParams& p, double omega, double lnOmega, Complex* d)
{
    const double R = p.R, T = p.T, U = p.U, PHI = p.PHI;
    const Complex l = logIwt(lnOmega, std::log(T));
    const Complex s = powIwt(PHI, l);
    const Complex y = (1.0 + s) / R + Complex(0.0, omega * U);
    const Complex z = inverse(y);
    if (d) {
        const Complex mz2 = -z * z;
        d[0] = mz2 * (-(1.0 + s) / (R * R));
        d[1] = mz2 * (PHI * s / (R * T));
        d[2] = mz2 * Complex(0.0, omega);
        d[3] = mz2 * (s * l / R);
    }
    return z;
}

Complex diffusionBoundary(const DeParams& p, double, double lnOmega, Complex* d)
{
    const double R = p.R, T = p.T, U = p.U, PHI = p.PHI;
    const Complex l = logIwt(lnOmega, std::log(T));
    const Complex s = powIwt(PHI, l);
    // Z = R (U + R t) / (R + U s^2 t), t = tanh(s)/s.
    Complex t, st;
    if (std::abs(s) < 1e-4) {
        t = tanhOverX(s);
        st = s * s * t;
    } else {
        const Complex th = safeTanh(s);
        t = th / s;
        st = s * th;
    }
    const Complex N = U + R * t, D = R + U * st;
    const Complex iD = inverse(D);
    const Complex z = R * N * iD;
    if (d) {
        Complex dt;
        if (std::abs(s) < 1e-4) {
            dt = tanhOverXDerivative(s);
        } else {
            const Complex th = safeTanh(s);
            dt = (1.0 - th * th) / s - th / (s * s);
        }
        const Complex dzds = (R * R * dt - z * U * (2.0 * s * t + s * s * dt)) * iD;
        d[0] = (N + R * t) * iD - z * iD;
        d[1] = dzds * PHI * s / T;
        d[2] = (R - z * st) * iD;
        d[3] = dzds * s * l;
    }
    return z;
}

Complex powerLawZ(const DeParams& p, double, double lnOmega, Complex* d)
{
    const Complex l = logIwt(lnOmega, std::log(p.T));
    const Complex q = powIwt(-p.PHI, l);
    const Complex z = p.R * q;
    if (d) {
        d[0] = q;
        d[1] = -p.PHI * z / p.T;
        d[2] = 0.0;
        d[3] = -z * l;
    }
    return z;
}

Complex powerLawEps(const DeParams& p, double omega, double lnOmega, Complex* d)
{
    return powerLawZ(p, omega, lnOmega, d);  // eps = R (i w T)^-PHI, the same function
}

Complex powerLawModulus(const DeParams& p, double, double lnOmega, Complex* d)
{
    const Complex l = logIwt(lnOmega, std::log(p.T));
    const Complex s = powIwt(p.PHI, l);
    const Complex m = p.R * s;
    if (d) {
        d[0] = s;
        d[1] = p.PHI * m / p.T;
        d[2] = 0.0;
        d[3] = m * l;
    }
    return m;
}

namespace {

// The N-section R-CPE ladder from its far end outwards, with forward-mode
// derivatives in R, T and PHI carried through the recursion.
Complex ladder(const DeParams& p, double lnOmega, bool openEnd, Complex* d)
{
    const int n = static_cast<int>(std::lround(p.U));
    const double r = p.R / n, dr = 1.0 / n;
    const Complex lw(lnOmega, kHalfPi);
    const Complex y = (p.T / n) * powIwt(p.PHI, lw);
    const Complex dyT = y / p.T, dyPhi = y * lw;
    Complex z, dR, dT, dPhi;
    if (openEnd) {
        const Complex iy = inverse(y);
        z = r + iy;
        dR = dr;
        dT = -dyT * iy * iy;
        dPhi = -dyPhi * iy * iy;
    } else {
        z = r;
        dR = dr;
    }
    for (int k = 1; k < n; ++k) {
        const Complex iz = inverse(z);
        const Complex w = y + iz, iw = inverse(w), iw2 = iw * iw, iz2 = iz * iz;
        if (d) {
            dR = dr + dR * iz2 * iw2;
            dT = -(dyT - dT * iz2) * iw2;
            dPhi = -(dyPhi - dPhi * iz2) * iw2;
        }
        z = r + iw;
    }
    if (d) {
        d[0] = dR;
        d[1] = dT;
        d[2] = 0.0;
        d[3] = dPhi;
    }
    return z;
}

} // namespace

Complex ladderOpen(const DeParams& p, double, double lnOmega, Complex* d)
{
    return ladder(p, lnOmega, true, d);
}

Complex ladderShorted(const DeParams& p, double, double lnOmega, Complex* d)
{
    return ladder(p, lnOmega, false, d);
}

Complex bruggeman(const DeParams& p, double, double lnOmega, Complex* d)
{
    const double U = p.U, PHI = p.PHI, eh = p.R;
    const Complex l = logIwt(lnOmega, std::log(p.T));
    const Complex q = powIwt(PHI - 1, l);
    const Complex ei = eh + q;
    // 2 eps^2 - b eps - ei eh = 0; the larger root without cancellation, the
    // other from the product of the roots.
    const Complex b = (3 * U - 1) * ei + (2 - 3 * U) * eh;
    const Complex sq = std::sqrt(b * b + 8.0 * ei * eh);
    const Complex big = (std::abs(b + sq) >= std::abs(b - sq) ? b + sq : b - sq) / 4.0;
    const Complex small = -ei * eh / (2.0 * big);
    auto passive = [](Complex e) { return e.real() > 0 && e.imag() <= 1e-12 * std::abs(e); };
    Complex eps;
    if (passive(big) != passive(small))
        eps = passive(big) ? big : small;
    else
        eps = big.real() >= small.real() ? big : small;
    if (d) {
        const Complex den = inverse(4.0 * eps - b);
        // d eps = (eps db + eh d ei + ei d eh) / (4 eps - b)
        auto dEps = [&](Complex dei, double deh, double dU) {
            const Complex db = (3 * U - 1) * dei + (2 - 3 * U) * deh + 3.0 * (ei - eh) * dU;
            return (eps * db + eh * dei + ei * deh) * den;
        };
        d[0] = dEps(1.0, 1.0, 0.0);
        d[1] = dEps((PHI - 1) * q / p.T, 0.0, 0.0);
        d[2] = dEps(0.0, 0.0, 1.0);
        d[3] = dEps(q * l, 0.0, 0.0);
    }
    return eps;
}

Complex seriesCpe(const DeParams& p, double, double lnOmega, Complex* d)
{
    const Complex l = logIwt(lnOmega, std::log(p.T));
    const Complex q = powIwt(-p.PHI, l);
    const Complex z = p.R * (1.0 + q);
    if (d) {
        d[0] = 1.0 + q;
        d[1] = -p.PHI * p.R * q / p.T;
        d[2] = 0.0;
        d[3] = -p.R * q * l;
    }
    return z;
}

Complex parallelCpeEps(const DeParams& p, double, double lnOmega, Complex* d)
{
    const Complex l = logIwt(lnOmega, std::log(p.T));
    const Complex q = powIwt(p.PHI - 1, l);
    if (d) {
        d[0] = 1.0;
        d[1] = (p.PHI - 1) * q / p.T;
        d[2] = 0.0;
        d[3] = q * l;
    }
    return p.R + q;
}

Complex edaeExact(const DeParams& p, double omega, double, Complex* d)
{
    const double R = p.R, U = p.U, x = omega * p.T;
    const double a = std::exp(-U), oneMinusA = -std::expm1(-U), oneMinusA2 = -std::expm1(-2 * U);
    // ln[(1 + i x)/(1 + i x a)] without cancellation at either end.
    const Complex lr(0.5 * std::log1p(x * x * oneMinusA2 / (1 + x * x * a * a)),
        std::atan2(x * oneMinusA, 1 + x * x * a));
    const Complex ix(0.0, x), ixa(0.0, x * a);
    const Complex dlrdx = Complex(0.0, oneMinusA) * inverse((1.0 + ix) * (1.0 + ixa));
    const Complex dlrdU = ixa * inverse(1.0 + ixa);
    Complex g, dgdx, dgdU;
    if (p.PHI == 0) {
        g = 1.0 - lr / U;
        dgdx = -dlrdx / U;
        dgdU = lr / (U * U) - dlrdU / U;
    } else if (x < 1e-3) {
        // g = sum (-1)^(n+1) (i x)^(n-1) S_n / n, S_n = 1 + a + ... + a^(n-1)
        g = dgdx = dgdU = 0.0;
        double S = 0, dS = 0, an = 1;  // S_n, dS_n/dU, a^(n-1)
        Complex ixPow = 1.0, ixPowPrev = 0.0;  // (i x)^(n-1), (i x)^(n-2)
        for (int n = 1; n <= 12; ++n) {
            S += an;
            dS -= (n - 1) * an;
            const double sgn = n % 2 ? 1.0 : -1.0;
            g += sgn * ixPow * S / double(n);
            dgdU += sgn * ixPow * dS / double(n);
            if (n >= 2)
                dgdx += sgn * Complex(0.0, 1.0) * double(n - 1) * ixPowPrev * S / double(n);
            ixPowPrev = ixPow;
            ixPow *= ix;
            an *= a;
        }
    } else {
        const Complex den = inverse(ix * oneMinusA);
        g = lr * den;
        dgdx = dlrdx * den - g / x;
        dgdU = dlrdU * den - g * a / oneMinusA;
    }
    if (d) {
        d[0] = g;
        d[1] = R * dgdx * omega;
        d[2] = R * dgdU;
        d[3] = 0.0;
    }
    return R * g;
}

Complex hanaiBruggeman(const DeParams& p, double, double lnOmega, Complex* d)
{
    const double U = p.U, PHI = p.PHI, eh = p.R;
    const Complex l = logIwt(lnOmega, std::log(p.T));
    const Complex q = powIwt(PHI - 1, l);
    const Complex ei = eh + q;
    // eh w^3 - (1-U)(eh - ei) w - ei = 0, eps = eh w^3; the physical root is
    // followed from w = 1 at U = 0.
    const Complex dh = eh - ei;
    Complex w = 1.0;
    constexpr int kSteps = 64;
    for (int j = 1; j <= kSteps; ++j) {
        const double uj = U * j / kSteps;
        for (int it = 0; it < 40; ++it) {
            const Complex f = eh * w * w * w - (1 - uj) * dh * w - ei;
            const Complex fp = 3.0 * eh * w * w - (1 - uj) * dh;
            const Complex step = f / fp;
            w -= step;
            if (std::abs(step) <= 1e-15 * std::abs(w))
                break;
        }
    }
    const Complex w2 = w * w, w3 = w2 * w;
    const Complex eps = eh * w3;
    if (d) {
        const Complex iFw = inverse(3.0 * eh * w2 - (1 - U) * dh);
        const Complex fEh = w3 - (1 - U) * w, fEi = (1 - U) * w - 1.0, fU = dh * w;
        auto dEps = [&](Complex dei, double deh, double dU) {
            const Complex dw = -(fEh * deh + fEi * dei + fU * dU) * iFw;
            return w3 * deh + 3.0 * eh * w2 * dw;
        };
        d[0] = dEps(1.0, 1.0, 0.0);
        d[1] = dEps((PHI - 1) * q / p.T, 0.0, 0.0);
        d[2] = dEps(0.0, 0.0, 1.0);
        d[3] = dEps(q * l, 0.0, 0.0);
    }
    return eps;
}

Complex thermalLaw(const DeParams& p, double omega, double lnOmega, Complex* d)
{
    const double dT = omega - p.T;
    if (!(dT > 0)) {  // at or below the Vogel temperature the law has no value
        if (d)
            for (int k = 0; k < 4; ++k)
                d[k] = std::nan("");
        return std::nan("");
    }
    const double v = p.U / (kBoltzmannEv * dT);
    const double z = p.R * std::exp(p.PHI * lnOmega + v);
    if (d) {
        d[0] = z / p.R;
        d[1] = z * v / dT;
        d[2] = z / (kBoltzmannEv * dT);
        d[3] = z * lnOmega;
    }
    return z;
}

} // namespace nosk::engine::de
