#include "character/settings.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <string>

#include "character/character.h"

namespace dv {
namespace {

std::string ErrorOf(const std::string& text) {
    try {
        ParseTurnRates(text, "set.txt");
    } catch (const SettingsError& e) {
        return e.what();
    }
    return "";
}

TEST(TurnRateSettings, TwoLinesWithEitherDecimalSeparator) {
    TurnRates r = ParseTurnRates("0.25\n0,125\n", "set.txt");
    EXPECT_FLOAT_EQ(r.Standing, 0.25f);
    EXPECT_FLOAT_EQ(r.Running, 0.125f);
    r = ParseTurnRates("  +1.5\r\n-2\r\nignored\n", "set.txt");
    EXPECT_FLOAT_EQ(r.Standing, 1.5f);
    EXPECT_FLOAT_EQ(r.Running, -2.0f);
    r = ParseTurnRates("3\n4", "set.txt");  // no newline after the last line
    EXPECT_FLOAT_EQ(r.Running, 4.0f);
    r = ParseTurnRates(
        "\xEF\xBB\xBF"
        "0.5\n1e-1\n",
        "set.txt");
    EXPECT_FLOAT_EQ(r.Standing, 0.5f);
    EXPECT_FLOAT_EQ(r.Running, 0.1f);
}

TEST(TurnRateSettings, MalformedLinesNameTheFileAndLine) {
    EXPECT_EQ(ErrorOf("0.2\nfast\n"), "set.txt: line 2: not a number: \"fast\"");
    EXPECT_EQ(ErrorOf("0.2\n"), "set.txt: line 2: missing (two lines expected: standing and running turn rate)");
    EXPECT_EQ(ErrorOf(""), "set.txt: line 1: missing (two lines expected: standing and running turn rate)");
    EXPECT_EQ(ErrorOf("\n0.2\n"), "set.txt: line 1: empty line, a number was expected");
    EXPECT_EQ(ErrorOf("0.2x\n1\n"), "set.txt: line 1: not a number: \"0.2x\"");
    EXPECT_EQ(ErrorOf("0.2\ninf\n"), "set.txt: line 2: not a number: \"inf\"");
    EXPECT_EQ(ErrorOf("1e300\n1\n"), "set.txt: line 1: not a number: \"1e300\"");
    EXPECT_EQ(ErrorOf("0.2\n1,5,0\n"), "set.txt: line 2: not a number: \"1,5,0\"");
    EXPECT_EQ(ErrorOf("0.2 0.3\n1\n"), "set.txt: line 1: not a number: \"0.2 0.3\"");
}

TEST(TurnRateSettings, FilesAreReadOrReported) {
    const std::string path = std::string(DV_BINARY_DIR) + "/character_set_test.txt";
    {
        std::ofstream out(path, std::ios::binary);
        out << "0.3\n0.15\n";
    }
    const CharacterState character = NewCharacterState(path, 0);
    EXPECT_FLOAT_EQ(character.TurnRateStanding, 0.3f);
    EXPECT_FLOAT_EQ(character.TurnRateRunning, 0.15f);
    std::remove(path.c_str());

    try {
        NewCharacterState(path, 0);
        FAIL() << "a missing settings file must not make a character";
    } catch (const SettingsError& e) {
        EXPECT_EQ(std::string(e.what()), path + ": cannot open the settings file");
    }
}

}  // namespace
}  // namespace dv
