// The hypergeometric module: opened only for the DEs that need it, and a
// missing or broken module refuses those DEs' jobs (and nothing else) with the
// DE's message instead of crashing.
#include "EngineTestSupport.h"

#include "core/Exception.h"
#include "engine/DeTable.h"
#include "engine/de/Special.h"
#include "support/Files.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <sys/wait.h>

using namespace nosk;
using namespace nosk::engine;
using namespace nosk::test;

namespace {

// The DEs whose values come (at least at some points) from Arb, each with
// parameters and frequencies that reach the module rather than a series.
struct ArbCase {
    int de;
    DeParams p;
};
const ArbCase kArbCases[] = {
    {12, {2.0, 1e-3, 5.0, 0.4}},
    {13, {2.0, 1e-3, 0.6, 0.4}},
    {18, {2.0, 1e-3, 0.7, 0.3}},
    {29, {2.0, 1e-3, 0.3, 0.6}},
    {34, {2.0, 1e-3, 0.0, 0.4}},
};
const double kOmegas[] = {1e1, 3e2, 1e3, 3e3, 1e5};

std::vector<Complex> valuesOf(const ArbCase& c)
{
    std::vector<Complex> z;
    for (double w : kOmegas)
        z.push_back(deImpedance(c.de, c.p, w));
    return z;
}

std::string refusal(int de, const DeParams& p)
{
    const int nfree[4] = {1, 1, 0, 0};
    try {
        deValidate(de, p, nfree, 9, DeContext{1.0});
    } catch (const exception& e) {
        return e.what();
    }
    return {};
}

struct ModuleReset {
    ~ModuleReset() { de::useHypergeometricModuleForTesting(""); }
};

} // namespace

TEST(HypergeometricModule, MissingOrBrokenModuleRefusesOnlyItsDes)
{
    ModuleReset reset;
    ASSERT_TRUE(de::hypergeometricModuleLoaded()) << de::hypergeometricModuleError();
    std::vector<std::vector<Complex>> before;
    for (const ArbCase& c : kArbCases) {
        EXPECT_EQ(refusal(c.de, c.p), "") << c.de;
        before.push_back(valuesOf(c));
    }
    const Complex f = de::hypergeometric2F1(0.5, 1.5, 2.5, Complex(0.3, -2.0));
    ASSERT_TRUE(std::isfinite(f.real()) && std::isfinite(f.imag()));

    TempWorkDir dir;
    writeAll("garbage.so", "not a shared object\n");
    // Absent, not an ELF file, and an ELF file that is no module of ours.
    for (const std::string& path : {(dir.path() / "absent.so").string(), (dir.path() / "garbage.so").string(),
             std::filesystem::read_symlink("/proc/self/exe").string()}) {
        SCOPED_TRACE(path);
        de::useHypergeometricModuleForTesting(path);
        EXPECT_FALSE(de::hypergeometricModuleLoaded());
        EXPECT_NE(de::hypergeometricModuleError().find(path), std::string::npos) << de::hypergeometricModuleError();
        for (const ArbCase& c : kArbCases) {
            EXPECT_EQ(refusal(c.de, c.p),
                "DE " + std::to_string(c.de) + " needs the module nosk_hypergeometric.so, which cannot be loaded");
            // A trial point of a running fit is out of range, never a NaN in the model.
            Complex z;
            const double w = 1e3, lw = std::log(w);
            EXPECT_FALSE(deEvaluate(c.de, c.p, DeContext{1.0}, &w, &lw, 1, 1.0, &z, nullptr));
        }
        EXPECT_TRUE(std::isnan(de::hypergeometric2F1(0.5, 1.5, 2.5, Complex(0.3, -2.0)).real()));
        // The closed forms and the other special functions do not need it.
        EXPECT_EQ(refusal(2, {2.0, 1e-3, 0.0, 0.7}), "");
        EXPECT_EQ(refusal(14, {2.0, 1e-3, 0.0, 0.7}), "");
        EXPECT_TRUE(std::isfinite(deImpedance(14, {2.0, 1e-3, 0.0, 0.7}, 1e3).real()));
    }

    // Found again in the usual place, with the same values to the bit.
    de::useHypergeometricModuleForTesting("");
    ASSERT_TRUE(de::hypergeometricModuleLoaded()) << de::hypergeometricModuleError();
    for (std::size_t i = 0; i < std::size(kArbCases); ++i)
        EXPECT_EQ(valuesOf(kArbCases[i]), before[i]) << kArbCases[i].de;
    EXPECT_EQ(de::hypergeometric2F1(0.5, 1.5, 2.5, Complex(0.3, -2.0)), f);
}

#ifdef NOSKWIN_PATH

namespace {

// Runs `program` in the current folder with the loader's report of the files
// it opens on standard error.
int runWithLoaderReport(const std::string& program)
{
    const std::string command = "LD_DEBUG=files '" + program + "' </dev/null >out.txt 2>err.txt";
    const int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

void copyExample(const std::string& name)
{
    std::filesystem::copy_file(std::string(NOSK_SOURCE_DIR) + "/fittests/" + name, "INFL",
        std::filesystem::copy_options::overwrite_existing);
}

} // namespace

TEST(HypergeometricModule, NoskwinOpensArbOnlyForTheDesThatNeedIt)
{
    TempWorkDir dir;
    copyExample("CKT.B/BDE16BAT.TST");  // DE 16: a closed form
    ASSERT_EQ(runWithLoaderReport(NOSKWIN_PATH), 0) << readAll("err.txt");
    EXPECT_EQ(readAll("err.txt").find("libflint"), std::string::npos);
    EXPECT_EQ(readAll("err.txt").find("nosk_hypergeometric"), std::string::npos);

    copyExample("CKT.A/ADE12.TST");
    ASSERT_EQ(runWithLoaderReport(NOSKWIN_PATH), 0) << readAll("err.txt");
    EXPECT_NE(readAll("err.txt").find("nosk_hypergeometric.so"), std::string::npos);
    EXPECT_NE(readAll("err.txt").find("libflint"), std::string::npos);
    EXPECT_NE(readAll("out.txt").find("Fit finished"), std::string::npos);

    // A copy of the engine without its module: that job alone is refused
    // (unless a module is installed under the configured prefix, which such
    // a copy finds as a last resort).
    std::filesystem::copy_file(NOSKWIN_PATH, "noskwin");
    const std::string lone = (dir.path() / "noskwin").string();
    if (std::filesystem::exists(NOSK_INSTALLED_MODULE)) {
        EXPECT_EQ(runWithLoaderReport(lone), 0) << readAll("err.txt");
        EXPECT_NE(readAll("err.txt").find(NOSK_INSTALLED_MODULE), std::string::npos);
        return;
    }
    ASSERT_EQ(runWithLoaderReport(lone), 1);
    const std::string reason = "DE 12 needs the module nosk_hypergeometric.so, which cannot be loaded";
    EXPECT_NE(readAll("err.txt").find(reason), std::string::npos);
    EXPECT_NE(readAll("PNTOUTL").find(reason), std::string::npos);
    EXPECT_FALSE(std::filesystem::exists("AUXPNTL"));
    copyExample("CKT.B/BDE16BAT.TST");
    EXPECT_EQ(runWithLoaderReport(lone), 0) << readAll("err.txt");
}

#endif
