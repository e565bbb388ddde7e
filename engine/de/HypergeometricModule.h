#pragma once

// The door between the engine and its hypergeometric module
// (nosk_hypergeometric.so), which holds every use of Arb. The engine opens
// the module on the first DE that needs it, so that a job without such a DE
// never loads Arb, FLINT, GMP and MPFR. A plain C table keeps the door
// independent of the C++ ABI of both sides.
//
// Every kernel writes the real and imaginary parts of its result to out[0]
// and out[1], carrying 48 certain bits (Arb raises its working precision
// until they are).

extern "C" {

struct NoskHypergeometricApi {
    int version;  // kNoskHypergeometricApiVersion of the module's build
    // Gauss's 2F1(a, b; c; z).
    void (*hyp2f1)(double a, double b, double c, double zRe, double zIm, double* out);
    // P_phi(z) = 2F1(1, phi; 1 + phi; -z).
    void (*powerLaw)(double phi, double zRe, double zIm, double* out);
    // The normalised response of G = C e^(phi y) on [-U, 0] at x = w T (DE 12, 28).
    void (*twoCutoff)(double phi, double U, double x, double* out);
    // [PHI P_U(i x) + U (1 - P_PHI(1/(i x)))] / (U + PHI) (DE 13).
    void (*doubleExponential)(double U, double PHI, double x, double* out);
    // The Dissado-Hill response with m = U, n = PHI, without R (DE 18, 19).
    void (*dissadoHill)(double m, double n, double x, double* out);
    // 2F1(1, PHI; 1 + PHI - U; -i x) (DE 29).
    void (*davidsonCole)(double U, double PHI, double x, double* out);
    // P_PHI(i x) for PHI > 0, 1 - P_-PHI(1/(i x)) for PHI < 0 (DE 34).
    void (*oneCutoff)(double PHI, double x, double* out);
};

// The module's one exported symbol.
const NoskHypergeometricApi* nosk_hypergeometric_api(void);
}

inline constexpr int kNoskHypergeometricApiVersion = 1;
inline constexpr const char* kNoskHypergeometricModule = "nosk_hypergeometric.so";
