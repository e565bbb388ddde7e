#include "DECatalogue.h"

#include <array>
#include <cmath>
#include <cstdio>

namespace nosk::de {
namespace {

// Lines of a text are separated by CR LF; a title that stands alone ends with
// its line break. The formula lines of the DEs the bundled engine computes
// use its parameter names: R, T (also TT), U and PHI, OMEGA the angular
// frequency.
const std::array<std::string, kCount> kTexts = {
    "0: Short circuit\r\n",
    "1: R and C in parallel\r\n"
    "   Z = R / (1 + i*OMEGA*R*T)",
    "2: CPE, etc., #1\r\n"
    "   Z = 1 / (T*(i*OMEGA)**PHI)\r\n"
    "   R AND U ARE NOT USED",
    "3: CPE, etc., #2\r\n"
    "   Z = R / (1 + R*T*(i*OMEGA)**PHI)",
    "4: ZC #1 Cole-Cole (Z-level)\r\n"
    "   Z = R / (1 + (R**U)*T(i*OMEGA)**PHI)",
    "5: ZC #2\r\n"
    "   Z = R / (1 + (i*T*OMEGA)**PHI)",
    "6: HN #1  Havriliak-Negami, etc.\r\n"
    "   Z = R / (1 + (i*TT*OMEGA)**U )**PHI",
    "7: CD #2  Use for CD model only.\r\n"
    "   Z = R / (1 + i*T*OMEGA)**PHI",
    "8: HN #3\r\n"
    "   Havriliak-Negami response, third form.\r\n"
    "   Not computed by the bundled engine.",
    "9: Generalized Finite Warburg\r\n"
    "   Z = R * TANH((i*TT*OMEGA)**PHI) / (i*TT*OMEGA)**PHI",
    "10: Accurate KWW responses; no cutoff\r\n",
    "11: Jonscher response\r\n",
    "12: EDAE1: Exponential DRT (See CktO)\r\n"
    "   Exponential distribution of relaxation times.\r\n"
    "   Not computed by the bundled engine.",
    "13: EDAE2: Exponential DRT\r\n",
    "14: GDAE2: Gaussian DRT; incl. trans. resp.\r\n"
    "   Gaussian distribution of activation energies.\r\n"
    "   Not computed by the bundled engine.",
    "15: General Diffusion #1\r\n",
    "16: General Diffusion #2\r\n",
    "17: Four ideal elements (including L)\r\n"
    "   PARALLEL COMBINATION OF C (TDE), R (RDE), AND A SERIES\r\n"
    "   COMBINATION OF ANOTHER R (UDE) AND AN L (PDE).",
    "18: Dissado-Hill, Z level\r\n",
    "19: Dissado-Hill, E level\r\n",
    "20: PLE #1 Power-law DCE\r\n"
    "   Power-law distribution of relaxation times.\r\n"
    "   Not computed by the bundled engine.",
    "21: PLE #2  E-level\r\n"
    "   Power-law distribution at the dielectric level.\r\n"
    "   Not computed by the bundled engine.",
    "22: PLE #3\r\n"
    "   Power-law distribution, third form.\r\n"
    "   Not computed by the bundled engine.",
    "23: Ladder network #1\r\n"
    "   Transmission-line ladder of R and C elements.\r\n"
    "   Not computed by the bundled engine.",
    "24: Ladder network #2\r\n"
    "   Transmission-line ladder, second form.\r\n"
    "   Not computed by the bundled engine.",
    "25: Effective medium using PCPE\r\n"
    "   EFFECTIVE-MEDIUM RESPONSE OF A TWO-PHASE MIXTURE:\r\n"
    "   A CONDUCTING PHASE DESCRIBED BY A PARALLEL CPE (T, PHI)\r\n"
    "   DISPERSED IN A DIELECTRIC HOST.\r\n"
    "   U = VOLUME FRACTION OF THE CONDUCTING PHASE\r\n"
    "   R = BULK DIELECTRIC CONSTANT OF THE HOST\r\n"
    "   Not computed by the bundled engine.",
    "26: Series CPE: SCPE\r\n"
    "   Constant phase element in series form.\r\n"
    "   Not computed by the bundled engine.",
    "27: Parallel CPE: PCPE E-level\r\n"
    "   Constant phase element in parallel form, dielectric level.\r\n"
    "   Not computed by the bundled engine.",
    "28: PLE E-level DSD O-circuit only\r\n"
    "   Power-law response for the O circuit only.\r\n"
    "   Not computed by the bundled engine.",
    "29: Generalized Davidson-Cole\r\n"
    "   Davidson-Cole response with an extra shape exponent.\r\n"
    "   Not computed by the bundled engine.",
    "30: EDAE1 exact model: phi=0 or 1\r\n",
    "31: Effective-Medium BDM equation\r\n",
    "32: KWW BETA=0.5, exact\r\n",
    "33: Arrhenius and other thermal fits\r\n",
    "34: Simplified, generalized EDAE\r\n",
    "35: KWW BETA=1/3, exact\r\n",
    "36: KWW arb. BETA, uses DRT\r\n"
    "   Stretched-exponential response from its distribution.\r\n"
    "   Not computed by the bundled engine.",
    "37: Calculates KWW DRT, arb. BETA\r\n"
    "   USE IRCH=0, OR >0 FOR FIT",
};

const std::array<int, kCount> kTopics = {
    10204, 10205, 10206, 10206, 10207, 10207, 10208, 10208, 10208, 10209,
    10210, 10211, 10212, 10213, 10214, 10215, 10215, 10216, 10217, 10217,
    10218, 10218, 10218, 10218, 10218, 10218, 10218, 10218, 10218, 10218,
    10219, 10220, 10221, 10222, 10223, 10224, 10225, 10226,
};

// The example jobs that come with the bundled engine (fittests/CKT.<letter>/),
// listed under the DEs they use; "*" where there is none. The circuits built
// of elements alone stand under 0, the empty DE slot.
const std::array<std::string, kCount> kExamples = {
    "DVOIGT5.TST,GTLM.TST,IGER.TST,KVOIGT9.TST,RWARB.TST,SZARC.TST,SBAT.TST,TWS.TST,TBAT.TST",  // 0
    "ADE1.TST,EDE5.TST",                   // 1
    "ADE2.TST,CDE2.TST,CBAT.TST,FDE2.TST,ODIEL.TST",  // 2
    "ADE3.TST,AMIX3.TST,HBRICK.TST",       // 3
    "ADE4.TST",                            // 4
    "ADE5.TST,AMIX3.TST,EDE5.TST,ODIEL.TST",  // 5
    "ADE6.TST",                            // 6
    "ADE7.TST",                            // 7
    "*",                                   // 8
    "ADE9.TST,AMIX3.TST,BDE9.TST,JFILM.TST",  // 9
    "*", "*", "*", "*", "*", "*",          // 10-15
    "ADE16.TST,BDE16.TST,BDE16BAT.TST,CDE2.TST,CBAT.TST",  // 16
    "ADE17.TST",                           // 17
    "*", "*", "*", "*", "*", "*", "*", "*", "*", "*",  // 18-27
    "*", "*", "*", "*", "*", "*", "*", "*", "*", "*",  // 28-37
};

const std::string kEmpty;

bool valid(int de) { return de >= 0 && de < kCount; }

} // namespace

const std::string& description(int de)
{
    return valid(de) ? kTexts[static_cast<std::size_t>(de)] : kEmpty;
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
    double v = 0;
    if (std::sscanf(text.c_str(), "%lE", &v) != 1 || !std::isfinite(v))
        return 0;
    if (v > 1e6 || v < -1e6)
        return -1;
    return static_cast<int>(v);
}

std::string tooltip(int de)
{
    return title(de).substr(0, 79);
}

} // namespace nosk::de
