// Writes the engine's example jobs into fittests/CKT.<letter>: one fit job
// per DE of the engine with synthetic data (the model at known parameters
// plus 0.2 % noise; the start values lie 20-30 % off), the circuit A job with
// three DEs and 13 free parameters, one synthetic job for every other
// circuit letter, and the measured battery spectrum as jobs of circuits B,
// C, S and T.
//   nosk_make_examples <source folder> [--force]
// The files are committed; a file that exists is left alone unless --force.
#include "support/SyntheticData.h"

#include "core/Exception.h"
#include "job/FitJob.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

namespace {

using nosk::FitJob;

struct Param {
    int number;    // 1-based
    double truth;  // value the data are made from
    double start;  // start value of the job
    int code;
};

struct Example {
    const char* name;
    const char* description;
    char fun;
    int n;
    std::vector<Param> params;
    double fromHz, toHz;
    int points;
    int irch = 3;
    char level = 'Z', format = 'R';
    char freeq = 'F', dattyp = 'C';  // blank and R: a real function of the first column
};

FitJob makeJob(const Example& e)
{
    FitJob job = nosk::engine::impedanceFitJob(e.fun, e.n, e.description);
    job.DINP = job.DFIT = e.level;
    job.PINP = job.PFIT = e.format;
    job.FREEQ = e.freeq;
    job.DATTYP = e.dattyp;
    if (e.level != 'Z' && e.level != 'Y')
        job.CELCAP = 1e-12;
    job.IRCH = e.irch;
    job.IPRINT = 1;
    double truth[FitJob::kMaxParams] = {};
    for (const Param& p : e.params) {
        truth[p.number - 1] = p.truth;
        job.P[p.number - 1] = p.start;
        job.NFREE[p.number - 1] = p.code;
    }
    unsigned seed = 0;
    for (const char* c = e.name; *c; ++c)
        seed = seed * 31 + static_cast<unsigned char>(*c);
    nosk::engine::fillSyntheticData(job, truth, nosk::engine::logSpaced(e.fromHz, e.toHz, e.points), 0.002, seed);
    return job;
}

// A selector of a DE slot: value and NFREE 0.
Param de(int number, int deNumber)
{
    return {number, static_cast<double>(deNumber), static_cast<double>(deNumber), 0};
}

std::vector<Example> examples()
{
    return {
        {"ADE1.TST", "Circuit A, DE 1: series R and a parallel RC (one arc)", 'A', 10,
            {{1, 10.0, 13.0, 1}, {6, 100.0, 75.0, 1}, {7, 1e-5, 1.3e-5, 1}, de(10, 1)}, 1e-1, 1e6, 40},
        {"ADE2.TST", "Circuit A, DE 2: R in series with a constant phase element", 'A', 10,
            {{1, 50.0, 40.0, 1}, {7, 2e-5, 2.6e-5, 1}, {9, 0.85, 0.7, 1}, de(10, 2)}, 1e-2, 1e5, 40},
        {"ADE3.TST", "Circuit A, DE 3: series R and R parallel to a CPE", 'A', 10,
            {{1, 20.0, 26.0, 1}, {6, 1000.0, 750.0, 1}, {7, 1e-6, 1.3e-6, 1}, {9, 0.8, 0.65, 1}, de(10, 3)},
            1e-2, 1e6, 50},
        {"ADE4.TST", "Circuit A, DE 4: ZC with R^U T (U fixed)", 'A', 10,
            {{1, 5.0, 6.5, 1}, {6, 500.0, 380.0, 1}, {7, 1e-5, 1.3e-5, 1}, {8, 0.9, 0.9, 0}, {9, 0.75, 0.6, 1},
                de(10, 4)},
            1e-2, 1e6, 50},
        {"ADE5.TST", "Circuit A, DE 5: Cole-Cole ZC arc, fitted as admittance Y, log polar", 'A', 10,
            {{1, 100.0, 130.0, 1}, {6, 1e4, 7.5e3, 1}, {7, 1e-3, 1.3e-3, 1}, {9, 0.7, 0.55, 1}, de(10, 5)},
            1e-3, 1e5, 50, 1, 'Y', 'L'},
        {"ADE6.TST", "Circuit A, DE 6: Havriliak-Negami response", 'A', 10,
            {{1, 10.0, 13.0, 1}, {6, 1000.0, 750.0, 1}, {7, 1e-3, 1.3e-3, 1}, {8, 0.8, 0.65, 1},
                {9, 0.6, 0.75, 1}, de(10, 6)},
            1e-3, 1e5, 60},
        {"ADE7.TST", "Circuit A, DE 7: Davidson-Cole response, weights from the weight lines", 'A', 10,
            {{1, 10.0, 13.0, 1}, {6, 1000.0, 750.0, 1}, {7, 1e-3, 1.3e-3, 1}, {9, 0.6, 0.75, 1}, de(10, 7)},
            1e-3, 1e5, 50, 0},
        {"ADE9.TST", "Circuit A, DE 9: finite-length diffusion, transmissive end", 'A', 10,
            {{1, 20.0, 26.0, 1}, {6, 200.0, 150.0, 1}, {7, 0.5, 0.65, 1}, {9, 0.5, 0.4, 1}, de(10, 9)},
            1e-3, 1e4, 50},
        {"ADE16.TST", "Circuit A, DE 16: finite-length diffusion, reflecting end", 'A', 10,
            {{1, 5.0, 6.5, 1}, {6, 50.0, 38.0, 1}, {7, 2.0, 2.6, 1}, {9, 0.45, 0.55, 1}, de(10, 16)},
            1e-3, 1e4, 50},
        {"ADE17.TST", "Circuit A, DE 17: C, R and an R-L branch in parallel", 'A', 10,
            {{6, 1000.0, 750.0, 1}, {7, 1e-8, 1.3e-8, 1}, {8, 2000.0, 2600.0, 1}, {9, 0.05, 0.038, 1},
                de(10, 17)},
            1e1, 1e6, 60},
        {"AMIX3.TST", "Circuit A with three DEs (5, 3, 9): 13 free parameters, 100 points", 'A', 20,
            {{1, 10.0, 13.0, 1}, {2, 1e-2, 0.75e-2, 1}, {3, 1e-6, 1.3e-6, 1}, {4, 1e-8, 0.75e-8, 1},
                {6, 1000.0, 1300.0, 1}, {7, 1e-5, 0.75e-5, 1}, {9, 0.8, 0.65, 1}, de(10, 5),
                {11, 500.0, 375.0, 1}, {12, 1e-3, 1.3e-3, 1}, {14, 0.7, 0.85, 1}, de(15, 3),
                {16, 300.0, 390.0, 1}, {17, 2.0, 1.5, 1}, {19, 0.5, 0.62, 1}, de(20, 9)},
            1e-3, 1e6, 100},
        {"BDE9.TST", "Circuit B, Randles cell with a finite-length Warburg (DE 9)", 'B', 10,
            {{1, 10.0, 13.0, 1}, {2, 2e-5, 1.5e-5, 1}, {4, 100.0, 130.0, 1}, {6, 50.0, 38.0, 1},
                {7, 1.0, 1.3, 1}, {9, 0.5, 0.4, 1}, de(10, 9)},
            1e-3, 1e5, 60},
        {"BDE16.TST", "Circuit B, Randles cell with a reflecting diffusion element (DE 16)", 'B', 10,
            {{1, 10.0, 13.0, 1}, {2, 2e-5, 1.5e-5, 1}, {4, 100.0, 130.0, 1}, {6, 50.0, 38.0, 1},
                {7, 1.0, 1.3, 1}, {9, 0.5, 0.4, 1}, de(10, 16)},
            1e-3, 1e5, 60},
        {"CDE2.TST", "Circuit C: Rs, CPE double layer (DE 2) parallel to Rct and diffusion (DE 16)", 'C', 20,
            {{1, 0.5, 0.65, 1}, {4, 20.0, 15.0, 1}, {7, 2e-5, 2.6e-5, 1}, {9, 0.85, 0.7, 1}, de(10, 2),
                {11, 30.0, 39.0, 1}, {12, 2.0, 1.5, 1}, {14, 0.5, 0.4, 1}, de(15, 16), de(20, 0)},
            1e-3, 1e5, 60},
        {"DVOIGT5.TST", "Circuit D: series R and a Voigt chain of five RC elements", 'D', 20,
            {{1, 10.0, 13.0, 1}, {4, 100.0, 75.0, 1}, {5, 1e-7, 1.3e-7, 1}, {6, 200.0, 150.0, 1},
                {7, 1e-5, 1.3e-5, 1}, {8, 150.0, 190.0, 1}, {9, 1e-3, 0.75e-3, 1}, {10, 80.0, 100.0, 1},
                {11, 0.1, 0.075, 1}, {12, 50.0, 65.0, 1}, {13, 1.0, 0.75, 1}, de(20, 0)},
            1e-3, 1e6, 90},
        {"EDE5.TST", "Circuit E: R in series with DE 1 and DE 5 (three empty DE slots)", 'E', 28,
            {de(5, 1), {1, 100.0, 130.0, 1}, {2, 1e-6, 0.75e-6, 1}, de(10, 5), {6, 500.0, 375.0, 1},
                {7, 1e-2, 1.3e-2, 1}, {9, 0.8, 0.65, 1}, de(15, 0), de(20, 0), de(25, 0), {26, 10.0, 13.0, 1}},
            1e-2, 1e6, 60},
        {"FDE2.TST", "Circuit F: bulk R and C parallel to R + CPE (DE 2); second DE slot open", 'F', 15,
            {{5, 20.0, 26.0, 1}, {1, 1000.0, 750.0, 1}, {2, 1e-8, 1.3e-8, 1}, {3, 100.0, 75.0, 1},
                {7, 1e-5, 1.3e-5, 1}, {9, 0.7, 0.85, 1}, de(10, 2), {14, 1.0, 1.0, 0}, de(15, 2)},
            1e-2, 1e6, 60},
        {"GTLM.TST", "Circuit G: porous electrode, transmission line with R || CPE interface", 'G', 7,
            {{1, 5.0, 6.5, 1}, {4, 200.0, 150.0, 1}, {5, 1e-4, 1.3e-4, 1}, {6, 1000.0, 750.0, 1},
                {7, 0.9, 0.75, 1}},
            1e-3, 1e5, 60},
        {"HBRICK.TST", "Circuit H: brick layer, bulk and grain boundary (R || CPE as DE 3 each)", 'H', 14,
            {de(5, 3), {1, 1e5, 1.3e5, 1}, {2, 1e-10, 0.75e-10, 1}, {4, 0.9, 0.75, 1}, de(10, 3),
                {6, 1e6, 0.75e6, 1}, {7, 1e-8, 1.3e-8, 1}, {9, 0.8, 0.65, 1}, {11, 100.0, 130.0, 1}},
            1e-1, 1e7, 70},
        {"IGER.TST", "Circuit I: Randles cell with a Gerischer element", 'I', 7,
            {{1, 10.0, 13.0, 1}, {2, 2e-5, 1.5e-5, 1}, {4, 50.0, 65.0, 1}, {6, 200.0, 150.0, 1},
                {7, 10.0, 13.0, 1}},
            1e-3, 1e5, 60},
        {"JFILM.TST", "Circuit J: film (R || C) over an interface C || finite diffusion (DE 9)", 'J', 25,
            {{1, 5.0, 6.5, 1}, {2, 1e-7, 1.3e-7, 1}, {4, 200.0, 150.0, 1}, {5, 1e-5, 0.75e-5, 1}, de(10, 0),
                {11, 500.0, 650.0, 1}, {12, 0.5, 0.375, 1}, {14, 0.5, 0.4, 1}, de(15, 9), de(20, 0), de(25, 0)},
            1e-3, 1e6, 80},
        {"KVOIGT9.TST", "Circuit K: series R and a Voigt chain of nine RC elements, 120 points", 'K', 27,
            {{1, 5.0, 6.5, 1}, {4, 50.0, 37.5, 1}, {5, 2e-8, 2.6e-8, 1}, {6, 60.0, 78.0, 1}, {7, 1.2e-7, 0.9e-7, 1},
                {8, 70.0, 52.5, 1}, {9, 7e-7, 9.1e-7, 1}, {10, 80.0, 104.0, 1}, {11, 4e-6, 3e-6, 1},
                {12, 90.0, 67.5, 1}, {13, 2.5e-5, 3.25e-5, 1}, {14, 100.0, 130.0, 1}, {15, 1.5e-4, 1.1e-4, 1},
                {16, 110.0, 82.5, 1}, {17, 9e-4, 1.17e-3, 1}, {18, 120.0, 156.0, 1}, {19, 5e-3, 3.75e-3, 1},
                {20, 130.0, 97.5, 1}, {21, 3e-2, 3.9e-2, 1}, de(27, 0)},
            1e-2, 1e7, 120},
        {"ODIEL.TST", "Circuit O: dielectric, eps-inf and a conductive-system ZC (DE 5) at E level", 'O', 25,
            {{2, 5.0, 6.5, 1}, {5, 1e9, 0.75e9, 1}, {6, 1e-2, 1.3e-2, 1}, {9, 0.8, 0.65, 1}, de(10, 5),
                de(20, 2), de(25, 0)},
            1e-2, 1e6, 60, 3, 'E', 'R'},
        {"RWARB.TST", "Circuit R: textbook Randles cell with a semi-infinite Warburg", 'R', 5,
            {{1, 10.0, 13.0, 1}, {2, 2e-5, 1.5e-5, 1}, {4, 100.0, 130.0, 1}, {5, 50.0, 37.5, 1}},
            1e-3, 1e5, 60},
        {"SZARC.TST", "Circuit S: Rs, L, two ZARCs (R || CPE) and a diffusion CPE", 'S', 11,
            {{1, 0.015, 0.0195, 1}, {3, 1.5e-7, 1.1e-7, 1}, {4, 0.008, 0.0104, 1}, {5, 2.0, 1.5, 1},
                {6, 0.85, 0.7, 1}, {7, 0.012, 0.009, 1}, {8, 30.0, 39.0, 1}, {9, 0.7, 0.85, 1},
                {10, 500.0, 375.0, 1}, {11, 0.55, 0.7, 1}},
            1e-3, 1e4, 66},
        {"TWS.TST", "Circuit T: Randles cell, CPE double layer, finite transmissive diffusion", 'T', 7,
            {{1, 0.02, 0.026, 1}, {2, 3.0, 2.25, 1}, {3, 1e-7, 1.3e-7, 1}, {4, 0.015, 0.0112, 1},
                {5, 0.8, 0.65, 1}, {6, 0.05, 0.065, 1}, {7, 40.0, 30.0, 1}},
            1e-3, 1e4, 66},
    };
}

// One example per DE of the later editions (8, 10-15, 18-37): synthetic data
// from known parameters, fitted back from 20-30 % off. The dielectric-level
// DEs are fitted as eps (DFIT E, CELCAP 1 pF) with eps-infinity as the
// parallel capacitor p4 = CELCAP * eps-infinity.
std::vector<Example> deExamples()
{
    const double cc = 1e-12;
    return {
        {"ADE8.TST", "Circuit A, DE 8: Havriliak-Negami with T at the loss peak", 'A', 10,
            {{1, 10.0, 13.0, 1}, {6, 1000.0, 750.0, 1}, {7, 1e-3, 1.3e-3, 1}, {8, 0.7, 0.6, 2}, {9, 0.6, 0.7, 2},
                de(10, 8)},
            1e-3, 1e5, 60},
        {"ADE10.TST", "Circuit A, DE 10: KWW (stretched exponential), dielectric form", 'A', 10,
            {{1, 10.0, 13.0, 1}, {6, 1000.0, 750.0, 1}, {7, 1e-3, 1.3e-3, 1}, {8, 0.0, 0.0, 0},
                {9, 0.6, 0.72, 2}, de(10, 10)},
            1e-2, 1e6, 100},
        {"ADE10M.TST", "Circuit A, DE 10: KWW, conductive (modulus) form", 'A', 10,
            {{6, 1e4, 7.5e3, 1}, {7, 1e-4, 1.3e-4, 1}, {8, 1.0, 1.0, 0}, {9, 0.45, 0.55, 2}, de(10, 10)}, 1e-1,
            1e7, 80},
        {"ADE11.TST", "Circuit A, DE 11: Jonscher power law with C-infinity", 'A', 10,
            {{6, 1e4, 7.5e3, 1}, {7, 1e-4, 1.3e-4, 1}, {8, 1e-9, 1.3e-9, 1}, {9, 0.7, 0.6, 2}, de(10, 11)}, 1e-2,
            1e7, 60},
        {"ADE12.TST", "Circuit A, DE 12: exponential DAE with two cutoffs", 'A', 10,
            {{6, 1000.0, 750.0, 1}, {7, 1e-2, 1.3e-2, 1}, {8, 6.0, 5.0, 1}, {9, -0.5, -0.4, 2}, de(10, 12)},
            1e-2, 1e6, 50},
        {"ADE13.TST", "Circuit A, DE 13: double-exponential DAE, no cutoffs", 'A', 10,
            {{6, 1000.0, 750.0, 1}, {7, 1e-3, 1.3e-3, 1}, {8, 0.4, 0.5, 1}, {9, 0.8, 0.65, 1}, de(10, 13)}, 1e-3,
            1e6, 50},
        {"ADE14.TST", "Circuit A, DE 14: Gaussian DAE (log-normal DRT)", 'A', 10,
            {{1, 10.0, 13.0, 1}, {6, 1000.0, 750.0, 1}, {7, 1e-3, 1.3e-3, 1}, {8, 0.0, 0.0, 0}, {9, 1.5, 1.2, 1},
                de(10, 14)},
            1e-3, 1e6, 60},
        {"ADE14T.TST", "Circuit A, DE 14 transient: log-normal decay; column 1 is t in s", 'A', 10,
            {{6, 1.0, 0.8, 1}, {7, 1e-3, 1.3e-3, 1}, {8, 1.0, 1.0, 0}, {9, 1.0, 0.8, 1}, de(10, 14)}, 1e-6, 1e-2,
            40, 1, 'Z', 'R', ' ', 'R'},
        {"ADE15.TST", "Circuit A, DE 15: anomalous diffusion ended by a boundary resistance", 'A', 10,
            {{1, 20.0, 26.0, 1}, {6, 200.0, 150.0, 1}, {7, 0.5, 0.65, 1}, {8, 300.0, 230.0, 1},
                {9, 0.45, 0.4, 2}, de(10, 15)},
            1e-3, 1e4, 60},
        {"ADE18.TST", "Circuit A, DE 18: Dissado-Hill, Z level", 'A', 10,
            {{6, 1000.0, 750.0, 1}, {7, 1e-3, 1.3e-3, 1}, {8, 0.4, 0.5, 2}, {9, 0.6, 0.5, 2}, de(10, 18)}, 1e-3,
            1e6, 60},
        {"ADE19.TST", "Circuit A, DE 19: Dissado-Hill at the dielectric level, fitted as eps", 'A', 10,
            {{4, 3 * cc, 2.5 * cc, 1}, {6, 5.0, 4.0, 1}, {7, 1e-3, 1.3e-3, 1}, {8, 0.6, 0.5, 2},
                {9, 0.3, 0.4, 2}, de(10, 19)},
            1e-2, 1e7, 60, 3, 'E'},
        {"ADE20.TST", "Circuit A, DE 20: power law with a fixed reference time", 'A', 10,
            {{1, 10.0, 13.0, 1}, {6, 1000.0, 750.0, 1}, {7, 1e-3, 1e-3, 0}, {9, 0.7, 0.6, 2}, de(10, 20)}, 1e-2,
            1e6, 40},
        {"ADE21.TST", "Circuit A, DE 21: universal dielectric power law, fitted as eps", 'A', 10,
            {{4, 3 * cc, 2.5 * cc, 1}, {6, 5.0, 4.0, 1}, {7, 1e-3, 1e-3, 0}, {9, 0.3, 0.4, 2}, de(10, 21)}, 1e-2,
            1e6, 40, 3, 'E'},
        {"ADE22.TST", "Circuit A, DE 22: modulus power law, fitted as M", 'A', 10,
            {{6, 0.2, 0.15, 1}, {7, 1e-3, 1e-3, 0}, {9, 0.6, 0.5, 2}, de(10, 22)}, 1e-2, 1e6, 40, 3, 'M'},
        {"ADE23.TST", "Circuit A, DE 23: ten-section R-CPE ladder, open end", 'A', 10,
            {{1, 10.0, 13.0, 1}, {6, 1000.0, 750.0, 1}, {7, 1e-4, 1.3e-4, 1}, {8, 10.0, 10.0, 0},
                {9, 0.8, 0.7, 2}, de(10, 23)},
            1e-2, 1e6, 60},
        {"ADE24.TST", "Circuit A, DE 24: ten-section R-CPE ladder, shorted end", 'A', 10,
            {{1, 10.0, 13.0, 1}, {6, 1000.0, 750.0, 1}, {7, 1e-4, 1.3e-4, 1}, {8, 10.0, 10.0, 0},
                {9, 0.8, 0.7, 2}, de(10, 24)},
            1e-2, 1e6, 60},
        {"ADE25.TST", "Circuit A, DE 25: Bruggeman mixture with a conducting CPE phase, as eps", 'A', 10,
            {{6, 4.0, 3.0, 1}, {7, 1e-3, 1.3e-3, 1}, {8, 0.25, 0.2, 2}, {9, 0.4, 0.5, 2}, de(10, 25)}, 1e-2,
            1e6, 60, 3, 'E'},
        {"ADE26.TST", "Circuit A, DE 26: R in series with a CPE, corner at 1/T", 'A', 10,
            {{6, 100.0, 75.0, 1}, {7, 1e-2, 1.3e-2, 1}, {9, 0.7, 0.6, 2}, de(10, 26)}, 1e-2, 1e5, 40},
        {"ADE27.TST", "Circuit A, DE 27: eps-infinity in parallel with a CPE, as eps", 'A', 10,
            {{6, 3.0, 2.3, 1}, {7, 1e-3, 1.3e-3, 1}, {9, 0.4, 0.5, 2}, de(10, 27)}, 1e-2, 1e6, 40, 3, 'E'},
        {"ADE28.TST", "Circuit A, DE 28: exponential DAE at the dielectric level, as eps", 'A', 10,
            {{4, 3 * cc, 2.5 * cc, 1}, {6, 5.0, 4.0, 1}, {7, 1e-2, 1.3e-2, 1}, {8, 6.0, 5.0, 1},
                {9, 0.5, 0.6, 2}, de(10, 28)},
            1e-2, 1e6, 50, 3, 'E'},
        {"ADE29.TST", "Circuit A, DE 29: generalised Davidson-Cole", 'A', 10,
            {{6, 1000.0, 750.0, 1}, {7, 1e-3, 1.3e-3, 1}, {8, -0.5, -0.4, 2}, {9, 0.7, 0.6, 2}, de(10, 29)},
            1e-3, 1e6, 60},
        {"ADE30.TST", "Circuit A, DE 30: box distribution of activation energies (PHI = 0)", 'A', 10,
            {{6, 1000.0, 750.0, 1}, {7, 1e-2, 1.3e-2, 1}, {8, 8.0, 6.5, 1}, {9, 0.0, 0.0, 0}, de(10, 30)}, 1e-2,
            1e6, 50},
        {"ADE31.TST", "Circuit A, DE 31: Hanai-Bruggeman mixture, as eps", 'A', 10,
            {{6, 4.0, 3.0, 1}, {7, 1e-3, 1.3e-3, 1}, {8, 0.3, 0.25, 2}, {9, 0.4, 0.5, 2}, de(10, 31)}, 1e-2, 1e6,
            60, 3, 'E'},
        {"ADE32.TST", "Circuit A, DE 32: KWW at beta 1/2, conductive form", 'A', 10,
            {{6, 1000.0, 750.0, 1}, {7, 1e-3, 1.3e-3, 1}, {8, 1.0, 1.0, 0}, de(10, 32)}, 1e-2, 1e6, 50},
        {"ADE33.TST", "Circuit A, DE 33: Arrhenius law of a resistance; column 1 is T in K", 'A', 10,
            {{6, 2.5, 3.2, 1}, {7, 0.0, 0.0, 0}, {8, 0.42, 0.35, 2}, {9, 1.0, 1.0, 0}, de(10, 33)}, 250, 600, 25,
            1, 'Z', 'L', ' ', 'R'},
        {"ADE34.TST", "Circuit A, DE 34: one-cutoff power-law DRT", 'A', 10,
            {{1, 10.0, 13.0, 1}, {6, 1000.0, 750.0, 1}, {7, 1e-3, 1.3e-3, 1}, {9, 0.6, 0.5, 2}, de(10, 34)}, 1e-3,
            1e6, 50},
        {"ADE35.TST", "Circuit A, DE 35: KWW at beta 1/3, dielectric form", 'A', 10,
            {{6, 1000.0, 750.0, 1}, {7, 1e-3, 1.3e-3, 1}, {8, 0.0, 0.0, 0}, de(10, 35)}, 1e-2, 1e7, 50},
        {"ADE36.TST", "Circuit A, DE 36: KWW through its DRT", 'A', 10,
            {{6, 1000.0, 750.0, 1}, {7, 1e-3, 1.3e-3, 1}, {8, 0.0, 0.0, 0}, {9, 0.7, 0.6, 2}, de(10, 36)}, 1e-2,
            1e6, 50},
        {"ADE37.TST", "Circuit A, DE 37: KWW DRT at beta 0.5; column 1 is tau in s", 'A', 10,
            {{6, 1.0, 0.8, 1}, {7, 1e-3, 1.3e-3, 1}, {9, 0.5, 0.6, 2}, de(10, 37)}, 1e-6, 1e-1, 40, 1, 'Z', 'R',
            ' ', 'R'},
    };
}

// The measured spectrum of a lithium-ion cell (frequency in Hz, Z' and Z''
// in ohm): series R and L, double layer C, charge transfer R with a
// reflecting diffusion element (DE 16), unit weighting.
FitJob batteryJob(const std::string& dataFile, char fun, const char* description, int n,
    const std::vector<std::pair<double, int>>& p)
{
    std::ifstream in(dataFile);
    if (!in)
        throw nosk::exception("Cannot open file '%s'!", dataFile.c_str());
    std::vector<double> f, re, im;
    double a, b, c;
    while (in >> a >> b >> c) {
        f.push_back(a);
        re.push_back(b);
        im.push_back(c);
    }
    FitJob job = nosk::engine::impedanceFitJob(fun, n, description);
    job.IPRINT = 1;
    for (int i = 0; i < n; ++i) {
        job.P[i] = p[i].first;
        job.NFREE[i] = p[i].second;
    }
    job.allocateData(static_cast<int>(f.size()), false);
    for (std::size_t i = 0; i < f.size(); ++i) {
        (*job.FREQ)[i] = f[i];
        (*job.DATA1)[i] = re[i];
        (*job.DATA2)[i] = im[i];
    }
    return job;
}

} // namespace

int main(int argc, char** argv)
{
    static const char* const usage = "usage: nosk_make_examples <source folder> [--force]\n"
                                     "  writes the example jobs missing under <source folder>/fittests\n"
                                     "  (all of them with --force)\n";
    if (argc == 2 && (std::string(argv[1]) == "--help" || std::string(argv[1]) == "-h")) {
        std::fputs(usage, stdout);
        return 0;
    }
    const bool force = argc == 3 && std::string(argv[2]) == "--force";
    // An option where the folder belongs is a mistake, never a folder's name.
    if ((argc != 2 && !force) || argv[1][0] == '-') {
        std::fputs(usage, stderr);
        return 1;
    }
    namespace fs = std::filesystem;
    const fs::path root = argv[1];
    auto write = [force](const FitJob& job, const fs::path& path) {
        if (!force && fs::exists(path))
            return;
        fs::create_directories(path.parent_path());
        job.save(path.string());
        std::printf("%s\n", path.string().c_str());
    };
    try {
        std::vector<Example> all = examples();
        for (Example& e : deExamples())
            all.push_back(std::move(e));
        for (const Example& e : all)
            write(makeJob(e), root / "fittests" / (std::string("CKT.") + e.fun) / e.name);
        const std::string data = (root / "tests" / "data" / "battery-eis.txt").string();
        const fs::path fittests = root / "fittests";
        write(batteryJob(data, 'B', "Li-ion battery, measured: Randles cell with reflecting diffusion (DE 16)", 10,
                  {{0.015, 1}, {1.0, 1}, {1.5e-7, 1}, {0.015, 1}, {0.0, 0}, {0.02, 1}, {100.0, 1}, {0.0, 0},
                      {0.5, 1}, {16.0, 0}}),
            fittests / "CKT.B" / "BDE16BAT.TST");
        // Rs, L, CPE double layer (DE 2) || Rct + reflecting diffusion (DE 16).
        write(batteryJob(data, 'C', "Li-ion battery, measured: CPE double layer (DE 2), diffusion (DE 16)", 20,
                  {{0.015, 1}, {0.0, 0}, {1.5e-7, 1}, {0.01, 1}, {0.0, 0}, {0.0, 0}, {1.0, 1}, {0.0, 0},
                      {0.8, 1}, {2.0, 0}, {0.03, 1}, {50.0, 1}, {0.0, 0}, {0.5, 1}, {16.0, 0}, {0.0, 0},
                      {0.0, 0}, {0.0, 0}, {0.0, 0}, {0.0, 0}}),
            fittests / "CKT.C" / "CBAT.TST");
        write(batteryJob(data, 'S', "Li-ion battery, measured: Rs, L, two ZARCs and a diffusion CPE", 11,
                  {{0.015, 1}, {0.0, 0}, {1.5e-7, 1}, {0.005, 1}, {5.0, 1}, {0.8, 1}, {0.01, 1}, {20.0, 1},
                      {0.7, 1}, {300.0, 1}, {0.5, 1}}),
            fittests / "CKT.S" / "SBAT.TST");
        write(batteryJob(data, 'T', "Li-ion battery, measured: CPE double layer, finite diffusion (Ws)", 7,
                  {{0.015, 1}, {1.0, 1}, {1.5e-7, 1}, {0.01, 1}, {0.8, 1}, {0.03, 1}, {50.0, 1}}),
            fittests / "CKT.T" / "TBAT.TST");
    } catch (const nosk::exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
    return 0;
}
