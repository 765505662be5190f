#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <sstream>

#include "app/frame_stats.h"

using namespace dv;

TEST(FrameStats, MeansPercentileAndJson) {
    FrameStats stats(4);
    EXPECT_EQ(stats.MeanFrameMs(), 0.0);
    EXPECT_EQ(stats.Percentile99FrameMs(), 0.0);
    for (int i = 1; i <= 100; ++i) stats.Record(i, 1000 + i, 10, 50.0);
    stats.SetFpsShown(24);
    EXPECT_EQ(stats.Frames(), 100u);
    EXPECT_DOUBLE_EQ(stats.MeanFrameMs(), 50.5);
    EXPECT_DOUBLE_EQ(stats.Percentile99FrameMs(), 99.0);
    EXPECT_DOUBLE_EQ(stats.MeanTriangles(), 1050.5);
    EXPECT_DOUBLE_EQ(stats.MeanDrawCalls(), 10.0);
    EXPECT_DOUBLE_EQ(stats.MeanSceneBuildUs(), 50.0);

    const std::string path = ::testing::TempDir() + "stats.json";
    std::string error;
    ASSERT_TRUE(stats.WriteJson(path, error)) << error;
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    EXPECT_NE(text.str().find("\"frames\": 100"), std::string::npos);
    EXPECT_NE(text.str().find("\"p99FrameMs\": 99.0000"), std::string::npos);
    EXPECT_NE(text.str().find("\"fpsShown\": 24}"), std::string::npos);
    std::remove(path.c_str());

    EXPECT_FALSE(stats.WriteJson("/nonexistent-dir/stats.json", error));
    EXPECT_NE(error.find("/nonexistent-dir/stats.json"), std::string::npos);
}
