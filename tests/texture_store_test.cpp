#include <gtest/gtest.h>

#include <cstring>

#include "render/texture_store.h"

namespace {

using dv::TextureStore;

constexpr uint16_t Rgb565(int r5, int g6, int b5) { return static_cast<uint16_t>(r5 << 11 | g6 << 5 | b5); }

uint16_t TexelAt(const dv::Texture& t, int level, int x, int y) {
    const dv::TextureLevel& l = t.Level(level);
    uint16_t v;
    std::memcpy(&v, &l.bits[static_cast<size_t>(y) * l.pitch + x * 2], 2);
    return v;
}

dv::Bitmap Bitmap565(int w, int h, const std::vector<uint16_t>& texels) {
    dv::Bitmap b;
    b.Width = w;
    b.Height = h;
    b.BitsPerPixel = 16;
    b.Bits.resize(texels.size() * 2);
    std::memcpy(b.Bits.data(), texels.data(), b.Bits.size());
    return b;
}

TEST(TextureStore, RoundUpPow2) {
    EXPECT_EQ(dv::RoundUpPow2(1), 2);
    EXPECT_EQ(dv::RoundUpPow2(2), 2);
    EXPECT_EQ(dv::RoundUpPow2(100), 128);
    EXPECT_EQ(dv::RoundUpPow2(60), 64);
    EXPECT_EQ(dv::RoundUpPow2(8192), 8192);
    EXPECT_EQ(dv::RoundUpPow2(8193), 8193);
    EXPECT_EQ(dv::RoundUpPow2(0), 0);
    EXPECT_EQ(dv::RoundUpPow2(-5), -5);
}

TEST(TextureStore, ColourKey) {
    std::vector<uint16_t> t = {Rgb565(31, 0, 31), Rgb565(31, 3 << 1, 31), Rgb565(29, 5, 29), Rgb565(10, 20, 5)};
    dv::ConvertKey(t.data(), t.size());
    EXPECT_EQ(t[0], 0);                                // pure magenta
    EXPECT_EQ(t[1], 0x8000 | 31 << 10 | 3 << 5 | 31);  // green5 = 3 stays opaque
    EXPECT_EQ(t[2], 0);                                // near-magenta (green5 = 2)
    EXPECT_EQ(t[3], 0x8000 | 10 << 10 | 10 << 5 | 5);
    std::vector<uint16_t> d = {Rgb565(31, 0, 31), Rgb565(30, 60, 20), Rgb565(30, 60, 25)};
    dv::ConvertKeyDark(d.data(), d.size());
    EXPECT_EQ(d[0], 0);
    EXPECT_EQ(d[1], 0x8000);
    EXPECT_EQ(d[2], 0x8000 | 30 << 10 | 30 << 5 | 25);
}

TEST(TextureStore, EdgeFillTakesFirstOpaqueNeighbourAndStaysTransparent) {
    const uint16_t blue = 0x8000 | 31;
    const uint16_t red = 0x8000 | 31 << 10;
    // row 0: blue, hole, red ; row 1: hole, hole, hole
    std::vector<uint16_t> t = {blue, 0, red, 0, 0, 0};
    dv::EdgeFill(t.data(), 3, 2);
    EXPECT_EQ(t[1], 31);        // the left neighbour wins over the right one
    EXPECT_EQ(t[3], 31);        // above
    EXPECT_EQ(t[4], 31 << 10);  // left, right and above are holes: above-right is red
    EXPECT_EQ(t[5], 31 << 10);
}

TEST(TextureStore, StretchesToPowerOfTwoWithKeyAndMips) {
    TextureStore store;
    store.MipCount = 4;
    std::vector<uint16_t> texels(100 * 60, Rgb565(0, 0, 31));
    for (int y = 0; y < 60; ++y) texels[static_cast<size_t>(y) * 100 + 99] = Rgb565(31, 0, 31);
    ASSERT_TRUE(store.LoadFromBitmap(5001, Bitmap565(100, 60, texels), false, false));
    const dv::Texture* t = store.TextureAt(5001);
    ASSERT_NE(t, nullptr);
    EXPECT_EQ(t->Width(), 128);
    EXPECT_EQ(t->Height(), 64);
    EXPECT_EQ(t->LevelCount(), 5);
    EXPECT_EQ(t->Format(), dv::D3DFMT_A1R5G5B5);
    EXPECT_EQ(TexelAt(*t, 0, 0, 0), 0x8000 | 31);
    EXPECT_EQ(TexelAt(*t, 0, 127, 63) & 0x8000, 0);  // the magenta column is stretched to the edge
    EXPECT_EQ(TexelAt(*t, 0, 127, 63), 31);          // and edge-filled from its blue neighbour
    EXPECT_EQ(TexelAt(*t, 4, 0, 0), 0x8000 | 31);
    EXPECT_EQ(store.CurrentSlot, 5001);
    EXPECT_EQ(store.GetCurrent(), t);
}

TEST(TextureStore, SmallTexturesGetTheLevelsTheirSizeAllows) {
    TextureStore store;
    store.MipCount = 4;
    const std::vector<uint16_t> px(4 * 2, Rgb565(1, 2, 3));
    ASSERT_TRUE(store.LoadRaw(1, 4, 2, px.data(), false, 16, false));
    EXPECT_EQ(store.TextureAt(1)->LevelCount(), 2);
    store.NoMipmaps = true;
    ASSERT_TRUE(store.LoadRaw(2, 4, 2, px.data(), false, 16, false));
    EXPECT_EQ(store.TextureAt(2)->LevelCount(), 1);
}

TEST(TextureStore, RawDepthsAndRejectedInput) {
    TextureStore store;
    std::string shown;
    store.Messages = [&](const std::string& text, const std::string& caption, dv::MessageKind kind) {
        shown = caption + "|" + text + (kind == dv::MessageKind::Plain ? "" : "|not plain");
    };
    const uint8_t rgb[2 * 2 * 4] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
    ASSERT_TRUE(store.LoadRaw(3, 2, 2, rgb, false, 24, false));
    EXPECT_EQ(store.TextureAt(3)->Format(), dv::D3DFMT_R8G8B8);
    EXPECT_EQ(store.TextureAt(3)->Level(0).bits[5], 6);
    ASSERT_TRUE(store.LoadRaw(4, 2, 2, rgb, false, 32, false));
    EXPECT_EQ(store.RecordAt(4)->BytesPerPixel, 4);
    const uint16_t raw15[1] = {0x1234};  // 15-bit data is taken as it is (transparent, no key)
    ASSERT_TRUE(store.LoadRaw(5, 1, 1, raw15, false, 15, true));
    EXPECT_EQ(TexelAt(*store.TextureAt(5), 0, 0, 0), 0x1234);

    EXPECT_FALSE(store.LoadRaw(6, 2, 2, rgb, false, 8, false));
    EXPECT_EQ(store.TextureAt(6), nullptr);
    EXPECT_EQ(shown, "|error creating texture!");
    EXPECT_FALSE(store.LoadRaw(3, 0, 4, rgb, false, 16, false));
    EXPECT_EQ(store.TextureAt(3), nullptr);  // the slot was emptied before creation failed
}

TEST(TextureStore, SlotsSelectionReplacementAndFirstFree) {
    TextureStore store;
    EXPECT_EQ(TextureStore::SlotName(42), "           42");
    EXPECT_EQ(store.FirstFreeSlot(), 1);
    const uint16_t a[4] = {Rgb565(1, 0, 0), 0, 0, 0};
    const uint16_t b[4] = {Rgb565(2, 0, 0), 0, 0, 0};
    for (int slot : {1, 2, 4}) ASSERT_TRUE(store.LoadRaw(slot, 2, 2, a, false, 16, true));
    EXPECT_EQ(store.FirstFreeSlot(), 3);
    ASSERT_TRUE(store.LoadRaw(2, 2, 2, b, false, 16, true));
    EXPECT_EQ(TexelAt(*store.TextureAt(2), 0, 0, 0), 0x8000 | 2 << 10);
    EXPECT_EQ(store.Entries.Count(), 3);
    store.Select(4);
    EXPECT_EQ(store.CurrentSlot, 4);
    store.Select(3);
    EXPECT_EQ(store.CurrentSlot, -1);
    EXPECT_EQ(store.GetCurrent(), nullptr);
    store.Clear();
    EXPECT_EQ(store.FirstFreeSlot(), 1);
}

TEST(TextureStore, StripsCutIntoConsecutiveSlots) {
    TextureStore store;
    std::vector<uint16_t> strip(2 * 5);
    for (size_t i = 0; i < strip.size(); ++i) strip[i] = Rgb565(static_cast<int>(i), 0, 0);
    store.LoadRawStrip(2001, strip.data(), 2, 2, 2, 16);
    EXPECT_EQ(TexelAt(*store.TextureAt(2002), 0, 0, 0), 0x8000 | 4 << 10);
    EXPECT_EQ(store.TextureAt(2003), nullptr);
    store.LoadTileStrip(Bitmap565(2, 5, strip), 3001);  // 5 div 2 = 2 tiles
    EXPECT_EQ(TexelAt(*store.TextureAt(3002), 0, 1, 1), 0x8000 | 7 << 10);
    EXPECT_EQ(store.TextureAt(3003), nullptr);
}

TEST(Memlist, FreePlacesAreReusedAndSortedFirst) {
    dv::NamedBlockList<int> list;
    list.Sorted = true;
    list.Add("c", std::make_unique<int>(3));
    list.Add("a", std::make_unique<int>(1));
    list.Add("b", std::make_unique<int>(2));
    EXPECT_EQ(*list.NameAt(0), "a");
    EXPECT_EQ(list.Find("c"), 2);
    list.Delete(list.Find("a"));
    EXPECT_EQ(list.Count(), 3);
    EXPECT_EQ(list.FreeCount(), 1);
    EXPECT_EQ(list.BlockAt(0), nullptr);  // the free place sorts first
    EXPECT_EQ(*list.BlockByName("b"), 2);
    EXPECT_EQ(list.Find("a"), -1);
    list.Delete(list.Find("c"));
    list.Add("d", std::make_unique<int>(4));  // reuses a free place, never a live node
    EXPECT_EQ(list.Count(), 3);
    EXPECT_EQ(*list.BlockByName("b"), 2);
    EXPECT_EQ(*list.BlockByName("d"), 4);
    list.Pack();
    EXPECT_EQ(list.Count(), 2);
    EXPECT_EQ(list.FreeCount(), 0);
    EXPECT_EQ(list.Find("d"), 1);

    dv::NamedBlockList<int> unsorted;
    unsorted.Add("z", std::make_unique<int>(1));
    unsorted.Add("y", std::make_unique<int>(2));
    EXPECT_EQ(unsorted.Find("y"), 1);
}

}  // namespace
