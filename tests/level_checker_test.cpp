// The level checker: one source broken for each rule, and the warning's exact FILE:LINE.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tools/level/level_checker.h"
#include "tools/level/level_compiler.h"

using namespace dv;

namespace {

std::vector<std::string> Check(const std::string& text) {
    const LevelSource source = ParseLevelSource(text, "t.txt");
    const CompiledLevel level = CompileLevel(source, ".", "t.lev");
    return CheckLevel(source, level.Data);
}

// One room: the start on line 1, LEGEND's lines from line 7, then the map and EXTRA.
std::string OneRoom(const std::string& start, const std::string& legend, const std::vector<std::string>& map,
                    const std::string& extra = "  light point 2.5 2.5 40 colour 255 255 255 range 32 64\n") {
    std::string text =
        start + "\nroom a\n  origin 0 0 0\n  height 6\n  cell X solid\n  cell . floor 0\n" + legend + "\n  map\n";
    for (const std::string& row : map) text += "  " + row + "\n";
    return text + "  endmap\n" + extra + "end\n";
}

const std::vector<std::string> kPlain = {"XXXXX", "X...X", "X..EX", "X...X", "XXXXX"};

}  // namespace

TEST(LevelChecker, APlainRoomWithItsExitHasNoWarnings) {
    EXPECT_TRUE(Check(OneRoom("start a 1.5 1.5", "  cell E exit floor 0", kPlain)).empty());
}

TEST(LevelChecker, StartWithoutHeadroom) {
    const auto w = Check(OneRoom("start a 1.5 1.5", "  cell E exit floor 0\n  cell L floor 0 ceil 10",
                                 {"XXXXX", "X...X", "X..EX", "XL..X", "XXXXX"}));
    ASSERT_EQ(w.size(), 1u);
    EXPECT_EQ(w[0], "t.txt:1: the start has 16.0 units of headroom (the character needs 25.0)");
}

TEST(LevelChecker, LevelWithoutAnExit) {
    const auto w = Check(OneRoom("start a 1.5 1.5", "", {"XXXXX", "X...X", "X...X", "X...X", "XXXXX"}));
    ASSERT_EQ(w.size(), 1u);
    EXPECT_EQ(w[0], "t.txt:1: the level has no exit cell");
}

TEST(LevelChecker, ExitOutOfReachAndTheMovesThatReachOne) {
    // 40 clicks = 64 units: higher than any grab.
    const auto high = Check(OneRoom("start a 1.5 1.5", "  cell E exit floor 40", kPlain));
    ASSERT_EQ(high.size(), 1u);
    EXPECT_EQ(high[0], "t.txt:11: the exit cell (3, 2) of room 'a' is reached by no chain of moves from the start");
    // 22 clicks = 35.2 units: a top climb.
    EXPECT_TRUE(Check(OneRoom("start a 1.5 1.5", "  cell E exit floor 22", kPlain)).empty());
    // Beyond a pit too deep to climb out of (64 units): a running jump over one cell.
    const std::string pit = "  cell . floor 40\n  cell p floor 0\n  cell E exit floor 40";
    EXPECT_TRUE(Check(OneRoom("start a 1.5 2.5", pit, {"XXXXXX", "X.p..X", "X.pE.X", "X.p..X", "XXXXXX"})).empty());
    // A pit wall to wall, three cells wide: no jump crosses it.
    const auto wide = Check(OneRoom("start a 1.5 1.5", pit, {"XXXXXXX", "X.pppEX", "X.pppEX", "X.pppEX", "XXXXXXX"}));
    ASSERT_EQ(wide.size(), 3u);
    EXPECT_EQ(wide[0], "t.txt:12: the exit cell (5, 3) of room 'a' is reached by no chain of moves from the start");
}

TEST(LevelChecker, LightAndAmbienceOutsideTheirRoomAndObjectsWalledIn) {
    const std::string extra =
        "  light point 2.5 2.5 200 colour 255 255 255 range 32 64\n"  // above the 6-cell room
        "  ambience drip 0.5 2.5 10 radius 2\n"                       // in the west wall
        "  object crate 0.5 0.5 0\n"                                  // a corner: walled in
        "  object torch 0.8 2.5 30\n";                                // hung in a wall: fine
    const auto w = Check(OneRoom("start a 1.5 1.5", "  cell E exit floor 0", kPlain, extra));
    ASSERT_EQ(w.size(), 3u);
    EXPECT_EQ(w[0], "t.txt:15: the light lies outside room 'a'");
    EXPECT_EQ(w[1], "t.txt:16: the ambience 'drip' lies in the solid cell (0, 2) of room 'a'");
    EXPECT_EQ(w[2], "t.txt:17: the crate stands in the solid cell (0, 0) of room 'a', walled in on every side");
}

// Rooms a (x 0..4) and b (x 3..7) share a doorway at z = 2; `bDoor` is b's cell over a's inner cell.
std::string TwoRooms(char bDoor, const std::string& aExtra, const std::string& bOrigin = "3 0 0") {
    return std::string("start a 1.5 1.5\n") +                                                       // 1
           "room a\n  origin 0 0 0\n  height 3\n  cell X solid\n  cell . floor 0\n  cell D door\n"  // 2-7
           "  map\n  XXXXX\n  X...X\n  X...D\n  X...X\n  XXXXX\n  endmap\n" +                       // 8-14
           aExtra +
           "end\n" +  // 15-16
           "room b\n  origin " + bOrigin + "\n  height 3\n  cell X solid\n  cell . floor 0\n  cell D door\n" +
           "  cell E exit floor 0\n  map\n  XXXXX\n  X...X\n  " + bDoor + ".E.X\n  X...X\n  XXXXX\n  endmap\nend\n";
}

TEST(LevelChecker, DoorWithoutItsMatchAndRoomsNoPortalReaches) {
    EXPECT_TRUE(Check(TwoRooms('D', "  light point 2 2 30 colour 255 255 255 range 16 32\n")).empty());
    const auto unmatched = Check(TwoRooms('X', "  light point 2 2 30 colour 255 255 255 range 16 32\n"));
    ASSERT_EQ(unmatched.size(), 1u);
    EXPECT_EQ(unmatched[0],
              "t.txt:11: the door cell (4, 2) of room 'a' opens into room 'b', which has no door cell at (0, 2) to "
              "match it");
}

TEST(LevelChecker, RoomNoPortalReachesAndAnAmbienceHeardThroughAWall) {
    // Room b beside a, the wall between them shared, no doorway: a's exit-less room and b cut off.
    const std::string text =
        "start a 1.5 1.5\n"
        "room a\n  origin 0 0 0\n  height 3\n  cell X solid\n  cell . floor 0\n"
        "  map\n  XXXXX\n  X...X\n  X...X\n  X...X\n  XXXXX\n  endmap\n"
        "  ambience drip 3.5 2.5 30 radius 12\n"  // line 14
        "end\n"
        "room b\n  origin 5 0 0\n  height 3\n  cell X solid\n  cell . floor 0\n  cell E exit floor 0\n"  // line 16
        "  map\n  XXXXX\n  X...X\n  X.E.X\n  X...X\n  XXXXX\n  endmap\nend\n";
    const auto w = Check(text);
    ASSERT_EQ(w.size(), 3u);
    EXPECT_EQ(w[0], "t.txt:14: the ambience 'drip' at full loudness (96 units) reaches room 'b' through a wall");
    EXPECT_EQ(w[1], "t.txt:16: room 'b' is reached by no portal path from the start");
    EXPECT_EQ(w[2], "t.txt:25: the exit cell (2, 2) of room 'b' is reached by no chain of moves from the start");
}
