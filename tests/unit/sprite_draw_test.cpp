// DrawSprite: clip-space corners, texture edges and mirroring, scale about the pivot, rotation,
// colour, the queue limit, and what BeginFrame clears.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>

#include "graphics/CDx_Gr.h"
#include "core/MapSceneEntity.h"
#include "core/System.h"
#include "support/fixtures.h"

namespace {

class SpriteTest : public ::testing::Test {
protected:
    void SetUp() override {
        scene->FillAngleTables();
        gr->system = sys.get();
        gr->scene = scene.get();
    }

    static DrawParam Quad(int32_t x, int32_t y, int32_t w, int32_t h) {
        return fixtures::Sprite(x, y, w, h, 0, 0, 512, 512, 3);
    }
    // The vertices of the queue slot last written.
    const Vertex* Draw(const DrawParam& p) {
        const uint32_t slot = gr->queueCount;
        EXPECT_EQ(gr->DrawSprite(p), 1);
        return gr->vertices + 4 * slot;
    }
    // Back from clip space to logical pixels.
    static float ScreenX(const Vertex& v) { return (v.x / 0.00078125f + 1280.0f) / 2.0f; }
    static float ScreenY(const Vertex& v) { return (720.0f - v.y / 0.00138888f) / 2.0f; }

    std::unique_ptr<System> sys = std::make_unique<System>();
    std::unique_ptr<MapSceneEntity> scene = std::make_unique<MapSceneEntity>();
    std::unique_ptr<CDx_Gr> gr = std::make_unique<CDx_Gr>();
};

TEST_F(SpriteTest, FullScreenQuadClipPositionsTextureEdgesAndColour) {
    DrawParam p = Quad(0, 0, 1280, 720);
    p.blendMode = 1;
    const Vertex* v = Draw(p);
    // V0 left bottom, V1 left top, V2 right bottom, V3 right top.
    const float xs[4] = {-1, -1, 1, 1};
    const float ys[4] = {-0.9999936f, 0.9999936f, -0.9999936f, 0.9999936f};
    for (int i = 0; i < 4; ++i) {
        EXPECT_FLOAT_EQ(v[i].x, xs[i]) << i;
        EXPECT_FLOAT_EQ(v[i].y, ys[i]) << i;
        EXPECT_FLOAT_EQ(v[i].z, 0.00005f);
        EXPECT_EQ(v[i].r, 0.99609375f);
        EXPECT_EQ(v[i].g, 0.99609375f);
        EXPECT_EQ(v[i].b, 0.99609375f);
        EXPECT_EQ(v[i].a, 0.99609375f);
    }
    // Texel inset 0.000001 on every edge for flip 0.
    EXPECT_FLOAT_EQ(v[0].u, 0.000001f);
    EXPECT_FLOAT_EQ(v[0].v, 1.000001f);
    EXPECT_FLOAT_EQ(v[1].v, 0.000001f);
    EXPECT_FLOAT_EQ(v[2].u, 1.000001f);
    EXPECT_EQ(gr->queueCount, 1u);
    EXPECT_EQ(gr->queueTexture[0], 3);
    EXPECT_EQ(gr->queueColour[0], 0xFFFFFFFFu);
    EXPECT_EQ(gr->queueBlendMode[0], 1);

    // Colour bytes map to byte / 256 each.
    p.colour = 0x80402000u;
    v = Draw(p);
    EXPECT_EQ(v[3].a, 0.5f);
    EXPECT_EQ(v[3].r, 0.25f);
    EXPECT_EQ(v[3].g, 0.125f);
    EXPECT_EQ(v[3].b, 0.0f);
}

TEST_F(SpriteTest, TexelScaleAndMirroring) {
    sys->texelInset = 0.0f;
    DrawParam p = Quad(0, 0, 64, 64);
    p.srcX = 64;
    p.srcY = 32;
    p.srcW = 64;
    p.srcH = 32;
    p.texture = 527;
    const Vertex* v = Draw(p);
    EXPECT_FLOAT_EQ(v[0].u, 64.0f / 512);
    EXPECT_FLOAT_EQ(v[3].u, 128.0f / 512);
    p.texture = 528;
    v = Draw(p);
    EXPECT_FLOAT_EQ(v[0].u, 64.0f / 128);
    EXPECT_FLOAT_EQ(v[0].v, 64.0f / 128);
    EXPECT_FLOAT_EQ(v[1].v, 32.0f / 128);

    // With an inset b: per flip the (u, v) of V0..V3 and the sign of b on each edge.
    sys->texelInset = 0.25f;
    p.texture = 528;  // edges uL 0.5, uR 1.0, vT 0.25, vB 0.5
    struct Expect {
        int flip;
        float u[4], v[4];
    };
    const Expect cases[] = {
        {0, {0.75f, 0.75f, 1.25f, 1.25f}, {0.75f, 0.5f, 0.75f, 0.5f}},
        {1, {0.75f, 0.75f, 0.25f, 0.25f}, {0.75f, 0.5f, 0.75f, 0.5f}},
        {2, {0.75f, 0.75f, 1.25f, 1.25f}, {0.0f, 0.75f, 0.0f, 0.75f}},
        {3, {1.25f, 1.25f, 0.25f, 0.25f}, {0.0f, 0.75f, 0.0f, 0.75f}},
        {7, {0.75f, 0.75f, 1.25f, 1.25f}, {0.75f, 0.5f, 0.75f, 0.5f}},
    };
    for (const Expect& e : cases) {
        p.flip = e.flip;
        v = Draw(p);
        for (int i = 0; i < 4; ++i) {
            EXPECT_FLOAT_EQ(v[i].u, e.u[i]) << "flip " << e.flip << " V" << i;
            EXPECT_FLOAT_EQ(v[i].v, e.v[i]) << "flip " << e.flip << " V" << i;
        }
    }
    // Flip 7 is exactly flip 0, positions included.
    p.flip = 0;
    Vertex plain[4];
    std::memcpy(plain, Draw(p), sizeof plain);
    p.flip = 7;
    EXPECT_EQ(std::memcmp(plain, Draw(p), sizeof plain), 0);
}

TEST_F(SpriteTest, ScaleIsAboutThePivot) {
    DrawParam p = Quad(100, 200, 50, 40);
    p.scaleX = 2.0f;
    const Vertex* v = Draw(p);
    EXPECT_NEAR(ScreenX(v[0]), 100.0f, 1e-3);
    EXPECT_NEAR(ScreenX(v[2]), 200.0f, 1e-3);
    EXPECT_NEAR(ScreenY(v[1]), 200.0f, 1e-2);
    EXPECT_NEAR(ScreenY(v[0]), 240.0f, 1e-2);

    p.pivotX = 25.0f;
    p.pivotY = 20.0f;
    p.scaleY = 0.5f;
    v = Draw(p);
    EXPECT_NEAR(ScreenX(v[0]), 75.0f, 1e-3);
    EXPECT_NEAR(ScreenX(v[2]), 175.0f, 1e-3);
    EXPECT_NEAR(ScreenY(v[1]), 210.0f, 1e-2);
    EXPECT_NEAR(ScreenY(v[0]), 230.0f, 1e-2);
}

TEST_F(SpriteTest, RotationUsesTheAngleTables) {
    DrawParam p = Quad(100, 100, 24, 24);
    p.pivotX = 12.0f;
    p.pivotY = 12.0f;
    p.angleZ = 64;  // a quarter turn: the left-bottom corner goes to the left-top position
    const Vertex* v = Draw(p);
    EXPECT_NEAR(ScreenX(v[0]), 100.0f, 1e-3);
    EXPECT_NEAR(ScreenY(v[0]), 100.0f, 1e-2);
    EXPECT_NEAR(ScreenX(v[3]), 124.0f, 1e-3);
    EXPECT_NEAR(ScreenY(v[3]), 124.0f, 1e-2);
    EXPECT_FLOAT_EQ(v[0].z, 0.5f * 0.0001f + 0.8192f);

    // Angles are taken modulo one turn.
    Vertex quarter[4];
    std::memcpy(quarter, v, sizeof quarter);
    p.angleZ = 64 + 256;
    v = Draw(p);
    EXPECT_EQ(std::memcmp(quarter, v, sizeof quarter), 0);
    p.angleZ = 64 - 256;
    v = Draw(p);
    EXPECT_EQ(std::memcmp(quarter, v, sizeof quarter), 0);

    // A quarter turn about the vertical axis narrows the card to a line at x + 0.5 and moves the
    // depth by the old x.
    p.angleZ = 0;
    p.angleY = 64;
    v = Draw(p);
    for (int i = 0; i < 4; ++i) EXPECT_NEAR(ScreenX(v[i]), 112.5f, 1e-3);
    EXPECT_NEAR(v[0].z, 12.0f * 0.0001f + 0.8192f, 1e-6);
    EXPECT_NEAR(v[2].z, -12.0f * 0.0001f + 0.8192f, 1e-6);

    // A half turn about the horizontal axis flips the card upside down.
    p.angleY = 0;
    p.angleX = 128;
    v = Draw(p);
    EXPECT_NEAR(ScreenY(v[0]), 100.0f, 1e-2);
    EXPECT_NEAR(ScreenY(v[1]), 124.0f, 1e-2);
}

TEST_F(SpriteTest, QueueStopsAtItsLimitAndBeginFrameClears) {
    DrawParam p = Quad(0, 0, 8, 8);
    p.blendMode = 1;
    for (uint32_t i = 0; i < kMaxSprites + 3; ++i) {
        p.texture = static_cast<int32_t>(i);
        gr->DrawSprite(p);
    }
    EXPECT_EQ(gr->queueCount, kMaxSprites);
    EXPECT_EQ(gr->queueTexture[kMaxSprites - 1], static_cast<int32_t>(kMaxSprites - 1));
    // Every later sprite lands in the last slot, which is never drawn.
    EXPECT_EQ(gr->queueTexture[kMaxSprites], static_cast<int32_t>(kMaxSprites + 2));

    gr->BeginFrame();
    EXPECT_EQ(gr->queueCount, 0u);
    for (uint32_t s = 0; s < kSpriteSlots; s += 997) {
        EXPECT_EQ(gr->queueTexture[s], 0);
        EXPECT_EQ(gr->queueColour[s], 0u);
        EXPECT_EQ(gr->queueBlendMode[s], 1);  // not cleared
        EXPECT_EQ(gr->vertices[4 * s].x, 0.0f);
        EXPECT_EQ(gr->vertices[4 * s + 3].u, 0.0f);
    }
}

TEST_F(SpriteTest, ObserverSeesEachRecordBeforeItIsQueued) {
    struct Seen {
        CDx_Gr* gr;
        int calls;
        uint32_t countAtCall;
        int32_t texture;
    } seen{gr.get(), 0, 99, -1};
    gr->drawObserverContext = &seen;
    gr->drawObserver = [](const DrawParam& p, void* context) {
        Seen* s = static_cast<Seen*>(context);
        ++s->calls;
        s->texture = p.texture;
        s->countAtCall = s->gr->queueCount;
    };
    DrawParam p = Quad(0, 0, 8, 8);
    p.texture = 42;
    gr->DrawSprite(p);
    EXPECT_EQ(seen.calls, 1);
    EXPECT_EQ(seen.texture, 42);
    EXPECT_EQ(seen.countAtCall, 0u);
    EXPECT_EQ(gr->queueCount, 1u);
}

}  // namespace
