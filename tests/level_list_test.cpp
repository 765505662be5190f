#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "app/level_list.h"

using namespace dv;

TEST(LevelList, ReadsLevelsInOrderWithCommentsAndBlankLines) {
    std::vector<LevelEntry> levels;
    std::string error;
    ASSERT_TRUE(
        ParseLevelList("# the adventure\n\nlevel test.lev card_hall.jpg The Hall of Steps\r\n"
                       "  level cistern.lev card-2.png   The Flooded Cistern   # wet\n",
                       "levels.txt", levels, error))
        << error;
    ASSERT_EQ(levels.size(), 2u);
    EXPECT_EQ(levels[0].File, "test.lev");
    EXPECT_EQ(levels[0].Card, "card_hall.jpg");
    EXPECT_EQ(levels[0].Name, "The Hall of Steps");
    EXPECT_EQ(levels[0].Line, 3);
    EXPECT_EQ(levels[1].File, "cistern.lev");
    EXPECT_EQ(levels[1].Name, "The Flooded Cistern");
    EXPECT_EQ(levels[1].Line, 4);
}

TEST(LevelList, BadLinesNameTheFileAndLine) {
    const std::string longName(kMaxLevelNameBytes + 1, 'x');
    const struct {
        const char* text;
        const char* says;
    } cases[] = {
        {"", "levels.txt: no levels"},
        {"# only a comment\n", "levels.txt: no levels"},
        {"lvl a.lev c.jpg A\n", "levels.txt:1: expected 'level FILE.lev CARD NAME'"},
        {"level\n", "levels.txt:1: missing the level file"},
        {"level a.txt c.jpg A\n", "levels.txt:1: 'a.txt' is not a level file name"},
        {"level ../a.lev c.jpg A\n", "levels.txt:1: '../a.lev' is not a level file name"},
        {"level a\x1b]0;x\x07.lev c.jpg A\n", "levels.txt:1: 'a\\x1b]0;x\\x07.lev' is not a level file name"},
        {"level /tmp/a.lev c.jpg A\n", "levels.txt:1: '/tmp/a.lev' is not"},
        {"level a.lev\n", "levels.txt:1: missing the card picture"},
        {"level a.lev sub/c.jpg A\n", "levels.txt:1: 'sub/c.jpg' is not a picture file name"},
        {"level a.lev c.jpg\n", "levels.txt:1: missing the level's name"},
        {"level a.lev c.jpg   # no name\n", "levels.txt:1: missing the level's name"},
        {"level a.lev c.jpg Caf\xc3\xa9\n", "levels.txt:1: the level's name has a character the font cannot show"},
        {"\nlevel a.lev c.jpg A\nlevel a.lev d.jpg B\n", "levels.txt:3: a.lev is listed twice (first on line 2)"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        std::vector<LevelEntry> levels;
        std::string error;
        EXPECT_FALSE(ParseLevelList(c.text, "levels.txt", levels, error));
        EXPECT_EQ(error.rfind(c.says, 0), 0u) << error;
    }
    std::vector<LevelEntry> levels;
    std::string error;
    EXPECT_FALSE(ParseLevelList("level a.lev c.jpg " + longName + "\n", "levels.txt", levels, error));
    EXPECT_NE(error.find("longer than"), std::string::npos) << error;

    std::string many;
    for (size_t i = 0; i <= kMaxLevels; ++i) many += "level l" + std::to_string(i) + ".lev c.jpg L\n";
    EXPECT_FALSE(ParseLevelList(many, "levels.txt", levels, error));
    EXPECT_EQ(error,
              "levels.txt:" + std::to_string(kMaxLevels + 1) + ": more than " + std::to_string(kMaxLevels) + " levels");
}

// Without a list the game is the one demo level, as it always was; with one, the list holds.
TEST(LevelList, WithoutTheFileTheGameIsTheOneDemoLevel) {
    const std::filesystem::path dir = std::filesystem::temp_directory_path() / "dv_level_list_test";
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    std::vector<LevelEntry> levels;
    std::string error;
    ASSERT_TRUE(ReadLevelList(dir.string() + "/", levels, error)) << error;
    ASSERT_EQ(levels.size(), 1u);
    EXPECT_EQ(levels[0].File, "test.lev");

    std::ofstream(dir / "levels.txt") << "level one.lev one.jpg One\nlevel two.lev two.jpg Two\n";
    ASSERT_TRUE(ReadLevelList(dir.string() + "/", levels, error)) << error;
    ASSERT_EQ(levels.size(), 2u);
    EXPECT_EQ(levels[1].File, "two.lev");

    std::ofstream(dir / "levels.txt") << "level one.lev\n";
    EXPECT_FALSE(ReadLevelList(dir.string() + "/", levels, error));
    EXPECT_EQ(error, (dir / "levels.txt").string() + ":1: missing the card picture");
    std::filesystem::remove_all(dir);
}
