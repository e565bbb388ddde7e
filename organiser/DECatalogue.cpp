#include "DECatalogue.h"
#include "model/DeTable.h"

#include "core/NumberText.h"

#include <array>
#include <cmath>
#include <cstdio>

namespace nosk::de {
namespace {

// The lines under each DE's title (its number and the title of its row in
// the engine's DE table), separated by CR LF. The formula lines use the
// engine's parameter names: R, T (also TT), U and PHI, OMEGA the angular
// frequency, EPS (or E) a dielectric constant, M a modulus, CELCAP the cell
// capacitance.
const std::array<std::string, kCount> kLines = {
    // 0
    "   Z = 0 (AN EMPTY SLOT)",
    // 1
    "   Z = R / (1 + i*OMEGA*R*T)",
    // 2
    "   Z = 1 / (T*(i*OMEGA)**PHI)\r\n"
    "   R AND U ARE NOT USED",
    // 3
    "   Z = R / (1 + R*T*(i*OMEGA)**PHI)",
    // 4
    "   Z = R / (1 + (R**U)*T(i*OMEGA)**PHI)",
    // 5
    "   Z = R / (1 + (i*T*OMEGA)**PHI)",
    // 6
    "   Z = R / (1 + (i*TT*OMEGA)**U )**PHI",
    // 7
    "   Z = R / (1 + i*T*OMEGA)**PHI",
    // 8
    "   Z = R / (1 + (i*K*T*OMEGA)**U)**PHI\r\n"
    "   K PUTS THE LOSS PEAK AT OMEGA = 1/T\r\n"
    "   0 < U <= 1, PHI > 0, U*PHI <= 1",
    // 9
    "   Z = R * TANH((i*TT*OMEGA)**PHI) / (i*TT*OMEGA)**PHI",
    // 10
    "   PSI(t) = EXP(-(t/T)**PHI), PHI = BETA, 0.1 ... 1\r\n"
    "   U=0: Z = R * FT OF -dPSI/dt AT OMEGA\r\n"
    "   U=1: Z = R * FT OF PSI / (T*GAMMA(1+1/PHI))\r\n"
    "   U IS FIXED",
    // 11
    "   Z = 1 / ((1 + (i*OMEGA*T)**PHI)/R + i*OMEGA*U)\r\n"
    "   U = HIGH-FREQUENCY CAPACITANCE (F), 0 < PHI <= 1",
    // 12
    "   Z = R * INTEGRAL G(Y) / (1 + i*OMEGA*T*EXP(Y)) DY\r\n"
    "   G ~ EXP(PHI*Y) FOR -U <= Y <= 0, ELSE 0\r\n"
    "   T = TAU MAX, U = LN(TAU MAX / TAU MIN), |PHI| <= 20",
    // 13
    "   Z = R * INTEGRAL G(Y) / (1 + i*OMEGA*T*EXP(Y)) DY\r\n"
    "   G ~ EXP(U*Y) FOR Y <= 0, EXP(-PHI*Y) FOR Y >= 0\r\n"
    "   THE DRT PEAKS AT TAU = T",
    // 14
    "   G(Y) = EXP(-Y**2/(2*PHI**2)) / (PHI*SQRT(2*PI))\r\n"
    "   U=0: Z = R * INTEGRAL G/(1 + i*OMEGA*T*EXP(Y)) DY\r\n"
    "   U=1: Z = R * INTEGRAL G*EXP(-(X/T)*EXP(-Y)) DY\r\n"
    "        X = TIME IN COLUMN 1, REAL OUTPUT",
    // 15
    "   Z = R*(U*S + R*TANH(S)) / (S*(R + U*S*TANH(S)))\r\n"
    "   S = (i*OMEGA*T)**PHI, 0 < PHI <= 0.5\r\n"
    "   U = RESISTANCE AT THE FAR END",
    // 16
    "   Z = R * COTH((i*TT*OMEGA)**PHI) / (i*TT*OMEGA)**PHI",
    // 17
    "   PARALLEL COMBINATION OF C (TDE), R (RDE), AND A SERIES\r\n"
    "   COMBINATION OF ANOTHER R (UDE) AND AN L (PDE).",
    // 18
    "   Z = R * C * (1+i*X)**(PHI-1) * F, X = OMEGA*T\r\n"
    "   F = 2F1(1-PHI, 1-U; 2-PHI; 1/(1+i*X))\r\n"
    "   C = GAMMA(1+U-PHI) / (GAMMA(2-PHI)*GAMMA(U))\r\n"
    "   U = m (0 < U <= 1), PHI = n (0 <= PHI < 1)",
    // 19
    "   EPS = R * (THE DE 18 RESPONSE WITH R = 1)\r\n"
    "   Z = 1 / (i*OMEGA*CELCAP*EPS)",
    // 20
    "   Z = R * (i*OMEGA*T)**(-PHI), -1 <= PHI <= 1\r\n"
    "   T IS A FIXED REFERENCE TIME",
    // 21
    "   EPS = R * (i*OMEGA*T)**(-PHI), 0 <= PHI <= 1\r\n"
    "   Z = 1 / (i*OMEGA*CELCAP*EPS); T IS FIXED",
    // 22
    "   M = R * (i*OMEGA*T)**PHI, 0 <= PHI <= 1\r\n"
    "   Z = M / (i*OMEGA*CELCAP); T IS FIXED",
    // 23
    "   U SECTIONS: R/U IN SERIES, (T/U)*(i*OMEGA)**PHI\r\n"
    "   IN SHUNT; THE FAR END IS OPEN\r\n"
    "   U = FIXED WHOLE NUMBER, 1 ... 100000",
    // 24
    "   U SECTIONS: R/U IN SERIES, (T/U)*(i*OMEGA)**PHI\r\n"
    "   IN SHUNT; THE FAR END IS SHORTED\r\n"
    "   U = FIXED WHOLE NUMBER, 1 ... 100000",
    // 25
    "   BRUGGEMAN MIXTURE OF A CONDUCTING PHASE\r\n"
    "   EI = R + (i*OMEGA*T)**(PHI-1) IN A DIELECTRIC HOST:\r\n"
    "   U*(EI-E)/(EI+2*E) + (1-U)*(R-E)/(R+2*E) = 0\r\n"
    "   U = VOLUME FRACTION OF THE CONDUCTING PHASE\r\n"
    "   R = BULK DIELECTRIC CONSTANT OF THE HOST\r\n"
    "   Z = 1 / (i*OMEGA*CELCAP*E)",
    // 26
    "   Z = R * (1 + (i*OMEGA*T)**(-PHI)), 0 <= PHI <= 1",
    // 27
    "   EPS = R + (i*OMEGA*T)**(PHI-1), 0 <= PHI <= 1\r\n"
    "   Z = 1 / (i*OMEGA*CELCAP*EPS)",
    // 28
    "   EPS = R * (THE DE 12 RESPONSE WITH R = 1)\r\n"
    "   Z = 1 / (i*OMEGA*CELCAP*EPS)",
    // 29
    "   Z = R * 2F1(1, PHI; 1+PHI-U; -i*OMEGA*T)\r\n"
    "   U = PHI: DAVIDSON-COLE; U = 0: DE 34",
    // 30
    "   PHI=0: Z = R * (1 - L/U)\r\n"
    "   PHI=1: Z = R * L / (i*X*(1-EXP(-U)))\r\n"
    "   L = LN((1+i*X)/(1+i*X*EXP(-U))), X = OMEGA*T",
    // 31
    "   (E-EI)/(R-EI) * (R/E)**(1/3) = 1 - U\r\n"
    "   EI = R + (i*OMEGA*T)**(PHI-1)\r\n"
    "   Z = 1 / (i*OMEGA*CELCAP*E)",
    // 32
    "   DE 10 AT PHI = 0.5 (FADDEEVA FUNCTION)\r\n"
    "   U=0: DIELECTRIC FORM, U=1: CONDUCTIVE FORM",
    // 33
    "   Z = R * X**PHI * EXP(U/(K*(X-T))), REAL OUTPUT\r\n"
    "   X = TEMPERATURE IN K (COLUMN 1), U IN EV\r\n"
    "   T = VOGEL TEMPERATURE (0: ARRHENIUS)",
    // 34
    "   PHI>0: Z = R * 2F1(1, PHI; 1+PHI; -i*OMEGA*T)\r\n"
    "   PHI<0: Z = R * (1 - 2F1(1, Q; 1+Q; 1/(i*OMEGA*T)))\r\n"
    "   Q = -PHI",
    // 35
    "   DE 10 AT PHI = 1/3 (SCORER FUNCTION)\r\n"
    "   U=0: DIELECTRIC FORM, U=1: CONDUCTIVE FORM",
    // 36
    "   DE 10 COMPUTED FROM ITS DRT, 0.1 <= PHI <= 0.98",
    // 37
    "   USE IRCH=0, OR >0 FOR FIT\r\n"
    "   Z = R * G(LN(X/T)), REAL OUTPUT\r\n"
    "   X = TAU IN S (COLUMN 1), PHI = BETA",
};

const std::array<int, kCount> kTopics = {
    10204, 10205, 10206, 10206, 10207, 10207, 10208, 10208, 10208, 10209,
    10210, 10211, 10212, 10213, 10214, 10215, 10215, 10216, 10217, 10217,
    10218, 10218, 10218, 10218, 10218, 10218, 10218, 10218, 10218, 10218,
    10219, 10220, 10221, 10222, 10223, 10224, 10225, 10226,
};

// The example jobs that come with the bundled engine (fittests/CKT.<letter>/),
// listed under the DEs they use; "*" where there is none.
const std::array<std::string, kCount> kExamples = {
    "*",                                   // 0
    "ADE1.TST,EDE5.TST",                   // 1
    "ADE2.TST,CDE2.TST,CBAT.TST,FDE2.TST,ODIEL.TST",  // 2
    "ADE3.TST,AMIX3.TST,HBRICK.TST",       // 3
    "ADE4.TST",                            // 4
    "ADE5.TST,AMIX3.TST,EDE5.TST,ODIEL.TST",  // 5
    "ADE6.TST",                            // 6
    "ADE7.TST",                            // 7
    "ADE8.TST",                            // 8
    "ADE9.TST,AMIX3.TST,BDE9.TST,JFILM.TST",  // 9
    "ADE10.TST,ADE10M.TST",                // 10
    "ADE11.TST",                           // 11
    "ADE12.TST",                           // 12
    "ADE13.TST",                           // 13
    "ADE14.TST,ADE14T.TST",                // 14
    "ADE15.TST",                           // 15
    "ADE16.TST,BDE16.TST,BDE16BAT.TST,CDE2.TST,CBAT.TST",  // 16
    "ADE17.TST",                           // 17
    "ADE18.TST",                           // 18
    "ADE19.TST",                           // 19
    "ADE20.TST",                           // 20
    "ADE21.TST",                           // 21
    "ADE22.TST",                           // 22
    "ADE23.TST",                           // 23
    "ADE24.TST",                           // 24
    "ADE25.TST",                           // 25
    "ADE26.TST",                           // 26
    "ADE27.TST",                           // 27
    "ADE28.TST",                           // 28
    "ADE29.TST",                           // 29
    "ADE30.TST",                           // 30
    "ADE31.TST",                           // 31
    "ADE32.TST",                           // 32
    "ADE33.TST",                           // 33
    "ADE34.TST",                           // 34
    "ADE35.TST",                           // 35
    "ADE36.TST",                           // 36
    "ADE37.TST",                           // 37
};

const std::string kEmpty;

bool valid(int de) { return de >= 0 && de < kCount; }

} // namespace

const std::string& description(int de)
{
    static const std::array<std::string, kCount> texts = [] {
        std::array<std::string, kCount> t;
        for (std::size_t i = 0; i < t.size(); ++i)
            t[i] = std::to_string(i) + ": " + engine::deRow(static_cast<int>(i)).title + "\r\n" + kLines[i];
        return t;
    }();
    return valid(de) ? texts[static_cast<std::size_t>(de)] : kEmpty;
}

std::string title(int de)
{
    const std::string& text = description(de);
    return text.substr(0, text.find('\r'));
}

int helpTopic(int de)
{
    return valid(de) ? kTopics[static_cast<std::size_t>(de)] : 0;
}

const std::string& exampleList(int de)
{
    static const std::string none = "*";
    return valid(de) ? kExamples[static_cast<std::size_t>(de)] : none;
}

std::vector<std::string> examples(int de)
{
    std::vector<std::string> names;
    const std::string& list = exampleList(de);
    if (list == "*")
        return names;
    std::size_t start = 0;
    for (;;) {
        std::size_t comma = list.find(',', start);
        names.push_back(list.substr(start, comma - start));
        if (comma == std::string::npos)
            break;
        start = comma + 1;
    }
    return names;
}

int numberFromText(const std::string& text)
{
    const double v = readNumber(text, kTypedNumber).value_or(0.0);
    if (v > 1e6 || v < -1e6)
        return -1;
    return static_cast<int>(v);
}

std::string tooltip(int de)
{
    return title(de).substr(0, 79);
}

} // namespace nosk::de
