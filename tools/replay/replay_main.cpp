// kelvorine-replay: runs the game core headless from a script of per-frame inputs and writes one
// JSON line of state per frame. Every rule comes from the core itself; the tool only sets the
// input record and the calendar clock, runs the scene frame and reports.
//
//   kelvorine-replay [--start title|play] [--ini FILE] [--sprites]
//                    [--png-every N DIR [--data FOLDER]] < SCRIPT > TRACE
//
// --png-every draws every frame with the software render device and writes frames 0, N, 2N ...
// as DIR/frame_NNNNNN.png; --data loads textures 0..7 from FOLDER's texture list first (without
// it every sprite is drawn untextured, as opaque black).
//
// Script: one frame per non-empty line "DIR BUTTONS CLOCK" (direction bits 1 up 2 down 4 left
// 8 right; button bits 1 DECISION 2 CANCELLATION 4 PAUSE 8 SHIFT; CLOCK calendar seconds). Lines
// starting with '#' are comments. A malformed line ends the run with exit code 2.
#include <cerrno>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "audio/CXa2.h"
#include "game/GameScene.h"
#include "game/PlayState.h"
#include "graphics/CDx_Gr.h"
#include "core/MapSceneEntity.h"
#include "menus/CTitleIcDX.h"
#include "menus/Menu.h"
#include "menus/TitleFrame.h"
#include "platform/headless/headless.h"
#include "platform/common/raster.h"
#include "platform/headless/png_write.h"
#include "shell/App.h"
#include "shell/BootedGame.h"
#include "core/CXi.h"
#include "shell/Game.h"
#include "core/System.h"
#include "platform/common/text.h"
#include "script.h"

namespace {

constexpr int kExitBadInput = 2;

// ------------------------------------------------------------------------ per-frame recording
constexpr int kMaxSeCalls = 256;
int32_t gSeCalls[kMaxSeCalls];
int gSeCount = 0;

constexpr int kMaxDraws = 2 * static_cast<int>(kSpriteSlots);
DrawParam gDraws[kMaxDraws];
int gDrawCount = 0;
bool gDrawOverflowReported = false;

void RecordDraw(const DrawParam& p, void*) {
    if (gDrawCount < kMaxDraws) {
        gDraws[gDrawCount++] = p;
    } else if (!gDrawOverflowReported) {
        std::fprintf(stderr, "kelvorine-replay: more than %d sprites in one frame; the rest are not listed\n",
                     kMaxDraws);
        gDrawOverflowReported = true;
    }
}

// An effect voice that plays nothing and notes every effect started on it. PlaySe is the only
// caller that submits a buffer during a frame, so a submit marks one PlaySe that passed its guard.
class RecordingVoice final : public PlatVoice {
public:
    int32_t id = 0;
    bool Submit(const AudioBuffer&) override {
        if (gSeCount < kMaxSeCalls) gSeCalls[gSeCount++] = id;
        return true;
    }
    void Start() override {}
    void Stop() override {}
    void Flush() override {}
    uint32_t BuffersQueued() override { return 1; }
    void SetVolume(float) override {}
    void Destroy() override {}
};

RecordingVoice gVoices[kEffectVoices];

// ------------------------------------------------------------------------ output
// A fixed output buffer flushed to stdout when it fills; nothing is allocated per frame.
class Out {
public:
    void Raw(const char* s, size_t n) {
        if (used_ + n > sizeof buf_) Flush();
        if (n > sizeof buf_) {
            std::fwrite(s, 1, n, stdout);
            return;
        }
        std::memcpy(buf_ + used_, s, n);
        used_ += n;
    }
    void Str(const char* s) { Raw(s, std::strlen(s)); }
    void Int(int64_t v) {
        char t[32];
        const int n = std::snprintf(t, sizeof t, "%" PRId64, v);
        Raw(t, static_cast<size_t>(n));
    }
    void Key(const char* name, int64_t v) {
        Str(",\"");
        Str(name);
        Str("\":");
        Int(v);
    }
    void Array(const char* name, const int32_t* v, int n) {
        Str(",\"");
        Str(name);
        Str("\":[");
        for (int i = 0; i < n; ++i) {
            if (i != 0) Str(",");
            Int(v[i]);
        }
        Str("]");
    }
    void Flush() {
        if (used_ != 0) std::fwrite(buf_, 1, used_, stdout);
        used_ = 0;
    }

private:
    char buf_[1 << 16];
    size_t used_ = 0;
};

Out gOut;

void WriteTrace(int64_t frame, uint32_t sprites, bool withDraws) {
    const System* s = gGame->system;
    const MapSceneEntity* m = gGame->mapSceneEntity;
    const MenuBlock& b = m->menu;
    const PlayState& p = gPlay;

    gOut.Str("{\"frame\":");
    gOut.Int(frame);
    gOut.Key("scene", m->sceneNumber);
    char board[kBoardCells + 1];
    for (int i = 0; i < kBoardCells; ++i) {
        const int32_t v = p.board[i];
        board[i] = v >= 0 && v <= 9 ? static_cast<char>('0' + v) : '?';
    }
    board[kBoardCells] = '\0';
    gOut.Str(",\"board\":\"");
    gOut.Str(board);
    gOut.Str("\"");
    gOut.Key("pieceX", p.pieceX);
    gOut.Key("pieceY", p.pieceY);
    gOut.Key("rotation", p.rotation);
    gOut.Array("queue", p.pieceQueue, kQueueLength);
    gOut.Key("score", p.score);
    gOut.Key("level", p.level);
    gOut.Key("levelLines", p.levelLines);
    gOut.Key("moveCounter", p.moveCounter);
    gOut.Key("fastRepeat", p.fastRepeat);
    gOut.Key("cwLatch", p.cwLatch);
    gOut.Key("ccwLatch", p.ccwLatch);
    gOut.Key("blockedLeft", p.blockedLeft);
    gOut.Key("blockedRight", p.blockedRight);
    gOut.Key("landed", p.landed);
    gOut.Key("gravityCounter", p.gravityCounter);
    gOut.Key("softDropCounter", p.softDropCounter);
    gOut.Key("lockCounter", p.lockCounter);
    gOut.Key("stuckCount", p.stuckCount);
    gOut.Key("gameOverCounter", p.gameOverCounter);
    gOut.Key("boardReady", p.boardReady);
    gOut.Key("paused", b.paused);
    gOut.Key("pausePhase", b.pausePhase);
    gOut.Key("pauseOpen", b.pauseOpen);
    gOut.Key("fadeAlpha", m->fadeAlpha);
    gOut.Key("fadeToBlack", m->fadeToBlack);
    gOut.Key("fadeFromBlack", m->fadeFromBlack);
    gOut.Key("musicRequestPending", m->musicRequestPending);
    gOut.Key("musicRequestCode", m->musicRequestCode);
    gOut.Key("currentMusicTrack", s->currentMusicTrack.load(std::memory_order_relaxed));
    gOut.Key("previousMusic", s->previousMusic);
    gOut.Key("musicRestart", s->musicRestart);
    gOut.Key("titlePhase", b.titlePhase);
    gOut.Key("subPhase", b.subPhase);
    gOut.Key("titleOpen", b.titleOpen);
    gOut.Key("subOpen", b.subOpen);
    gOut.Key("titleCursor", b.titleCursor);
    gOut.Key("optionCursor", b.optionCursor);
    gOut.Key("menuChoice", m->menuChoice);
    gOut.Key("colorTheme", m->colorTheme);
    gOut.Key("titleRepeat", b.titleRepeat);
    gOut.Key("optionRepeat", b.optionRepeat);
    gOut.Key("valueRepeat", b.valueRepeat);
    gOut.Key("cursorPulse", m->cursorPulse);
    gOut.Key("fullScreen", s->fullScreen);
    gOut.Key("toggleRequest", s->toggleRequest);
    gOut.Key("vsync", s->vsync);
    gOut.Key("timerMode", s->timerMode);
    gOut.Key("frameSkip", s->frameSkip);
    gOut.Key("bgmVolume", s->bgmVolume);
    gOut.Key("seVolume", s->seVolume);
    int32_t arrangement[4];
    for (int i = 0; i < 4; ++i) arrangement[i] = s->buttonArrangement[i];
    gOut.Array("buttonArrangement", arrangement, 4);
    gOut.Array("optionsMirror", s->optionsMirror, kOptionRows);
    gOut.Array("ranking", m->rankScores, kRankingEntries);
    gOut.Array("se", gSeCalls, gSeCount);
    gOut.Key("sprites", sprites);
    if (withDraws) {
        gOut.Str(",\"draws\":[");
        for (int i = 0; i < gDrawCount; ++i) {
            const DrawParam& d = gDraws[i];
            const int32_t row[13] = {d.texture, d.x,     d.y,    d.w,
                                     d.h,       d.srcX,  d.srcY, d.srcW,
                                     d.srcH,    0,       d.flip, d.blendMode,
                                     d.angleZ};
            gOut.Str(i == 0 ? "[" : ",[");
            for (int k = 0; k < 13; ++k) {
                if (k != 0) gOut.Str(",");
                // The colour is unsigned ARGB.
                if (k == 9) {
                    gOut.Int(static_cast<int64_t>(d.colour));
                } else {
                    gOut.Int(row[k]);
                }
            }
            gOut.Str("]");
        }
        gOut.Str("]");
    }
    gOut.Str("}\n");
}

int Usage(const char* message) {
    if (message != nullptr) std::fprintf(stderr, "kelvorine-replay: %s\n", message);
    std::fprintf(stderr,
                 "usage: kelvorine-replay [--start title|play] [--ini FILE] [--sprites]\n"
                 "                        [--png-every N DIR [--data FOLDER]] < SCRIPT > TRACE\n");
    return kExitBadInput;
}

// The state right after start-up, with the title about to run its first frame: the booted game
// with the settings read and effect voices that record.
bool SetUp(HeadlessPlatform* platform, const char* iniPath) {
    Game* g = gGame;
    System* s = g->system;
    MapSceneEntity* m = g->mapSceneEntity;

    char16_t path[kPathChars] = {};
    if (iniPath != nullptr && !HostBytesToU16(iniPath, path, kPathChars)) {
        std::fprintf(stderr, "kelvorine-replay: settings file name too long\n");
        return false;
    }
    // Without --ini the path is empty: the reader finds no file and keeps the defaults.
    s->ReadSettings(path, m);

    // No pad is connected; the keyboard fields of the input record are set by the script.
    platform->input.padConnected = false;
    s->activeInputDevice = s->inputDevice;

    // Effects are recorded, never heard.
    s->soundMode = 2;
    s->soundOff = 0;
    g->xa2->engine = true;
    g->xa2->masterVoice = true;
    for (int i = 0; i < kEffectVoices; ++i) {
        gVoices[i].id = i;
        g->xa2->seVoice[i] = &gVoices[i];
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    bool startPlay = false;
    bool withDraws = false;
    const char* iniPath = nullptr;
    long pngEvery = 0;
    const char* pngDir = nullptr;
    const char* dataDir = nullptr;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--start") == 0 && i + 1 < argc) {
            const char* v = argv[++i];
            if (std::strcmp(v, "title") == 0) {
                startPlay = false;
            } else if (std::strcmp(v, "play") == 0) {
                startPlay = true;
            } else {
                return Usage("--start takes title or play");
            }
        } else if (std::strcmp(argv[i], "--ini") == 0 && i + 1 < argc) {
            iniPath = argv[++i];
        } else if (std::strcmp(argv[i], "--png-every") == 0 && i + 2 < argc) {
            char* end = nullptr;
            pngEvery = std::strtol(argv[++i], &end, 10);
            if (*end != '\0' || pngEvery < 1 || pngEvery > 1000000) return Usage("--png-every takes a count of 1 or more");
            pngDir = argv[++i];
        } else if (std::strcmp(argv[i], "--data") == 0 && i + 1 < argc) {
            dataDir = argv[++i];
        } else if (std::strcmp(argv[i], "--sprites") == 0) {
            withDraws = true;
        } else if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            Usage(nullptr);
            return 0;
        } else {
            return Usage("unknown or incomplete argument");
        }
    }
    if (iniPath != nullptr) {
        // A settings file that was asked for and is not there is a mistake, not the defaults.
        FILE* f = std::fopen(iniPath, "rb");
        if (f == nullptr) {
            std::fprintf(stderr, "kelvorine-replay: cannot open settings file %s: %s\n", iniPath,
                         std::strerror(errno));
            return kExitBadInput;
        }
        std::fclose(f);
    }

    HeadlessPlatform platform;
    RasterRender* raster = nullptr;
    if (pngEvery > 0) platform.render.reset(raster = new RasterRender());
    platform.Install();
    platform.services.echoMessages = true;
    BootedGame booted;
    if (!SetUp(&platform, iniPath)) return kExitBadInput;
    Game* g = gGame;
    System* s = g->system;
    MapSceneEntity* m = g->mapSceneEntity;
    if (startPlay) StartGameFromTitle(s, m);
    if (g->dxGr->Create() < 0) {
        std::fprintf(stderr, "kelvorine-replay: the headless render device could not be created\n");
        return 1;
    }
    g->dxGr->drawObserver = withDraws ? RecordDraw : nullptr;
    if (dataDir != nullptr && !booted.LoadTextures(dataDir)) {
        std::fprintf(stderr, "kelvorine-replay: the textures of %s could not be loaded\n", dataDir);
        return 1;
    }

    int exitCode = 0;
    char line[4096];
    int64_t lineNumber = 0;
    int64_t frame = 0;
    while (std::fgets(line, sizeof line, stdin) != nullptr) {
        ++lineNumber;
        size_t n = std::strlen(line);
        const bool complete = n > 0 && line[n - 1] == '\n';
        if (!complete && !std::feof(stdin)) {
            std::fprintf(stderr, "kelvorine-replay: line %" PRId64 ": line too long\n", lineNumber);
            exitCode = kExitBadInput;
            break;
        }
        while (n > 0 && (line[n - 1] == '\n' || line[n - 1] == '\r')) line[--n] = '\0';
        const char* text = line;
        while (*text == ' ' || *text == '\t') ++text;
        if (*text == '\0' || *text == '#') continue;

        FrameInput in{};
        if (const char* why = ParseFrameLine(text, &in)) {
            std::fprintf(stderr, "kelvorine-replay: line %" PRId64 ": %s\n", lineNumber, why);
            exitCode = kExitBadInput;
            break;
        }
        s->dirBits = in.dir;
        s->buttonBits = in.buttons;
        platform.SetCalendarTime(in.clock);
        gSeCount = 0;
        gDrawCount = 0;

        RunSceneFrame(m->sceneNumber);
        const uint32_t sprites = g->dxGr->queueCount;
        g->dxGr->EndFrame();
        if (raster != nullptr && frame % pngEvery == 0) {
            char name[4096];
            std::snprintf(name, sizeof name, "%s/frame_%06" PRId64 ".png", pngDir, frame);
            if (!WritePng(name, raster->Pixels(), RasterRender::kWidth, RasterRender::kHeight)) {
                std::fprintf(stderr, "kelvorine-replay: cannot write %s\n", name);
                exitCode = 1;
                break;
            }
        }
        WriteTrace(frame, sprites, withDraws);
        ++frame;  // frames are numbered from 0; comment and blank lines are not frames
    }
    gOut.Flush();
    std::fflush(stdout);

    g->dxGr->Release();
    return exitCode;
}
