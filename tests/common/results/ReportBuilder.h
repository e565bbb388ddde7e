#pragma once

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

namespace nosk::test {

// Builds a PNTOUTL report in the engine's layout with `freeCount` free
// parameters: parameter j (from 0) has number 2 j + 1, estimate 1.5 (j + 1),
// std dev 0.01 (j + 1) and relative std dev 0.001 (j + 1); the correlation
// between i and r is 1 on the diagonal and -(10 r + i) / 100 below it.
class ReportBuilder {
public:
    explicit ReportBuilder(int freeCount) : m_free(freeCount) {}

    static double correlation(int r, int i) { return r == i ? 1.0 : -(10.0 * r + i) / 100.0; }

    std::vector<std::string> lines() const
    {
        std::vector<std::string> l;
        l.push_back("  NOSKWIN  complex nonlinear least squares fit");
        l.push_back("  version 1.0");
        l.push_back("  run of 2026-12-07 04:00:00");
        l.push_back("");
        l.push_back("  ------------------------------------------------");
        l.push_back("  battery cell, series model");
        l.push_back("  DINP=Z DFIT=Z PINP=R PFIT=R FREEQ=F FUN=A");
        l.push_back("  M=    40");
        l.push_back("  N=    10 MAXFEV=   200");
        l.push_back("  IRCH=     1");
        l.push_back("");
        l.push_back("  START PARAMETERS");
        l.push_back("   1  0.1000D+01  1");
        l.push_back("");
        l.push_back(fmt("        # OF FREE PARAMETERS = %4d", m_free));
        l.push_back(pad("  FINAL L2 NORM OF THE RESIDUALS", 49) + fmt("%14.6E", 0.123456));
        l.push_back(pad("  NUMBER OF FUNCTION EVALUATIONS", 50) + fmt("%8d", 37));
        l.push_back(pad("  NUMBER OF JACOBIAN EVALUATIONS", 50) + fmt("%8d", 12));
        l.push_back("  EXIT: RELATIVE REDUCTION OF S AT MOST FTOL");
        l.push_back(pad("  WEIGHTED SUM OF SQUARES, S", 42) + fmt("%20.10E", 0.0152413));
        l.push_back(pad("  SIGMAF SQUARED ESTIMATE, XS", 42) + fmt("%20.10E", 4.8e-4));
        l.push_back(pad("  SIGMAF ESTIMATE", 42) + fmt("%20.10E", 0.0219089));
        l.push_back(pad("  FIT QUALITY FACTOR", 47) + fmt("%10.4E", 0.0125));
        l.push_back(pad("  NO. DEGREES OF FREEDOM", 42) + fmt("%12d", 72));
        l.push_back("");
        l.push_back("  ORIGINAL PARAMETER NUMBERS OF THE FREE PARAMETERS");
        l.push_back("  LINE 1: NUMBER, LINE 2: ESTIMATE");
        l.push_back("  LINE 3: STD DEV, LINE 4: RELATIVE STD DEV");
        l.push_back("");
        for (int start = 0; start < m_free; start += 6) {
            int end = std::min(m_free, start + 6);
            l.push_back("");
            l.push_back(fmt("  FREE PARAMETERS %d TO %d", start + 1, end));
            std::string n = "  ", e = "  ", s = "  ", r = "  ";
            for (int j = start; j < end; ++j) {
                n += fmt("%12d", 2 * j + 1);
                e += fmt("%12.5E", 1.5 * (j + 1));
                s += fmt("%12.5E", 0.01 * (j + 1));
                r += fmt("%12.5E", 0.001 * (j + 1));
            }
            l.push_back(n);
            l.push_back(e);
            l.push_back(s);
            l.push_back(r);
        }
        l.push_back("");
        l.push_back("  ESTIMATED PARAMETER CORRELATION MATRIX");
        for (int r = 0; r < m_free; ++r) {
            std::string line = "  ";
            for (int i = 0; i <= r; ++i) {
                if (i > 0 && i % 6 == 0) {
                    l.push_back(line);
                    line = "  ";
                }
                line += fmt(" %11.7f", correlation(r, i));
            }
            l.push_back(line);
        }
        l.push_back("");
        l.push_back("  FINAL PARAMETERS");
        l.push_back("  RUN TIME 0.01 S");
        return l;
    }

    std::string text(const char* eol = "\r\n") const
    {
        std::string t;
        for (const std::string& line : lines())
            t += line + eol;
        return t;
    }

    static std::string join(const std::vector<std::string>& lines, const char* eol = "\r\n")
    {
        std::string t;
        for (const std::string& line : lines)
            t += line + eol;
        return t;
    }

private:
    template <typename... A>
    static std::string fmt(const char* f, A... a)
    {
        char buffer[128];
        std::snprintf(buffer, sizeof buffer, f, a...);
        return buffer;
    }
    static std::string pad(std::string s, std::size_t width)
    {
        s.resize(width, ' ');
        return s;
    }

    int m_free;
};

} // namespace nosk::test
