#pragma once

// Writes the files of one run into the current folder the way the engine
// leaves them: INFL (through the job's own writer), ADD.BIN, AUXPNTL and,
// for a fit, PNTOUTL. The viewer's tests and its benchmark use it for runs
// the engine would take long to produce (100 000 points, 20 free parameters).

#include "job/FitJob.h"
#include "job/SideFile.h"

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace nosk::test {

struct RunSpec {
    int count = 10;
    char dattyp = 'C';
    char dfit = 'Z';
    char pfit = 'R';
    char freeq = 'F';
    int maxfev = 50;
    int ipar = 0;
    int ire = 0;
    int freeCount = 3;
    unsigned char xVariable = 1;
    double firstX = 1.0;      // X values firstX * 10^(k * decadeStep)
    double decadeStep = 0.1;
    bool negativeImag = true; // the engine's second component (Z imag) is negative
    double noise = 0;         // relative scatter of the observed values of a fit
};

// A repeatable scatter in [-1, 1) for point k.
inline double specScatter(int k)
{
    std::uint32_t h = static_cast<std::uint32_t>(k) * 2654435761u + 12345u;
    h ^= h >> 15;
    h *= 2246822519u;
    h ^= h >> 13;
    return (h % 20000u) / 10000.0 - 1.0;
}

inline double specX(const RunSpec& s, int k) { return s.firstX * std::pow(10.0, k * s.decadeStep); }
// A simple RC-like impedance: Z = R / (1 + j x tau).
inline void specZ(const RunSpec& s, int k, double& re, double& im)
{
    const double x = specX(s, k) * 1e-2;
    re = 100.0 / (1 + x * x);
    im = -100.0 * x / (1 + x * x);
    if (!s.negativeImag)
        im = -im;
}

inline void writeInfl(const RunSpec& s)
{
    FitJob job;
    job.description = "viewer test run";
    job.DINP = s.dfit;
    job.DFIT = s.dfit;
    job.PINP = s.pfit;
    job.PFIT = s.pfit;
    job.FREEQ = s.freeq;
    job.DATTYP = s.dattyp;
    job.IPAR = s.ipar;
    job.IRE = s.ire;
    job.MAXFEV = s.maxfev;
    job.IRCH = 1;
    job.N = std::max(s.freeCount, 1);
    for (int i = 0; i < job.N; ++i) {
        job.P[i] = 1.0 + i;
        job.NFREE[i] = i < s.freeCount ? 1 : 0;
    }
    job.allocateData(s.count, false);
    for (int k = 0; k < s.count; ++k) {
        (*job.FREQ)[k] = specX(s, k);
        specZ(s, k, (*job.DATA1)[k], (*job.DATA2)[k]);
    }
    job.save("INFL");
    writeSideFile(s.xVariable, s.xVariable == 4 ? 3 : s.xVariable);
}

// An INFL for the bundled engine: circuit A with R1, R6 and C7 free.
inline void writeEngineJob(const RunSpec& s)
{
    writeInfl(s);
    FitJob job;
    job.load("INFL");
    job.FUN = 'A';
    job.N = 10;
    for (int i = 0; i < job.N; ++i) {
        job.P[i] = 0;
        job.NFREE[i] = 0;
    }
    job.P[0] = 5;
    job.NFREE[0] = 1;
    job.P[5] = 80;
    job.NFREE[5] = 1;
    job.P[6] = 1e-4;
    job.NFREE[6] = 1;
    job.P[9] = 1;
    job.CELCAP = 1.0;
    job.save("INFL");
}

inline void writeAuxpntl(const RunSpec& s)
{
    std::FILE* f = std::fopen("AUXPNTL", "wb");
    if (s.maxfev == 0 || s.maxfev == 1) {
        std::fprintf(f, "SIMULATION\r\nMODEL DATA -- FREQUENCY, REAL, IMAGINARY\r\n");
        for (int k = 0; k < s.count; ++k) {
            double re, im;
            specZ(s, k, re, im);
            std::fprintf(f, "%15.6E%15.6E%15.6E\r\n", specX(s, k), re * 1.01, im * 1.01);
        }
    } else {
        std::fprintf(f, "  FIT RESULTS\r\n OBSERVED VARIABLES\r\n  NO    OBSERVED      MODEL        SIGMA       RESIDUAL     RELATIVE\r\n");
        for (int k = 0; k < s.count; ++k) {
            double re, im;
            specZ(s, k, re, im);
            int component = 0;
            auto row = [&](double exact) {
                const double model = exact * 1.01;
                const double obs = exact * (1 + s.noise * specScatter(2 * k + component++));
                std::fprintf(f, "%5d%14.6E%14.6E%14.6E%14.6E%14.6E\r\n", k + 1, obs, model, 1.0,
                             obs - model, (obs - model) / model);
            };
            if (s.dattyp != 'I')
                row(re);
            if (s.dattyp != 'R')
                row(im);
        }
    }
    std::fclose(f);
}

// The report's statistics block, parameter table and correlation matrix.
inline void writePntoutl(const RunSpec& s, double correlation01 = -0.5)
{
    std::FILE* f = std::fopen("PNTOUTL", "wb");
    const int n = s.freeCount;
    std::fprintf(f, " CNLS FIT REPORT\r\n\r\n # OF FREE PARAMETERS = %d\r\n\r\n", n);
    auto field = [&](const char* label, int column, int width, const char* text) {
        std::string line(label);
        line.resize(column - 1, ' ');
        std::string t(text);
        if (static_cast<int>(t.size()) < width)
            t = std::string(width - t.size(), ' ') + t;
        std::fprintf(f, "%s%s\r\n", line.c_str(), t.c_str());
    };
    char buf[64];
    std::snprintf(buf, sizeof buf, "%14.6E", 0.123456);
    field(" FINAL L2 NORM OF THE RESIDUALS", 50, 14, buf);
    field(" NUMBER OF FUNCTION EVALUATIONS", 51, 8, "17");
    field(" NUMBER OF JACOBIAN EVALUATIONS", 51, 8, "5");
    std::fprintf(f, "\r\n");
    std::snprintf(buf, sizeof buf, "%20.10E", 0.0152415);
    field(" WEIGHTED SUM OF SQUARES, S", 43, 20, buf);
    std::snprintf(buf, sizeof buf, "%20.10E", 0.00101610);
    field(" SIGMAF SQUARED ESTIMATE", 43, 20, buf);
    std::snprintf(buf, sizeof buf, "%20.10E", 0.0318763);
    field(" SIGMAF ESTIMATE", 43, 20, buf);
    std::snprintf(buf, sizeof buf, "%10.4f", 0.5);
    field(" FIT QUALITY FACTOR", 48, 10, buf);
    std::snprintf(buf, sizeof buf, "%12d", 2 * s.count - n);
    field(" DEGREES OF FREEDOM", 43, 12, buf);
    std::fprintf(f, "\r\n ORIGINAL PARAMETER NUMBERS\r\n\r\n\r\n\r\n");
    for (int b = 0; b < std::max(n, 1); b += 6) {
        std::fprintf(f, "\r\n\r\n");
        const int e = std::min(n, b + 6);
        std::string l1 = "  ", l2 = "  ", l3 = "  ", l4 = "  ";
        for (int i = b; i < e; ++i) {
            char c[32];
            std::snprintf(c, sizeof c, "%12d", i + 1);
            l1 += c;
            std::snprintf(c, sizeof c, "%12.4E", i == 0 ? 1234.5 : 1.0 + i);
            l2 += c;
            std::snprintf(c, sizeof c, "%12.4E", 0.01 * (i + 1));
            l3 += c;
            std::snprintf(c, sizeof c, "%12.4E", 0.001 * (i + 1));
            l4 += c;
        }
        std::fprintf(f, "%s\r\n%s\r\n%s\r\n%s\r\n", l1.c_str(), l2.c_str(), l3.c_str(), l4.c_str());
    }
    std::fprintf(f, "\r\n ESTIMATED PARAMETER CORRELATION MATRIX\r\n");
    for (int r = 0; r < n; ++r) {
        std::fprintf(f, "  ");
        for (int c = 0; c <= r; ++c) {
            if (c > 0 && c % 6 == 0)
                std::fprintf(f, "\r\n  ");
            const double v = r == c ? 1.0 : (r == 1 && c == 0 ? correlation01 : 0.01 * (r + c));
            std::fprintf(f, " %11.7f", v);
        }
        std::fprintf(f, "\r\n");
    }
    std::fclose(f);
}

inline void writeRun(const RunSpec& s)
{
    writeInfl(s);
    writeAuxpntl(s);
    if (s.maxfev > 2)
        writePntoutl(s);
}

} // namespace nosk::test
