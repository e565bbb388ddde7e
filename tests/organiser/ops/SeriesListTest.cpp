// The list of a series: its covariate column, its files relative to the
// list, its mistakes by line; the covariate from a file's own metadata.
#include "ops/SeriesList.h"

#include "core/Exception.h"
#include "support/TempDir.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>

namespace nosk::serieslist {
namespace {

TEST(SeriesList, ReadsTheColumnAskedForWithFilesBesideTheList)
{
    test::TempWorkDir dir;
    std::filesystem::create_directory("runs");
    std::ofstream("runs/list.csv") << "File, E/V ,T/K\r\na.csv,0.1,280\n\n\"b c.csv\",0.2,300.5\n/abs/d.csv,0.3,320\n";
    EXPECT_TRUE(isListFile("runs/list.csv"));
    Quantity q;
    const std::vector<Entry> e = readListFile("runs/list.csv", "T", q);
    EXPECT_EQ(q.name, "T");
    EXPECT_EQ(q.unit, "K");
    ASSERT_EQ(e.size(), 3u);
    EXPECT_EQ(e[0].file, "runs/a.csv");
    EXPECT_EQ(e[1].file, "runs/b c.csv");
    EXPECT_EQ(e[1].value, 300.5);
    EXPECT_EQ(e[2].file, "/abs/d.csv");
    // Without a name the second column.
    EXPECT_EQ(readListFile("runs/list.csv", "", q)[0].value, 0.1);
    EXPECT_EQ(quantityText(q), "E/V");
    try {
        readListFile("runs/list.csv", "soc", q);
        ADD_FAILURE() << "no such column";
    } catch (const exception& err) {
        EXPECT_THAT(err.what(), ::testing::HasSubstr("no column soc"));
    }
    // A spectrum's own CSV is not a list.
    std::ofstream("data.csv") << "freq,re,im\n1,2,3\n";
    EXPECT_FALSE(isListFile("data.csv"));
}

TEST(SeriesList, CovariateFromMetadataInTheUnitAsked)
{
    const Metadata m = {{"date", "2021-10-15"}, {"potential", "0.1250V"}, {"temperature", "25 \xc2\xb0" "C"},
        {"time", "2 min"}};
    EXPECT_NEAR(*fromMetadata(m, {"E", "mV"}), 125.0, 1e-12);
    EXPECT_NEAR(*fromMetadata(m, {"T", "K"}), 298.15, 1e-12);
    EXPECT_NEAR(*fromMetadata(m, {"temperature", "degC"}), 25.0, 1e-12);
    EXPECT_NEAR(*fromMetadata(m, {"t", "s"}), 120.0, 1e-12);
    EXPECT_FALSE(fromMetadata(m, {"soc", ""}).has_value());
    // A value with more than its unit after it is not guessed at.
    EXPECT_FALSE(fromMetadata({{"potential", "0.1250V, Ampl: 10mV"}}, {"E", "mV"}).has_value());
    EXPECT_EQ(*kelvin(-273.15, "degC"), 0.0);
    EXPECT_FALSE(kelvin(300, "mV").has_value());
}

// A temperature with its uncertainty, as impedance instruments write it:
// the value is taken, the uncertainty passed over, the unit converted; an
// uncertainty that is no number leaves the entry unread.
TEST(SeriesList, TemperatureWithUncertaintyFromTheInstrumentFile)
{
    const Spectrum zahner = loadSpectrum(std::string(NOSK_SOURCE_DIR) + "/tests/data/zahner/000_mvdc.ism");
    EXPECT_NEAR(*fromMetadata(zahner.metadata, {"T", "K"}), 272.95, 1e-9);
    EXPECT_NEAR(*fromMetadata(zahner.metadata, {"T", "\xc2\xb0" "C"}), -0.2, 1e-9);
    // Its potential line says more than a value and a unit: still not guessed at.
    EXPECT_FALSE(fromMetadata(zahner.metadata, {"E", "V"}).has_value());
    EXPECT_NEAR(*fromMetadata({{"temperature", "25 +/- 0.5 K"}}, {"T", "K"}), 25.0, 1e-12);
    EXPECT_NEAR(*fromMetadata({{"temperature", "30.5\xc2\xb1" "0.1 degC"}}, {"T", "K"}), 303.65, 1e-9);
    EXPECT_NEAR(*fromMetadata({{"potential", "0.2+-0.001V"}}, {"E", "mV"}), 200.0, 1e-9);
    EXPECT_FALSE(fromMetadata({{"temperature", "25+-C"}}, {"T", "K"}).has_value());
    EXPECT_FALSE(fromMetadata({{"temperature", "25+-0.1 mV"}}, {"T", "K"}).has_value());
}

} // namespace
} // namespace nosk::serieslist
