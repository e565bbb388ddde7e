#pragma once

#include "ParameterRoles.h"
#include "SeriesFit.h"
#include "SeriesProblem.h"

#include "results/FitStatistics.h"

#include <Eigen/Dense>

#include <string>
#include <vector>

namespace nosk::series {

using nosk::ParameterStatus;

// A published coefficient of the joint fit: a shared parameter ("P1") or
// a function's coefficient ("P4.A", "P4.Ea").
struct Coefficient {
    int freeIndex = 0;   // the free parameter it belongs to
    int param = 0;       // its parameter, from 0 (P1 is 0)
    Role role = Role::Shared;
    std::string name;
    double value = 0, stdDev = 0, low = 0, high = 0;  // low, high: the 95 % interval
    ParameterStatus status = ParameterStatus::Determined;
};

// Every free parameter of one spectrum: its value there (a shared one's
// value, a function's value at the spectrum's covariate), std dev, status.
struct SpectrumValues {
    std::vector<double> value, stdDev;
    std::vector<ParameterStatus> status;
    double S = 0;  // this spectrum's part of S
    int K = 0;
};

// The statistics of the joint fit from its covariance XS (J^T J)^-1, with
// the honesty of a single fit: a variable held by a limit (or the bound of
// ln p) counts as fixed, one the data do not determine (its column does
// not move the residuals, or moves them only with others) is left out of
// the covariance of the others; their std devs are NaN. The covariance is
// formed by the same blocks as the step (Schur complement), so its cost
// too grows linearly with the spectra.
struct JointStatistics {
    int K = 0, variables = 0, nu = 0;
    double S = 0, XS = 0, sigma = 0;
    std::vector<Coefficient> coefficients;
    Eigen::MatrixXd correlation;  // of the coefficients; NaN where one is not determined
    std::vector<SpectrumValues> spectra;
    // Per free parameter that follows a function: per spectrum the value's
    // std dev from the coefficients' covariance (the band of the plot).
};

JointStatistics jointStatistics(SeriesProblem& problem, const std::vector<double>& x);

// The p-value of the F-test of a restricted model (Pr variables, sum of
// squares Sr) nested in a full one (Pf > Pr, Sf) over K values; F receives
// the statistic. 1 when the full model fits no better.
double fTestPValue(double Sr, int Pr, double Sf, int Pf, int K, double* F = nullptr);
// "p < 1e-15" or "p = 0.0321".
std::string pValueText(double p);
// Akaike's and the Bayesian information criterion of a least-squares fit.
double aic(double S, int P, int K);
double bic(double S, int P, int K);

// One spectrum fitted alone (the start of the joint fit and the full
// model of the test of the roles).
struct IndependentFit {
    bool ok = false;
    std::string error;
    std::string end;
    double S = 0;
    int K = 0;
    std::vector<double> value, stdDev;  // per free parameter
    std::vector<ParameterStatus> status;
};

// The test of freeing one shared or function parameter alone.
struct ParameterTest {
    int freeIndex = 0;
    std::string name;  // "P6"
    Role role = Role::Shared;
    double S = 0;      // S with the parameter local
    double F = 0, pValue = 1;
    std::vector<int> disagree;  // the spectra whose S falls most when it is freed
    std::string verdict;
};

struct RolesTest {
    bool available = false;  // false when every parameter is local or a fit failed
    std::string why;         // why not, when not available
    int K = 0;
    double Sjoint = 0, Sindependent = 0;
    int Pjoint = 0, Pindependent = 0;
    double F = 0, pValue = 1;
    double aicJoint = 0, aicIndependent = 0, bicJoint = 0, bicIndependent = 0;
    std::string verdict;
    std::vector<ParameterTest> parameters;
};

// Names the spectra by their covariate ("150 mV, 175 mV and 200 mV").
std::string spectraText(const SeriesProblem& problem, const std::vector<int>& spectra, const std::string& unit);

// The test of the roles: the joint fit at x against the independent fits,
// and each shared or function parameter freed alone (a joint fit each,
// from x). `unit` names the covariate's unit in the verdicts.
RolesTest testRoles(SeriesProblem& problem, const std::vector<double>& x, double S,
    const std::vector<IndependentFit>& independent, const std::string& unit, bool eachParameter = true);

} // namespace nosk::series
