// Frame tests: sorting, runs, animated texture references, the FPS window, an empty list,
// device loss and failed vertex buffers.
#include <SDL.h>

#include "app/shell.h"
#include "math/clock.h"
#include "render_test_util.h"

namespace dv::test {
namespace {

class FrameTest : public RenderTest {
protected:
    void SetUp() override {
        RenderTest::SetUp();
        if (IsSkipped()) return;
        ClockUseVirtual(true);
        ClockSetVirtualMs(0);
    }
    void TearDown() override {
        ClockUseVirtual(false);
        RenderTest::TearDown();
    }

    // One small triangle tagged with `tag` in its first vertex's x and its spare bytes.
    void AddTagged(TriangleHeader h, int tag) {
        TriangleVertices v{};
        for (int i = 0; i < 3; ++i) v.V[i].Position = VecMake(0, 0, 10);
        v.V[0].Position.x = static_cast<float>(tag);
        v.V[1].Position.y = 0.1f;
        v.V[2].Position.x = static_cast<float>(tag) + 0.1f;
        h.Spare[0] = static_cast<uint8_t>(tag);
        viewport->AddTriangles(&h, &v, 1);
    }
};

TEST_F(FrameTest, OpaqueGroupedByStateThenTheRestAllBackToFront) {
    const struct {
        float key;
        uint8_t blend;
        uint16_t tex;
    } in[] = {{5, 0, 3},  {-2, 0, 9}, {5, 0, 1}, {0, 2, 1}, {0, 0, 4},
              {-2, 0, 9}, {7, 1, 1},  {0, 0, 2}, {9, 0, 9}, {-3, 10, 2}};
    int tag = 0;
    for (const auto& e : in) {
        TriangleHeader h = Header(e.tex, e.blend, 0);
        h.SortKey = e.key;
        AddTagged(h, tag++);
    }
    device->ResetStats();
    viewport->RenderFrame();
    ASSERT_EQ(viewport->TriangleCount(), 10);
    // Opaque: slot 9 holds the farthest triangle (key -2), so its group comes first, back to
    // front; slots 2 and 4 tie on their farthest key and go by slot, as do 1 and 3.
    const struct {
        uint16_t tex;
        float key;
        uint8_t blend;
    } want[] = {{9, -2, 0}, {9, -2, 0}, {9, 9, 0},   {2, 0, 0}, {4, 0, 0},
                {1, 5, 0},  {3, 5, 0},  {2, -3, 10}, {1, 0, 2}, {1, 7, 1}};
    for (int i = 0; i < 10; ++i) {
        const TriangleHeader& h = ViewportInternals::Headers(*viewport)[i];
        EXPECT_EQ(h.Texture, want[i].tex) << "at " << i;
        EXPECT_EQ(h.SortKey, want[i].key) << "at " << i;
        EXPECT_EQ(h.BlendType, want[i].blend) << "at " << i;
        EXPECT_EQ(ViewportInternals::Vertices(*viewport)[i].V[0].Position.x,
                  ViewportInternals::Headers(*viewport)[i].Spare[0])
            << "triple " << i;
    }
    EXPECT_EQ(device->Stats().DrawCalls, 8u);  // 5 opaque states, then 3 runs of the rest
}

TEST_F(FrameTest, OneDrawPerRunAndTheSortKeyDoesNotSplitRuns) {
    // Three states; the keys interleave only within a state's block after sorting.
    for (int i = 0; i < 12; ++i) {
        TriangleHeader h = Header(static_cast<uint16_t>(1 + i / 4), 0, 0);
        h.SortKey = static_cast<float>(i / 4) * 10.0f + static_cast<float>(i % 4);  // distinct keys
        AddTagged(h, i);
    }
    device->ResetStats();
    viewport->RenderFrame();
    EXPECT_EQ(device->Stats().DrawCalls, 3u);
    EXPECT_EQ(device->Stats().Primitives, 12u);
    EXPECT_EQ(device->Stats().VertexBufferUploads, 1u);
    EXPECT_EQ(ViewportInternals::Headers(*viewport)[0].RunLength, 4);
    EXPECT_EQ(ViewportInternals::Headers(*viewport)[4].RunLength, 4);
    EXPECT_EQ(ViewportInternals::Headers(*viewport)[8].RunLength, 4);
}

TEST_F(FrameTest, ReservedTrianglesAreWrittenInPlaceAndKeptUpToTheRoom) {
    AddTagged(Header(1, 0, 0), 0);
    const TriangleSpan room = viewport->ReserveTriangles(3);
    ASSERT_NE(room.Headers, nullptr);
    for (int i = 0; i < 2; ++i) {
        room.Headers[i] = Header(static_cast<uint16_t>(5 + i), 0, 0);
        room.Vertices[i].V[0].Position.x = static_cast<float>(10 + i);
    }
    viewport->CommitTriangles(2);  // fewer than reserved
    ASSERT_EQ(viewport->TriangleCount(), 3);
    EXPECT_EQ(ViewportInternals::Headers(*viewport)[1].Texture, 5);
    EXPECT_EQ(ViewportInternals::Headers(*viewport)[2].Texture, 6);
    EXPECT_EQ(ViewportInternals::Vertices(*viewport)[2].V[0].Position.x, 11.0f);
    viewport->CommitTriangles(1 << 30);  // more than there is room for: only what exists
    EXPECT_LE(static_cast<size_t>(viewport->TriangleCount()), ViewportInternals::Headers(*viewport).size());
    viewport->CommitTriangles(-4);
    EXPECT_LE(static_cast<size_t>(viewport->TriangleCount()), ViewportInternals::Headers(*viewport).size());
}

TEST_F(FrameTest, RunsCompareBytesFourToThirteen) {
    TriangleHeader a = Header(1, 0, 0);
    TriangleHeader b = a;
    b.Flags = 0x1234;  // outside the run bytes
    b.Normal = VecMake(1, 0, 0);
    TriangleHeader c = a;
    c.BumpTexture = 2;
    AddTagged(a, 0);
    AddTagged(b, 1);
    AddTagged(c, 2);
    EXPECT_EQ(ViewportInternals::BuildRuns(*viewport), 2);
    EXPECT_EQ(ViewportInternals::Headers(*viewport)[0].RunLength, 2);
    EXPECT_EQ(ViewportInternals::Headers(*viewport)[2].RunLength, 1);
}

TEST_F(FrameTest, VertexBufferGrowsWithSpareTrianglesAndIsReused) {
    for (int i = 0; i < 5; ++i) AddTagged(Header(1, 0, 0), i);
    viewport->RenderFrame();
    EXPECT_EQ(ViewportInternals::VertexCapacity3D(*viewport), 1005);
    ASSERT_NE(ViewportInternals::VertexBuffer3D(*viewport), nullptr);
    EXPECT_EQ(ViewportInternals::VertexBuffer3D(*viewport)->Length(), 1005u * 132u);
    const VertexBuffer8* first = ViewportInternals::VertexBuffer3D(*viewport);
    for (int i = 0; i < 900; ++i) AddTagged(Header(1, 0, 0), i);
    viewport->RenderFrame();
    EXPECT_EQ(ViewportInternals::VertexBuffer3D(*viewport), first);
    for (int i = 0; i < 200; ++i) AddTagged(Header(1, 0, 0), i);
    viewport->RenderFrame();
    EXPECT_EQ(ViewportInternals::VertexCapacity3D(*viewport), 1105 + 1000);
}

AnimatedTextureTable CyclingTable() {
    AnimatedTextureTable t;
    t.SlotBase = 2000;
    t.SetCount = 1;
    AnimatedTexture s;
    s.Kind = 0;
    s.Period = 100;
    s.FrameCount = 3;
    for (int i = 0; i < 3; ++i) {
        AnimatedTextureFrame f{};
        f.SlotOffset = static_cast<int16_t>(5 + i);
        f.ShiftU = 0.25f * static_cast<float>(i);
        f.ShiftV = 0.5f * static_cast<float>(i);
        s.Frames.push_back(f);
    }
    t.Sets.push_back(s);
    return t;
}

// Animated code: table `table`, set index `set` (stored + 1), start frame `start`.
uint16_t AnimCode(int table, int set, int start) {
    return static_cast<uint16_t>(0x8000 | (set + 1) << 8 | start << 1 | table);
}

TEST_F(FrameTest, CyclingReferencesFollowTheClock) {
    viewport->AnimatedTextures[0] = CyclingTable();
    TriangleHeader h = Header(AnimCode(0, 0, 1), 0, 0);
    TriangleVertices v{};
    for (auto& vert : v.V) {
        vert.U = 0.3f;  // 0.05 past frame 1's shift
        vert.V = 0.6f;
    }
    const int32_t clocks[] = {0, 99, 100, 250, 1000};
    const uint16_t slots[] = {2006, 2006, 2007, 2005, 2007};
    for (int i = 0; i < 5; ++i) {
        viewport->ClearTriangles();
        viewport->AddTriangles(&h, &v, 1);
        ViewportInternals::AnimateTextureReferences(*viewport, clocks[i]);
        EXPECT_EQ(ViewportInternals::Headers(*viewport)[0].Texture, slots[i]) << "clock " << clocks[i];
        const float k = static_cast<float>(slots[i] - 2005);
        EXPECT_NEAR(ViewportInternals::Vertices(*viewport)[0].V[2].U, 0.25f * k + 0.05f, 1e-6);
        EXPECT_NEAR(ViewportInternals::Vertices(*viewport)[0].V[2].V, 0.5f * k + 0.1f, 1e-6);
    }
}

TEST_F(FrameTest, CyclingReferencesDuringAFrameUseTheVirtualClock) {
    viewport->AnimatedTextures[1] = CyclingTable();
    viewport->AnimatedTextures[1].SlotBase = 0;
    ClockSetVirtualMs(250);
    TriangleHeader h = Header(AnimCode(1, 0, 0), 0, 0);
    AddTagged(h, 0);
    viewport->RenderFrame();
    EXPECT_EQ(ViewportInternals::Headers(*viewport)[0].Texture, 7);  // (0 + 250 div 100) mod 3 = 2
}

TEST_F(FrameTest, ScrollingReferencesSlideV) {
    AnimatedTextureTable t = CyclingTable();
    t.Sets[0].Kind = 1;
    t.Sets[0].Period = 50;
    t.Sets[0].Frames[0].ShiftV = 0.0f;
    t.Sets[0].Frames[0].LimitV = 1.0f;  // w = trunc(0.5 * 256) = 128
    viewport->AnimatedTextures[0] = t;
    TriangleHeader h = Header(AnimCode(0, 0, 0), 0, 0);
    TriangleVertices v{};
    for (auto& vert : v.V) {
        vert.U = 0.3f;
        vert.V = 0.25f;
    }
    viewport->AddTriangles(&h, &v, 1);
    ViewportInternals::AnimateTextureReferences(*viewport, 1000);  // r = 20 mod 128 = 20
    EXPECT_EQ(ViewportInternals::Headers(*viewport)[0].Texture, 2005);
    EXPECT_NEAR(ViewportInternals::Vertices(*viewport)[0].V[0].V, 0.25f + (128 - 20) / 256.0f, 1e-6);
    EXPECT_FLOAT_EQ(ViewportInternals::Vertices(*viewport)[0].V[0].U, 0.3f);
    viewport->ClearTriangles();
    viewport->AddTriangles(&h, &v, 1);
    ViewportInternals::AnimateTextureReferences(*viewport, 50 * 130);  // 130 mod 128 = 2
    EXPECT_NEAR(ViewportInternals::Vertices(*viewport)[0].V[1].V, 0.25f + 126 / 256.0f, 1e-6);
}

TEST_F(FrameTest, DegenerateAnimationDataIsDrawnUnanimated) {
    AnimatedTextureTable t = CyclingTable();
    t.Sets[0].Kind = 1;
    t.Sets[0].Frames[1].LimitV = t.Sets[0].Frames[1].ShiftV;  // w = 0
    AnimatedTexture empty;
    empty.Kind = 0;
    empty.Period = 100;
    empty.FrameCount = 0;
    t.Sets.push_back(empty);
    AnimatedTexture odd = t.Sets[0];
    odd.Kind = 0;
    odd.Period = -5;
    t.Sets.push_back(odd);
    t.SetCount = 3;
    viewport->AnimatedTextures[0] = t;
    TriangleVertices v{};
    v.V[0].V = 0.7f;
    const TriangleHeader scroll = Header(AnimCode(0, 0, 1), 0, 0);
    const TriangleHeader noFrames = Header(AnimCode(0, 1, 0), 0, 0);
    const TriangleHeader negative = Header(AnimCode(0, 2, 2), 0, 0);
    const TriangleHeader noSet = Header(0x8000 | 0x0006, 0, 0);  // bits 8-14 zero
    const TriangleHeader pastEnd = Header(AnimCode(0, 3, 0), 0, 0);
    const TriangleHeader bigStart = Header(AnimCode(0, 0, 40), 0, 0);
    for (const TriangleHeader& h : {scroll, noFrames, negative, noSet, pastEnd, bigStart})
        viewport->AddTriangles(&h, &v, 1);
    ViewportInternals::AnimateTextureReferences(*viewport, 12345);
    EXPECT_EQ(ViewportInternals::Headers(*viewport)[0].Texture, 2006);
    EXPECT_FLOAT_EQ(ViewportInternals::Vertices(*viewport)[0].V[0].V, 0.7f);
    EXPECT_EQ(ViewportInternals::Headers(*viewport)[1].Texture, noFrames.Texture);
    EXPECT_EQ(ViewportInternals::Headers(*viewport)[2].Texture, 2007);
    EXPECT_EQ(ViewportInternals::Headers(*viewport)[3].Texture, 0);
    EXPECT_EQ(ViewportInternals::Headers(*viewport)[4].Texture, 0);
    EXPECT_EQ(ViewportInternals::Headers(*viewport)[5].Texture, 2007);  // start clamped to the last frame
}

struct OverlayCount {
    Viewport* vp;
    int calls = 0;
    static void Draw(void* user) {
        auto* o = static_cast<OverlayCount*>(user);
        ++o->calls;
        o->vp->Begin2D();
        o->vp->DrawPicture(1, BlendMode::Opaque, 0, 0, 8, 8);
    }
};

TEST_F(FrameTest, EmptyListStillClearsAndRunsThe2DPass) {
    OverlayCount o{viewport.get()};
    viewport->SetOverlay2D(&OverlayCount::Draw, &o);
    textures.Solid(1, D3DFMT_R8G8B8, 255, 255, 255);
    device->ResetStats();
    viewport->RenderFrame();
    EXPECT_EQ(o.calls, 1);
    EXPECT_EQ(device->Stats().Clears, 1u);
    EXPECT_EQ(device->Stats().DrawCalls, 1u);
    EXPECT_RGB_NEAR(Pixel(40, 40), 10, 20, 30, 0);
    EXPECT_RGB_NEAR(Pixel(2, 2), 64, 64, 64, 1);  // no font: colour 64, 64, 64
    viewport->RenderFrame();
    EXPECT_EQ(device->Stats().Presents, 2u);
    EXPECT_EQ(ViewportInternals::VertexCapacity2D(*viewport), 252);
}

struct SceneCount {
    int calls = 0;
    static void Build(void* user) { ++static_cast<SceneCount*>(user)->calls; }
};

TEST_F(FrameTest, SceneIsBuiltOncePerRenderFrame) {
    SceneCount s;
    viewport->SetScene3D(&SceneCount::Build, &s);
    viewport->RenderFrame();
    viewport->DrawFrame();
    viewport->Resize(kSize, kSize);
    viewport->DrawFrame();
    EXPECT_EQ(s.calls, 1);
    viewport->RenderFrame();
    EXPECT_EQ(s.calls, 2);
}

// Any window size: a square in the scene spans as many pixels across as down, so the view is
// never stretched (x pixels = m00 x / z * width / 2, y pixels = m11 y / z * height / 2).
TEST_F(FrameTest, ProjectionKeepsSquaresSquareAtAnyWindowSize) {
    for (const auto& [w, h] : {std::pair{640, 480}, {1280, 720}, {1920, 1080}, {600, 900}}) {
        ASSERT_TRUE(viewport->Resize(w, h));
        const Mat4& p = viewport->Projection();
        EXPECT_NEAR(p(0, 0) * static_cast<float>(w), p(1, 1) * static_cast<float>(h), 1e-3f * w) << w << " x " << h;
    }
}

TEST_F(FrameTest, FramesPerSecondAveragesWindowsOfASecond) {
    EXPECT_EQ(viewport->FramesPerSecond(), 0);
    for (int i = 0; i < 101; ++i) {  // frames at 0, 10, ..., 1000 ms
        viewport->RenderFrame();
        ClockAdvanceVirtual(10);
    }
    EXPECT_EQ(viewport->FramesPerSecond(), 50);  // (0 + 101) >> 1
    for (int i = 0; i < 101; ++i) {
        viewport->RenderFrame();
        ClockAdvanceVirtual(10);
    }
    EXPECT_EQ(viewport->FramesPerSecond(), 75);  // (50 + 101) >> 1
}

TEST_F(FrameTest, LostDeviceSkipsFramesQuietlyUntilAResetSucceeds) {
    textures.Solid(1, D3DFMT_R8G8B8, 255, 255, 255);
    for (int i = 0; i < 3; ++i) AddTagged(Header(1, 0, 0), i);
    viewport->RenderFrame();
    device->SimulateDeviceLoss(3);
    device->ResetStats();
    for (int i = 0; i < 3; ++i) {
        viewport->RenderFrame();
        EXPECT_TRUE(ViewportInternals::DeviceLost(*viewport));
        EXPECT_FALSE(device->InScene());
    }
    EXPECT_EQ(device->Stats().DrawCalls, 0u);
    EXPECT_EQ(device->Stats().Resets, 0u);
    viewport->RenderFrame();
    EXPECT_FALSE(ViewportInternals::DeviceLost(*viewport));
    EXPECT_EQ(device->Stats().Resets, 1u);
    EXPECT_EQ(device->Stats().DrawCalls, 1u);
    EXPECT_TRUE(messages.empty());
    // The reset dropped the buffers; the frame made a new one and the states are ours again.
    EXPECT_EQ(ViewportInternals::VertexCapacity3D(*viewport), 1003);
    EXPECT_EQ(device->GetRenderState(D3DRS_LIGHTING), 0u);
}

TEST_F(FrameTest, FailedVertexBufferEndsTheSceneAndRecovers) {
    textures.Solid(1, D3DFMT_R8G8B8, 255, 255, 255);
    AddTagged(Header(1, 0, 0), 0);
    device->SimulateVertexBufferFailures(1);
    viewport->RenderFrame();
    EXPECT_FALSE(device->InScene());
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0], "|failing trying to build a dx8 vertex buffer!!!!");
    viewport->RenderFrame();
    EXPECT_FALSE(device->InScene());
    EXPECT_EQ(ViewportInternals::VertexCapacity3D(*viewport), 1001);
    EXPECT_EQ(messages.size(), 1u);
}

TEST_F(FrameTest, Failed2DVertexBufferSkipsOnlyThe2DPass) {
    OverlayCount o{viewport.get()};
    viewport->SetOverlay2D(&OverlayCount::Draw, &o);
    device->SimulateVertexBufferFailures(1);
    viewport->RenderFrame();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0], "|failing trying to build a dx8 vertex buffer for 2d stuff!!!!");
    EXPECT_FALSE(device->InScene());
}

TEST_F(FrameTest, ResetWarnsWhenTheDisplayModeCannotBeRead) {
    ViewportInternals::Graphics(*viewport)->SimulateDisplayModeFailures(1);
    EXPECT_TRUE(viewport->Resize(kSize, kSize));
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0], "Warning.|Hardware Mode no availible...Trying software mode");
    EXPECT_FALSE(ViewportInternals::DeviceLost(*viewport));
}

// The viewport reports a device it cannot set up again and keeps trying on later frames;
// ending the program is the shell's decision (below).
TEST_F(FrameTest, ResetFailsWhenNoParametersCanBeBuiltTwice) {
    textures.Solid(1, D3DFMT_R8G8B8, 255, 255, 255);
    AddTagged(Header(1, 0, 0), 0);
    ViewportInternals::Graphics(*viewport)->SimulateDisplayModeFailures(2);
    EXPECT_FALSE(viewport->Resize(kSize, kSize));
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0], "Warning.|Hardware Mode no availible...Trying software mode");
    EXPECT_TRUE(ViewportInternals::DeviceLost(*viewport));
    ViewportInternals::Graphics(*viewport)->SimulateDisplayModeFailures(2);
    device->ResetStats();
    EXPECT_FALSE(viewport->RenderFrame());
    EXPECT_EQ(device->Stats().DrawCalls, 0u);
    EXPECT_TRUE(viewport->RenderFrame());  // the display mode answers again
    EXPECT_FALSE(ViewportInternals::DeviceLost(*viewport));
    EXPECT_EQ(device->Stats().DrawCalls, 1u);
}

TEST_F(FrameTest, SetupFailsWithoutACurrentGLContext) {
    Viewport second;
    ASSERT_TRUE(second.OpenGraphics());
    SDL_GL_MakeCurrent(window->Window(), nullptr);
    EXPECT_FALSE(second.Setup(window->Window(), kSize, kSize, false));
    EXPECT_EQ(ViewportInternals::Device(second), nullptr);
    EXPECT_TRUE(second.RenderFrame());  // nothing to draw with, and nothing fails
    window->MakeCurrent();
}

TEST_F(FrameTest, ShellEndsTheProgramWhenTheDeviceCannotBeSetUpAgain) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            viewport.reset();
            Shell shell;
            shell.Boxes.SetHeadless(true);
            if (!shell.View.OpenGraphics() || !shell.View.Setup(window->Window(), kSize, kSize, false)) std::exit(3);
            ViewportInternals::Graphics(shell.View)->SimulateDisplayModeFailures(2);
            shell.Resize(kSize, kSize);
            std::exit(4);
        },
        ::testing::ExitedWithCode(1), "Error: Error trying to setup Direct3d");
}

TEST_F(FrameTest, ShellEndsTheProgramWhenNoDeviceCanBeMade) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            viewport.reset();
            SDL_GL_MakeCurrent(window->Window(), nullptr);  // no current GL context
            Shell shell;
            shell.Boxes.SetHeadless(true);
            ShellSetup setup;
            setup.BasePath = "no-such-folder/";
            shell.Start(window->Window(), setup);
            std::exit(4);
        },
        ::testing::ExitedWithCode(1), "Error: Error trying to Create DX Viewport!");
}

TEST_F(FrameTest, ReadFrameGivesTheWholeDrawnFrameAndCountersFollowTheDevice) {
    textures.Solid(1, D3DFMT_R8G8B8, 255, 255, 255);
    AddQuad(Header(1, 0, 0), 0, 0, 2.0f);
    viewport->ResetCounters();
    viewport->RenderFrame();
    EXPECT_EQ(viewport->Counters().DrawCalls, 1u);
    EXPECT_EQ(&viewport->Counters(), &device->Stats());
    FramePixels frame;
    ASSERT_TRUE(viewport->ReadFrame(frame));
    ASSERT_EQ(frame.Width, kSize);
    ASSERT_EQ(frame.Height, kSize);
    ASSERT_EQ(frame.Rgba.size(), size_t(kSize) * kSize * 4);
    const auto at = [&frame](int x, int y) { return &frame.Rgba[(size_t(y) * kSize + x) * 4]; };
    EXPECT_EQ(at(kSize / 2, kSize / 2)[0], 255);  // the quad in the middle
    EXPECT_EQ(at(0, 0)[0], 10);                   // the clear colour in the corner
    EXPECT_EQ(at(0, 0)[2], 30);
    viewport->ReleaseGraphics();
    EXPECT_FALSE(viewport->ReadFrame(frame));
    EXPECT_EQ(viewport->Counters().DrawCalls, 0u);
    EXPECT_TRUE(viewport->RenderFrame());  // no device: nothing drawn, nothing failed
}

TEST(RenderBlendModes, StoredBytesNameTheirModes) {
    EXPECT_EQ(BlendModeOf(0), BlendMode::Opaque);
    EXPECT_EQ(BlendModeOf(1), BlendMode::AlphaTested);
    EXPECT_EQ(BlendModeOf(2), BlendMode::Additive);
    EXPECT_EQ(BlendModeOf(10), BlendMode::AdditiveSecond);
    EXPECT_EQ(BlendModeOf(11), BlendMode::InverseColour);
    EXPECT_EQ(BlendModeOf(0x40 | 1), BlendMode::AlphaTested);  // the top two bits are not the mode
    for (const BlendMode m : {BlendMode::Opaque, BlendMode::AlphaTested, BlendMode::Additive, BlendMode::AdditiveSecond,
                              BlendMode::InverseColour}) {
        EXPECT_EQ(BlendModeOf(BlendByte(m)), m);
    }
}

TEST(RenderColours, PackAndConvert) {
    EXPECT_EQ(PackColor(1, 2, 3, 4), 0x04030201u);
    EXPECT_EQ(PackColor(0x101, -1, 0, 0), 0x0000FF01u);
    EXPECT_EQ(ToD3DColor(PackColor(0x11, 0x22, 0x33, 0x00)), 0xFF112233u);
    EXPECT_EQ(FvfVertexSize(kFvf3D), 44u);
    EXPECT_EQ(FvfVertexSize(kFvf2D), 28u);
}

TEST(RenderCamera, UpdateViewFollowsPositionAndTarget) {
    Camera c;
    c.Position = VecMake(1, 2, 3);
    c.Target = VecMake(1, 2, 7);
    c.UpdateView();
    EXPECT_FLOAT_EQ(c.Up.x, 0.0f);
    EXPECT_FLOAT_EQ(c.Up.y, 3.0f);  // |1 * UpBias + eye.y|
    EXPECT_FLOAT_EQ(c.Up.z, -4.0f);
    EXPECT_FLOAT_EQ(c.Direction.z, 1.0f);
    Vec3 p = VecMake(1, 2, 7);
    VecTransform(p, c.View);
    EXPECT_NEAR(p.x, 0, 1e-5);
    EXPECT_NEAR(p.y, 0, 1e-5);
    EXPECT_NEAR(p.z, 4, 1e-5);
}

}  // namespace
}  // namespace dv::test
