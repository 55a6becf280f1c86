// The device side of the renderer: what one flush of the queue sends to the device (blend kinds
// and factors, bind order, present), device loss, CheckDevice, and the DIB-to-texture conversion.
#include <gtest/gtest.h>

#include <vector>

#include "graphics/CDx_Gr.h"
#include "render_test_support.h"

namespace {

using rendertest::RendererTest;
using rendertest::TestDib;
using rendertest::Texel16;
using Call = RecordRenderCall;

class RenderDeviceTest : public RendererTest {
protected:
    void SetUp() override {
        RendererTest::SetUp();
        ASSERT_EQ(gr->Create(), 1);
        Device().record = true;
    }
    void Queue(uint32_t colour, int32_t mode, int32_t texture = 0) {
        DrawParam p{};
        p.w = 24;
        p.h = 24;
        p.scaleX = p.scaleY = 1.0f;
        p.colour = colour;
        p.blendMode = mode;
        p.texture = texture;
        gr->DrawSprite(p);
    }
    std::vector<Call> Calls(Call::Kind kind) const {
        std::vector<Call> out;
        for (const Call& c : platform.render->calls) {
            if (c.kind == kind) out.push_back(c);
        }
        return out;
    }
};

TEST_F(RenderDeviceTest, EmptyQueueUploadsClearsAndPresentsWithoutBlend) {
    gr->BeginFrame();
    EXPECT_EQ(gr->EndFrame(), 0);
    const std::vector<Call>& calls = Device().calls;
    ASSERT_EQ(calls.size(), 4u);
    EXPECT_EQ(calls[0].kind, Call::Upload);
    EXPECT_EQ(calls[0].value, static_cast<int32_t>(kQueueVertices));  // the whole array
    EXPECT_EQ(calls[1].kind, Call::Clear);
    EXPECT_EQ(calls[2].kind, Call::Shaders);
    EXPECT_EQ(calls[3].kind, Call::Present);
    EXPECT_EQ(calls[3].value, 0);
    EXPECT_EQ(Device().lastUpload, gr->vertices);
}

TEST_F(RenderDeviceTest, BlendKindsAndFactors) {
    gr->BeginFrame();
    Queue(0x80FFFFFFu, 0, 5);   // translucent: kind 1
    Queue(0xFF808080u, 0, 6);   // opaque tint: kind 2
    Queue(0xFFFFFFFFu, 1, 7);   // mode 1: kind 3 (slot 5)
    Queue(0x40FF0000u, 1, 8);   // mode 1 wins over the alpha
    Queue(0x10203040u, 9, 9);   // any other mode: kind 0
    gr->EndFrame();

    const std::vector<Call> blends = Calls(Call::Blend);
    ASSERT_EQ(blends.size(), 5u);
    EXPECT_EQ(blends[0].value, 1);
    for (int c = 0; c < 3; ++c) EXPECT_FLOAT_EQ(blends[0].factor[c], 255.0f / 256.0f * 0.5f);
    EXPECT_FLOAT_EQ(blends[0].factor[3], 0.5f);
    EXPECT_EQ(blends[1].value, 2);
    EXPECT_FLOAT_EQ(blends[1].factor[0], 0.5f * 255.0f / 256.0f);
    EXPECT_FLOAT_EQ(blends[1].factor[3], 255.0f / 256.0f);
    EXPECT_EQ(blends[2].value, 5);
    EXPECT_EQ(blends[3].value, 5);
    EXPECT_FLOAT_EQ(blends[3].factor[0], 255.0f / 256.0f * 0.25f);
    EXPECT_FLOAT_EQ(blends[3].factor[1], 0.0f);
    EXPECT_EQ(blends[4].value, 0);

    // Each sprite: blend, texture, then a draw of its own four indices.
    const std::vector<Call> textures = Calls(Call::Texture);
    const std::vector<Call> draws = Calls(Call::Draw);
    ASSERT_EQ(textures.size(), 5u);
    ASSERT_EQ(draws.size(), 5u);
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(textures[i].value, 5 + i);
        EXPECT_EQ(draws[i].value, 4 * i);
    }
}

TEST_F(RenderDeviceTest, KindZeroRunsBindOnceOtherKindsEverySprite) {
    gr->BeginFrame();
    Queue(0xFFFFFFFFu, 0);
    Queue(0xFFFFFFFFu, 0);
    Queue(0xFFFFFFFFu, 3);      // also kind 0: same run
    Queue(0x80FFFFFFu, 0);      // kind 1
    Queue(0x80FFFFFFu, 0);      // kind 1 again: rebinds for its own factor
    Queue(0xFFFFFFFFu, 0);      // back to kind 0
    Queue(0xFFFFFFFFu, 0);
    gr->EndFrame();

    std::vector<int> slots;
    for (const Call& c : Calls(Call::Blend)) slots.push_back(c.value);
    EXPECT_EQ(slots, (std::vector<int>{0, 1, 1, 0}));
    // The first bind comes before the first sprite's texture and draw.
    const std::vector<Call>& calls = Device().calls;
    EXPECT_EQ(calls[3].kind, Call::Blend);
    EXPECT_EQ(calls[4].kind, Call::Texture);
}

TEST_F(RenderDeviceTest, VsyncSelectsTheSyncInterval) {
    sys->vsync = 1;
    gr->BeginFrame();
    gr->EndFrame();
    sys->vsync = 0;
    gr->EndFrame();
    const std::vector<Call> presents = Calls(Call::Present);
    ASSERT_EQ(presents.size(), 2u);
    EXPECT_EQ(presents[0].value, 1);
    EXPECT_EQ(presents[1].value, 0);
}

TEST_F(RenderDeviceTest, RemovedOrResetWhilePresentingMarksTheDeviceLost) {
    gr->BeginFrame();
    Device().presentResult = kDeviceHung;
    EXPECT_EQ(gr->EndFrame(), kDeviceHung);
    EXPECT_EQ(sys->deviceLost, 0);
    for (int32_t code : {kDeviceRemoved, kDeviceReset}) {
        sys->deviceLost = 0;
        Device().presentResult = code;
        EXPECT_EQ(gr->EndFrame(), code);
        EXPECT_EQ(sys->deviceLost, 1);
    }
}

TEST_F(RenderDeviceTest, CheckDeviceReactions) {
    // Healthy: nothing happens.
    EXPECT_EQ(gr->CheckDevice(), 0);
    EXPECT_TRUE(platform.services.messages.empty());
    EXPECT_EQ(Device().creates, 1);

    // Hung or reset: release, re-create, report, and carry on.
    for (int32_t reason : {kDeviceHung, kDeviceReset}) {
        platform.services.messages.clear();
        const int creates = Device().creates;
        const int releases = Device().releases;
        Device().removedReason = reason;
        EXPECT_EQ(gr->CheckDevice(), 0);
        EXPECT_EQ(Device().releases, releases + 1);
        EXPECT_EQ(Device().creates, creates + 1);
        ASSERT_EQ(platform.services.messages.size(), 1u);
        EXPECT_EQ(platform.services.messages[0].text, u"失敗しました。");
        EXPECT_EQ(platform.services.messages[0].caption, u"Message");
    }

    // Re-creation fails: its code comes back.
    platform.services.messages.clear();
    Device().removedReason = kDeviceReset;
    Device().createResult = -1;
    EXPECT_EQ(gr->CheckDevice(), -1);
    EXPECT_EQ(platform.services.messages.size(), 1u);

    // Removed for another reason: reported and returned, no rebuild.
    platform.services.messages.clear();
    Device().createResult = 1;
    Device().removedReason = kDeviceRemoved;
    const int creates = Device().creates;
    EXPECT_EQ(gr->CheckDevice(), kDeviceRemoved);
    EXPECT_EQ(Device().creates, creates);
    EXPECT_EQ(platform.services.messages.size(), 1u);
}

TEST_F(RenderDeviceTest, SixteenBitConversion) {
    TestDib d;
    d.SetColour(0, 10, 20, 30);  // ignored: index 0 is always transparent
    d.SetColour(1, 255, 255, 255);
    d.SetColour(2, 8, 16, 248);
    d.SetColour(3, 7, 15, 247);  // the low three bits drop
    d.At(0, 0) = 1;
    d.At(1, 0) = 2;
    d.At(2, 0) = 3;
    d.At(511, 511) = 2;
    ASSERT_TRUE(gr->CreateTexture16(4, d.dib));
    EXPECT_TRUE(gr->textureLoaded[4]);
    const RecordRender& r = Device();
    ASSERT_TRUE(r.textures[4].present);
    EXPECT_EQ(r.textures[4].format, PlatTextureFormat::B5G5R5A1);
    EXPECT_EQ(Texel16(r, 4, 0, 0), 0xFFFF);
    EXPECT_EQ(Texel16(r, 4, 1, 0), 0x845F);
    EXPECT_EQ(Texel16(r, 4, 2, 0), 0x8000 | 0 << 10 | 1 << 5 | 30);
    EXPECT_EQ(Texel16(r, 4, 3, 0), 0x7C1F);
    EXPECT_EQ(Texel16(r, 4, 511, 511), 0x845F);  // bottom-up rows land the right way up
    EXPECT_EQ(Texel16(r, 4, 511, 0), 0x7C1F);
}

TEST_F(RenderDeviceTest, ThirtyTwoBitConversion) {
    TestDib d;
    d.SetColour(1, 1, 2, 3);
    d.At(5, 7) = 1;
    ASSERT_TRUE(gr->CreateTexture32(9, d.dib));
    const RecordRender::Texture& t = Device().textures[9];
    EXPECT_EQ(t.format, PlatTextureFormat::R8G8B8A8);
    const uint8_t* p = t.pixels.data() + (7 * 512 + 5) * 4;
    EXPECT_EQ((std::vector<uint8_t>{p[0], p[1], p[2], p[3]}), (std::vector<uint8_t>{1, 2, 3, 255}));
    p = t.pixels.data();
    EXPECT_EQ((std::vector<uint8_t>{p[0], p[1], p[2], p[3]}), (std::vector<uint8_t>{255, 0, 255, 0}));
}

TEST_F(RenderDeviceTest, TextureStepRefusesWhatItCannotRead) {
    TestDib d;
    Dib narrow = d.dib;
    narrow.width = 256;
    EXPECT_FALSE(gr->CreateTexture16(1, narrow));
    Dib empty = d.dib;
    empty.bits = nullptr;
    EXPECT_FALSE(gr->CreateTexture32(1, empty));
    EXPECT_FALSE(gr->CreateTexture16(-1, d.dib));
    EXPECT_FALSE(gr->CreateTexture16(kTextureSlots, d.dib));
    Device().failTextures = true;
    EXPECT_FALSE(gr->CreateTexture16(1, d.dib));
    EXPECT_FALSE(gr->textureLoaded[1]);
    EXPECT_FALSE(Device().textures[1].present);
}

TEST_F(RenderDeviceTest, ReleaseEmptiesTheTextureTable) {
    TestDib d;
    ASSERT_TRUE(gr->CreateTexture16(2, d.dib));
    ASSERT_TRUE(gr->CreateTexture16(3, d.dib));
    gr->ReleaseTexture(2);
    EXPECT_FALSE(gr->textureLoaded[2]);
    EXPECT_FALSE(Device().textures[2].present);
    EXPECT_TRUE(gr->textureLoaded[3]);
    gr->ReleaseTexture(-5);  // outside the table: nothing to release
    EXPECT_TRUE(gr->Release());
    EXPECT_FALSE(gr->textureLoaded[3]);
    EXPECT_FALSE(Device().textures[3].present);
    EXPECT_FALSE(Device().created);
}

}  // namespace
