#include <gtest/gtest.h>

#include "app/options.h"
#include "app/replay.h"

using namespace dv;

namespace {

bool Parse(const std::vector<const char*>& args, Options& out, std::string& error) {
    std::vector<const char*> argv{"dedivirede"};
    argv.insert(argv.end(), args.begin(), args.end());
    return ParseOptions(static_cast<int>(argv.size()), argv.data(), out, error);
}

}  // namespace

TEST(Options, AllOptionsAndTheirErrors) {
    Options o;
    std::string error;
    ASSERT_TRUE(Parse({}, o, error));
    EXPECT_FALSE(o.Headless);
    EXPECT_EQ(o.StepMs, 0);
    EXPECT_EQ(o.QuitAfterMs, -1);

    ASSERT_TRUE(Parse({"--headless",   "--data",       "/tmp/d",     "--step-ms",    "16",
                       "--replay",     "r.txt",        "--replay",   "s.txt",        "--trace",
                       "t.csv",        "--screenshot", "1000:a.png", "--screenshot", "8000:dir/b:c.png",
                       "--quit-after", "2000",         "--stats",    "s.json",       "--mute",
                       "--audio-out",  "a.wav",        "--config",   "cfg"},
                      o, error))
        << error;
    EXPECT_TRUE(o.Mute);
    EXPECT_EQ(o.AudioOutPath, "a.wav");
    EXPECT_TRUE(o.Headless);
    EXPECT_EQ(o.DataDir, "/tmp/d");
    EXPECT_EQ(o.StepMs, 16);
    EXPECT_EQ(o.ReplayPaths, (std::vector<std::string>{"r.txt", "s.txt"}));
    ASSERT_EQ(o.Screenshots.size(), 2u);
    EXPECT_EQ(o.Screenshots[1].ClockMs, 8000);
    EXPECT_EQ(o.Screenshots[1].Path, "dir/b:c.png");  // only the first colon separates
    EXPECT_EQ(o.QuitAfterMs, 2000);
    EXPECT_EQ(o.StatsPath, "s.json");
    EXPECT_EQ(o.ConfigDir, "cfg");

    const std::vector<std::pair<std::vector<const char*>, const char*>> bad = {
        {{"--step-ms", "0"}, "--step-ms"},
        {{"--step-ms", "16x"}, "--step-ms"},
        {{"--quit-after", "-5"}, "--quit-after"},
        {{"--screenshot", "abc.png"}, "--screenshot"},
        {{"--screenshot", "100:"}, "--screenshot"},
        {{"--data"}, "needs a value"},
        {{"--config"}, "option --config needs a value"},
        {{"--fullscreen"}, "unknown option '--fullscreen'"},
        {{"--audio-out", ""}, "the file name is empty"},
        {{"--audio-out"}, "needs a value"},
    };
    for (const auto& [args, expected] : bad) {
        EXPECT_FALSE(Parse(args, o, error));
        EXPECT_NE(error.find(expected), std::string::npos) << error;
    }
}

TEST(Options, AuthorOptionsAndTheOptionalHeading) {
    Options o;
    std::string error;
    ASSERT_TRUE(Parse({"--level", "lv/a.txt", "--no-title", "--at", "hall", "3", "4.5", "-90", "--headless"}, o, error))
        << error;
    EXPECT_EQ(o.LevelPath, "lv/a.txt");
    EXPECT_TRUE(o.NoTitle);
    EXPECT_TRUE(o.At.Given);
    EXPECT_EQ(o.At.Room, "hall");
    EXPECT_FLOAT_EQ(o.At.X, 3.0f);
    EXPECT_FLOAT_EQ(o.At.Z, 4.5f);
    EXPECT_FLOAT_EQ(o.At.Heading, -90.0f);
    EXPECT_TRUE(o.Headless);
    // Without a heading the next option is not mistaken for one.
    ASSERT_TRUE(Parse({"--at", "2", "1", "1", "--mute"}, o, error)) << error;
    EXPECT_FLOAT_EQ(o.At.Heading, 0.0f);
    EXPECT_TRUE(o.Mute);
    EXPECT_FALSE(o.Watch);
    EXPECT_TRUE(o.Copies.empty());

    // Only the first colon after the clock ends FROM: TO may hold colons of its own.
    ASSERT_TRUE(Parse({"--watch", "--copy-at", "1000:raised.txt:lv/a.txt", "--copy-at", "0:b.txt:c:d.txt"}, o, error))
        << error;
    EXPECT_TRUE(o.Watch);
    ASSERT_EQ(o.Copies.size(), 2u);
    EXPECT_EQ(o.Copies[0].ClockMs, 1000);
    EXPECT_EQ(o.Copies[0].From, "raised.txt");
    EXPECT_EQ(o.Copies[0].To, "lv/a.txt");
    EXPECT_EQ(o.Copies[1].ClockMs, 0);
    EXPECT_EQ(o.Copies[1].From, "b.txt");
    EXPECT_EQ(o.Copies[1].To, "c:d.txt");

    const std::vector<std::pair<std::vector<const char*>, const char*>> bad = {
        {{"--at", "hall", "3"}, "--at needs ROOM X Z [HEADING]"},
        {{"--at", "hall", "three", "4"}, "--at: 'three' is not a number of cells"},
        {{"--at", "hall", "3", "nan"}, "'nan' is not a number"},
        {{"--at", "", "3", "4"}, "--at: the room is empty"},
        {{"--level", ""}, "--level: the file name is empty"},
        {{"--level"}, "option --level needs a value"},
        {{"--copy-at"}, "option --copy-at needs a value"},
        {{"--copy-at", "1000:a.txt"}, "--copy-at: '1000:a.txt' is not MS:FROM:TO"},
        {{"--copy-at", "soon:a.txt:b.txt"}, "is not MS:FROM:TO"},
        {{"--copy-at", "-1:a.txt:b.txt"}, "is not MS:FROM:TO"},
        {{"--copy-at", "1000::b.txt"}, "is not MS:FROM:TO"},
        {{"--copy-at", "1000:a.txt:"}, "is not MS:FROM:TO"},
        {{"--copy-at", "1000:"}, "is not MS:FROM:TO"},
    };
    for (const auto& [args, expected] : bad) {
        EXPECT_FALSE(Parse(args, o, error));
        EXPECT_NE(error.find(expected), std::string::npos) << error;
    }
}

TEST(Replay, ParsesEventsAndPointsAtTheBadLine) {
    std::vector<ReplayEvent> events;
    std::string error;
    ASSERT_TRUE(ParseReplay("# walk forward\n100 down Up\n\n150 down Shift   # walk\n150 up 38\n900 down q\n",
                            "walk.txt", events, error))
        << error;
    ASSERT_EQ(events.size(), 4u);
    EXPECT_EQ(events[0].ClockMs, 100);
    EXPECT_TRUE(events[0].Down);
    EXPECT_EQ(events[0].Key, 38);
    EXPECT_EQ(events[1].Key, 16);
    EXPECT_FALSE(events[2].Down);
    EXPECT_EQ(events[3].Key, 'Q');

    const std::vector<std::pair<const char*, const char*>> bad = {
        {"100 down Up\n50 up Up\n", "r.txt:2: clock 50 is earlier"},
        {"100 press Up\n", "r.txt:1: 'press' is neither"},
        {"100 down Upp\n", "r.txt:1: unknown key 'Upp'"},
        {"1x0 down Up\n", "r.txt:1: '1x0' is not a clock"},
        {"-5 down Up\n", "r.txt:1: '-5' is not a clock"},
        {"100 down\n", "r.txt:1: expected"},
        {"\n\n100 down Up extra\n", "r.txt:3: unexpected 'extra'"},
        {"99999999999 down Up\n", "r.txt:1:"},
        {"100 down \x1b[2J\xff\n", "r.txt:1: unknown key '\\x1b[2J\\xff'"},
    };
    for (const auto& [text, expected] : bad) {
        EXPECT_FALSE(ParseReplay(text, "r.txt", events, error)) << text;
        EXPECT_EQ(error.rfind(expected, 0), 0u) << error;
    }
    EXPECT_FALSE(LoadReplayFile("/nonexistent/replay.txt", events, error));
    EXPECT_NE(error.find("/nonexistent/replay.txt"), std::string::npos);
}

TEST(Replay, PlayerHandsOutDueEventsInOrder) {
    ReplayPlayer player({{10, true, 38}, {10, false, 38}, {30, true, 40}});
    EXPECT_EQ(player.NextDue(5), nullptr);
    ASSERT_NE(player.NextDue(10), nullptr);
    const ReplayEvent* second = player.NextDue(10);
    ASSERT_NE(second, nullptr);
    EXPECT_FALSE(second->Down);
    EXPECT_EQ(player.NextDue(29), nullptr);
    EXPECT_NE(player.NextDue(100), nullptr);
    EXPECT_TRUE(player.Finished());
}

// Two levels with a script each: the second script's clocks count from the start of play in
// the second level as the first's from the start of play in the first (7000 here); the key
// the first script still holds is let go when the second level's play starts, and nothing is
// handed out on the card between them.
TEST(Replay, ChainPlaysEachLevelsScriptFromItsOwnStart) {
    constexpr int32_t kUp = 38, kLeft = 37, kAlt = 18;
    ReplayChain chain({ReplayPlayer({{7160, true, kUp}, {9000, true, kLeft}, {9040, false, kLeft}}),
                       ReplayPlayer({{7080, true, kAlt}, {7200, false, kAlt}})});
    EXPECT_EQ(chain.NextDue(5000, 0, -1), nullptr);  // the title
    const ReplayEvent* e = chain.NextDue(7160, 0, 7000);
    ASSERT_NE(e, nullptr);
    EXPECT_TRUE(e->Down && e->Key == kUp);
    ASSERT_NE(chain.NextDue(9040, 0, 7000), nullptr);
    ASSERT_NE(chain.NextDue(9040, 0, 7000), nullptr);
    EXPECT_EQ(chain.NextDue(30000, 1, -1), nullptr);  // the second level's card: Up stays held
    e = chain.NextDue(34000, 1, 34000);
    ASSERT_NE(e, nullptr);
    EXPECT_TRUE(!e->Down && e->Key == kUp);
    EXPECT_EQ(chain.NextDue(34000, 1, 34000), nullptr);
    EXPECT_EQ(chain.NextDue(34040, 1, 34000), nullptr);  // Alt is due 80 ms into play
    e = chain.NextDue(34080, 1, 34000);
    ASSERT_NE(e, nullptr);
    EXPECT_TRUE(e->Down && e->Key == kAlt);
    EXPECT_EQ(chain.NextDue(34100, 1, 34000), nullptr);
    ASSERT_NE(chain.NextDue(34200, 1, 34000), nullptr);
    // A third level without a script of its own: the last script has run out, nothing more.
    EXPECT_EQ(chain.NextDue(90000, 2, 80000), nullptr);
}

// One script is the game's clock in every level, its held keys held across the card.
TEST(Replay, OneScriptKeepsTheGameClockAcrossLevels) {
    ReplayChain chain({ReplayPlayer({{7100, true, 38}, {40000, false, 38}})});
    ASSERT_NE(chain.NextDue(7100, 0, 7000), nullptr);
    EXPECT_EQ(chain.NextDue(35000, 1, 34000), nullptr);
    const ReplayEvent* e = chain.NextDue(40000, 1, 34000);
    ASSERT_NE(e, nullptr);
    EXPECT_FALSE(e->Down);
    ReplayChain none;
    EXPECT_EQ(none.NextDue(10000, 0, 7000), nullptr);
}

TEST(Options, ErrorsShowControlBytesEscapedOnOneLine) {
    Options o;
    std::string error;
    EXPECT_FALSE(Parse({"-2\n\nx\x1b"}, o, error));
    EXPECT_EQ(error, "unknown option '-2\\x0a\\x0ax\\x1b'");
    EXPECT_FALSE(Parse({"--step-ms", "1\r"}, o, error));
    EXPECT_EQ(error.find('\r'), std::string::npos) << error;
}
