// Synthesised effects and music. Every voice is computed from the time since its own start, so a
// note sounds the same wherever it is placed; the music loop relies on that (see ComposePlayMusic).
#include <algorithm>
#include <cmath>
#include <cstdint>

#include "mkdata.h"

namespace mkdata {

namespace {

constexpr double kPi = 3.14159265358979323846;

double MidiHz(double note) { return 440.0 * std::pow(2.0, (note - 69.0) / 12.0); }

// Stereo mixing buffer. Writes at or past `cut` are dropped; when `wrapLength` is set, writes at or
// past `wrapStart` fold back into [wrapStart, wrapStart + wrapLength): the buffer then holds exactly
// one period of a looping signal, with the tails of its last notes continuing at its start.
struct Mixer {
    std::vector<double> l, r;
    int64_t wrapStart = 0, wrapLength = 0;
    int64_t cut = INT64_MAX;

    explicit Mixer(size_t frames) : l(frames, 0.0), r(frames, 0.0) {}
    void Add(int64_t i, double a, double pan) {
        if (i < 0 || i >= cut) return;
        if (wrapLength > 0 && i >= wrapStart) i = wrapStart + (i - wrapStart) % wrapLength;
        if (i >= int64_t(l.size())) return;
        // Constant-power pan, -1 left .. +1 right.
        const double th = (pan + 1.0) * kPi / 4.0;
        l[size_t(i)] += a * std::cos(th) * 1.41421356;
        r[size_t(i)] += a * std::sin(th) * 1.41421356;
    }
};

// Noise from a fixed seed: the same drum hit always gets the same noise.
class Noise {
public:
    explicit Noise(uint32_t seed) : s_(seed) {}
    double Next() {
        s_ = s_ * 1664525u + 1013904223u;
        return (double(s_ >> 8) / double(1u << 23)) - 1.0;
    }

private:
    uint32_t s_;
};

double PolyBlep(double t, double dt) {
    if (t < dt) {
        t /= dt;
        return t + t - t * t - 1.0;
    }
    if (t > 1.0 - dt) {
        t = (t - 1.0) / dt;
        return t * t + t + t + 1.0;
    }
    return 0.0;
}

// Envelope: attack, decay to sustain, hold until `gate` seconds, then release.
double Adsr(double t, double gate, double a, double d, double s, double r) {
    double level;
    if (t < a)
        level = t / a;
    else if (t < a + d)
        level = 1.0 - (1.0 - s) * (t - a) / d;
    else
        level = s;
    if (t >= gate) {
        double atGate = gate < a ? gate / a : (gate < a + d ? 1.0 - (1.0 - s) * (gate - a) / d : s);
        const double k = 1.0 - (t - gate) / r;
        level = k > 0 ? atGate * k : 0.0;
    }
    return level;
}

enum class Wave { Pulse, Saw, Triangle, Sine };

struct Voice {
    Wave wave = Wave::Pulse;
    double duty = 0.5;
    double a = 0.005, d = 0.1, s = 0.7, r = 0.1;
    double cutoff = 6000.0;   // one-pole low-pass, Hz
    double vibrato = 0.0;     // semitones, after 0.18 s
    double detune = 0.0;      // semitones; a second oscillator at +detune
    double glideFrom = 0.0;   // semitones below the note at the start, gliding up in 40 ms
};

// One note: start frame, MIDI pitch, gate in frames, level and pan.
void Note(Mixer& m, int64_t start, double pitch, int64_t gate, double level, double pan, const Voice& v) {
    const double gateSec = double(gate) / kRate;
    const int64_t frames = gate + int64_t(v.r * kRate) + 1;
    double ph1 = 0.0, ph2 = 0.0, lp = 0.0;
    const double alpha = 1.0 - std::exp(-2.0 * kPi * v.cutoff / kRate);
    const double base1 = MidiHz(pitch), base2 = MidiHz(pitch + v.detune);
    for (int64_t i = 0; i < frames; ++i) {
        const double t = double(i) / kRate;
        double dp = 0.0;
        if (v.vibrato > 0 && t > 0.18) dp += v.vibrato * std::sin(2 * kPi * 5.2 * (t - 0.18)) * std::min(1.0, (t - 0.18) * 4);
        if (v.glideFrom > 0 && t < 0.04) dp -= v.glideFrom * (1.0 - t / 0.04);
        const double k = dp != 0.0 ? std::exp2(dp / 12.0) : 1.0;
        const double dt1 = base1 * k / kRate, dt2 = base2 * k / kRate;
        auto osc = [&](double ph, double dt) {
            switch (v.wave) {
                case Wave::Saw: return 2.0 * ph - 1.0 - PolyBlep(ph, dt);
                case Wave::Triangle: return 1.0 - 4.0 * std::fabs(ph - 0.5);
                case Wave::Sine: return std::sin(2 * kPi * ph);
                case Wave::Pulse:
                default: {
                    double x = (ph < v.duty ? 1.0 : -1.0) + PolyBlep(ph, dt);
                    double q = ph - v.duty;
                    if (q < 0) q += 1.0;
                    return x - PolyBlep(q, dt);
                }
            }
        };
        double x = osc(ph1, dt1);
        if (v.detune != 0.0) x = 0.5 * (x + osc(ph2, dt2));
        lp += alpha * (x - lp);
        const double env = Adsr(t, gateSec, v.a, v.d, v.s, v.r);
        m.Add(start + i, lp * env * level, pan);
        ph1 += dt1;
        if (ph1 >= 1.0) ph1 -= 1.0;
        ph2 += dt2;
        if (ph2 >= 1.0) ph2 -= 1.0;
    }
}

void Kick(Mixer& m, int64_t start, double level) {
    const int64_t n = int64_t(0.32 * kRate);
    double ph = 0.0;
    for (int64_t i = 0; i < n; ++i) {
        const double t = double(i) / kRate;
        const double f = 45.0 + 110.0 * std::exp(-t * 28.0);
        ph += f / kRate;
        const double env = std::exp(-t * 11.0) * std::min(1.0, t * 800.0) * (1.0 - double(i) / n);
        const double click = std::exp(-t * 400.0) * 0.3 * std::min(1.0, t * 4000.0);
        m.Add(start + i, (std::sin(2 * kPi * ph) * env + click) * level, 0.0);
    }
}

void Snare(Mixer& m, int64_t start, double level) {
    const int64_t n = int64_t(0.22 * kRate);
    Noise noise(0x5A4E3Du);
    double prev = 0.0, ph = 0.0;
    for (int64_t i = 0; i < n; ++i) {
        const double t = double(i) / kRate;
        const double w = noise.Next();
        const double hp = w - prev;  // tilt the noise towards the highs
        prev = w;
        ph += 185.0 / kRate;
        const double body = std::sin(2 * kPi * ph) * std::exp(-t * 30.0) * 0.6;
        const double fade = 1.0 - double(i) / n;
        m.Add(start + i, (hp * 0.28 * std::exp(-t * 17.0) + body) * level * fade * std::min(1.0, t * 2000.0), 0.05);
    }
}

void Hat(Mixer& m, int64_t start, double level, bool open) {
    const double len = open ? 0.2 : 0.05;
    const int64_t n = int64_t(len * kRate);
    Noise noise(open ? 0x0B0E11u : 0x4A7u);
    double p1 = 0.0, p2 = 0.0;
    for (int64_t i = 0; i < n; ++i) {
        const double t = double(i) / kRate;
        const double w = noise.Next();
        const double hp = w - 2 * p1 + p2;  // second difference: a steep high-pass
        p2 = p1;
        p1 = w;
        const double env = std::exp(-t * (open ? 14.0 : 70.0)) * (1.0 - double(i) / n) * std::min(1.0, t * 3000.0);
        m.Add(start + i, hp * 0.07 * env * level, 0.3);
    }
}

// Final mix: gentle saturation, then 16-bit.
Pcm ToPcm(const Mixer& m, double gain) {
    Pcm p;
    p.s.resize(m.l.size() * 2);
    for (size_t i = 0; i < m.l.size(); ++i) {
        const double a = std::tanh(m.l[i] * gain), b = std::tanh(m.r[i] * gain);
        p.s[2 * i] = int16_t(std::lround(a * 32000.0));
        p.s[2 * i + 1] = int16_t(std::lround(b * 32000.0));
    }
    return p;
}

// ------------------------------------------------------------------ the play music

// 16th note = 5000 frames (about 132 beats a minute), so every bar is a whole 80,000 frames.
constexpr int64_t kStep = 5000;
constexpr int64_t kBar = 16 * kStep;
constexpr int kIntroBars = 4;
constexpr int kLoopBars = 32;

// Chords by root (MIDI pitch class) and quality.
struct Chord {
    int root;   // 0 = C
    int third;  // 3 minor, 4 major
};

constexpr Chord kDm{2, 3}, kBb{10, 4}, kF{5, 4}, kC{0, 4}, kGm{7, 3}, kA{9, 4}, kAm{9, 3}, kEb{3, 4};

// Loop bars 0..31; the last bar is the turnaround that also ends the intro.
const Chord kLoopChords[kLoopBars] = {
    kDm, kBb, kF, kC, kDm, kBb, kGm, kA,   // theme
    kBb, kC, kAm, kDm, kGm, kC, kF, kA,    // answer
    kDm, kBb, kF, kC, kDm, kBb, kGm, kA,   // theme with harmony
    kGm, kGm, kDm, kDm, kEb, kEb, kA, kA,  // bridge
};
const Chord kIntroChords[kIntroBars] = {kDm, kDm, kBb, kA};

struct Tone {
    int pitch;  // MIDI, 0 = rest
    int steps;  // 16ths
};

// Lead melody, one line of tones per bar (each bar adds up to 16 steps).
const std::vector<std::vector<Tone>> kTheme = {
    {{69, 4}, {74, 2}, {76, 2}, {77, 4}, {76, 2}, {74, 2}},
    {{74, 6}, {72, 2}, {70, 4}, {74, 4}},
    {{72, 4}, {77, 2}, {79, 2}, {81, 4}, {79, 2}, {77, 2}},
    {{76, 6}, {77, 2}, {79, 4}, {76, 4}},
    {{77, 4}, {81, 2}, {79, 2}, {77, 4}, {76, 2}, {74, 2}},
    {{74, 4}, {77, 4}, {82, 6}, {81, 2}},
    {{79, 4}, {74, 2}, {70, 2}, {74, 4}, {79, 4}},
    {{81, 6}, {79, 2}, {77, 2}, {76, 2}, {73, 4}},
};
const std::vector<std::vector<Tone>> kAnswer = {
    {{70, 2}, {74, 2}, {77, 4}, {82, 4}, {81, 2}, {77, 2}},
    {{79, 6}, {76, 2}, {72, 4}, {76, 2}, {79, 2}},
    {{81, 4}, {79, 2}, {76, 2}, {72, 4}, {76, 4}},
    {{74, 8}, {0, 4}, {69, 2}, {74, 2}},
    {{70, 2}, {74, 2}, {79, 4}, {82, 4}, {81, 2}, {79, 2}},
    {{81, 4}, {79, 4}, {76, 4}, {72, 4}},
    {{77, 4}, {76, 2}, {77, 2}, {81, 4}, {84, 4}},
    {{82, 4}, {81, 4}, {79, 2}, {77, 2}, {76, 4}},
};
const std::vector<std::vector<Tone>> kBridge = {
    {{74, 8}, {79, 8}},
    {{77, 4}, {74, 4}, {70, 8}},
    {{69, 8}, {74, 4}, {77, 4}},
    {{81, 12}, {0, 4}},
    {{79, 8}, {82, 8}},
    {{79, 4}, {77, 4}, {75, 8}},
    {{76, 8}, {73, 4}, {76, 4}},
};
// The turnaround: a rising pickup into the theme.
const std::vector<Tone> kPickup = {{0, 10}, {64, 2}, {65, 2}, {67, 2}};

// Diatonic third below in D minor (C sharp, from the A chord, counts as C).
int ThirdBelow(int pitch) {
    static const int scale[7] = {2, 4, 5, 7, 9, 10, 0};
    if (pitch % 12 == 1) --pitch;
    const int pc = pitch % 12;
    int idx = 0;
    for (int i = 0; i < 7; ++i)
        if (scale[i] == pc) idx = i;
    const int down = (idx + 5) % 7;
    int diff = (pc - scale[down] + 12) % 12;
    return pitch - diff;
}

struct Parts {
    bool lead = true, harmony = false, arp = false, pad = true, bassLong = false;
    int drums = 1;  // 0 none, 1 main beat, 2 half time, 3 turnaround fill, 4 hats only, 5 kick and hats
};

const Voice kLeadVoice = {Wave::Pulse, 0.3, 0.006, 0.12, 0.65, 0.10, 4200.0, 0.22, 0.06, 0.4};
const Voice kHarmVoice = {Wave::Triangle, 0.5, 0.01, 0.15, 0.6, 0.10, 3000.0, 0.15, 0.0, 0.0};
const Voice kBassVoice = {Wave::Saw, 0.5, 0.003, 0.12, 0.45, 0.04, 700.0, 0.0, 0.03, 0.0};
const Voice kPadVoice = {Wave::Saw, 0.5, 0.35, 0.4, 0.75, 0.45, 1500.0, 0.0, 0.09, 0.0};
const Voice kArpVoice = {Wave::Pulse, 0.5, 0.002, 0.09, 0.0, 0.05, 3200.0, 0.0, 0.0, 0.0};

// Chord tone nearest above `low`.
int ChordTone(const Chord& c, int degree, int low) {
    const int offsets[3] = {0, c.third, 7};
    const int pc = (c.root + offsets[degree % 3]) % 12;
    int p = low;
    while (p % 12 != pc) ++p;
    return p;
}

void RenderBar(Mixer& m, int64_t t0, const Chord& ch, const std::vector<Tone>* melody, const Parts& parts) {
    // Pad: the three chord tones, held for the bar.
    if (parts.pad)
        for (int k = 0; k < 3; ++k)
            Note(m, t0, ChordTone(ch, k, 57), kBar - kStep, 0.045, k == 0 ? -0.5 : (k == 1 ? 0.5 : 0.0), kPadVoice);
    // Bass.
    const int root = ChordTone(ch, 0, 33);
    if (parts.bassLong) {
        Note(m, t0, root, 7 * kStep, 0.20, 0.0, kBassVoice);
        Note(m, t0 + 8 * kStep, root, 5 * kStep, 0.20, 0.0, kBassVoice);
        Note(m, t0 + 14 * kStep, root + 12, kStep + kStep / 2, 0.16, 0.0, kBassVoice);
    } else {
        const int pattern[8] = {0, 0, 12, 0, 0, 0, 12, 7};
        for (int k = 0; k < 8; ++k)
            Note(m, t0 + 2 * k * kStep, root + pattern[k], kStep + kStep / 2, k == 0 ? 0.22 : 0.17, 0.0, kBassVoice);
    }
    // Arpeggio: chord tones up and down in 16ths.
    if (parts.arp) {
        const int order[8] = {0, 1, 2, 3, 4, 3, 2, 1};
        for (int k = 0; k < 16; ++k) {
            const int deg = order[k % 8];
            const int p = ChordTone(ch, deg % 3, 62) + 12 * (deg / 3);
            Note(m, t0 + k * kStep, p, kStep / 2, 0.05, (k % 2) ? 0.35 : -0.35, kArpVoice);
        }
    }
    // Lead (with echoes) and the harmony a third below.
    if (melody && parts.lead) {
        int64_t t = t0;
        for (const Tone& tone : *melody) {
            const int64_t len = tone.steps * kStep;
            if (tone.pitch > 0) {
                const int64_t gate = len - kStep / 4;
                Note(m, t, tone.pitch, gate, 0.11, 0.08, kLeadVoice);
                Note(m, t + 3 * kStep, tone.pitch, gate, 0.035, -0.6, kLeadVoice);
                Note(m, t + 6 * kStep, tone.pitch, gate, 0.015, 0.6, kLeadVoice);
                if (parts.harmony) Note(m, t, ThirdBelow(tone.pitch), gate, 0.07, -0.25, kHarmVoice);
            }
            t += len;
        }
    }
    // Drums.
    switch (parts.drums) {
        case 1:
            for (int k : {0, 8, 10}) Kick(m, t0 + k * kStep, 0.55);
            for (int k : {4, 12}) Snare(m, t0 + k * kStep, 0.5);
            for (int k = 0; k < 16; k += 2) Hat(m, t0 + k * kStep, k == 14 ? 0.0 : (k % 4 ? 0.7 : 0.45), false);
            Hat(m, t0 + 14 * kStep, 0.5, true);
            break;
        case 2:
            for (int k : {0, 10}) Kick(m, t0 + k * kStep, 0.5);
            Snare(m, t0 + 8 * kStep, 0.45);
            for (int k = 0; k < 16; ++k) Hat(m, t0 + k * kStep, (k % 2) ? 0.3 : 0.5, false);
            break;
        case 3:
            Kick(m, t0, 0.55);
            Kick(m, t0 + 6 * kStep, 0.45);
            for (int k : {8, 10, 12, 13, 14, 15}) Snare(m, t0 + k * kStep, 0.25 + 0.03 * k);
            for (int k = 0; k < 8; k += 2) Hat(m, t0 + k * kStep, 0.5, false);
            break;
        case 4:
            for (int k = 0; k < 16; k += 2) Hat(m, t0 + k * kStep, (k % 4) ? 0.6 : 0.4, false);
            break;
        case 5:
            Kick(m, t0, 0.5);
            Kick(m, t0 + 8 * kStep, 0.5);
            for (int k = 0; k < 16; k += 2) Hat(m, t0 + k * kStep, (k % 4) ? 0.7 : 0.45, false);
            break;
        default:
            break;
    }
}

// The turnaround bar ends both the intro and the loop, so whatever rings on past the end of either
// is the same sound: the loop start can carry it for both.
void RenderTurnaround(Mixer& m, int64_t t0) {
    Parts p;
    p.arp = true;
    p.drums = 3;
    RenderBar(m, t0, kA, &kPickup, p);
}

}  // namespace

// Track 7, the music of the play scene: a 4-bar intro, then a 32-bar loop (theme, answer, theme
// with harmony, bridge). The loop is rendered folded onto itself, so it is exactly periodic; the
// intro is cut where the loop starts, and its last bar equals the loop's last bar, so the sound
// that rings past the intro is the sound the loop start already holds.
Music ComposePlayMusic() {
    const int64_t intro = kIntroBars * kBar, loop = kLoopBars * kBar;
    Mixer m{size_t(intro + loop)};

    // Intro, cut at the loop start.
    m.cut = intro;
    {
        Parts p;
        p.lead = false;
        p.arp = true;
        p.drums = 4;
        RenderBar(m, 0, kIntroChords[0], nullptr, p);
        p.drums = 5;
        RenderBar(m, kBar, kIntroChords[1], nullptr, p);
        p.drums = 1;
        RenderBar(m, 2 * kBar, kIntroChords[2], nullptr, p);
        RenderTurnaround(m, 3 * kBar);
    }

    // Loop, folded.
    m.cut = INT64_MAX;
    m.wrapStart = intro;
    m.wrapLength = loop;
    for (int bar = 0; bar < kLoopBars; ++bar) {
        const int64_t t0 = intro + bar * kBar;
        if (bar == kLoopBars - 1) {
            RenderTurnaround(m, t0);
            continue;
        }
        Parts p;
        const std::vector<Tone>* melody = nullptr;
        if (bar < 8) {
            melody = &kTheme[bar];
        } else if (bar < 16) {
            melody = &kAnswer[bar - 8];
            p.arp = true;
        } else if (bar < 24) {
            melody = &kTheme[bar - 16];
            p.arp = true;
            p.harmony = true;
        } else {
            melody = &kBridge[bar - 24];
            p.arp = true;
            p.bassLong = true;
            p.drums = 2;
        }
        RenderBar(m, t0, kLoopChords[bar], melody, p);
    }

    Music music;
    music.pcm = ToPcm(m, 1.1);
    music.loopStart = uint32_t(intro);
    music.loopLength = uint32_t(loop);
    return music;
}

// Shared by every track the game does not play: two seconds of a soft, exactly periodic chord
// (each partial makes a whole number of cycles in the loop).
Music ComposeQuietLoop() {
    const int64_t n = 2 * kRate;
    Mixer m{size_t(n)};
    const double freqs[3] = {110.0, 164.5, 220.0};  // 220, 329 and 440 cycles in two seconds
    for (int64_t i = 0; i < n; ++i) {
        const double t = double(i) / kRate;
        double x = 0.0;
        for (double f : freqs) x += std::sin(2 * kPi * f * t);
        const double swell = 0.75 + 0.25 * std::sin(2 * kPi * 0.5 * t);  // one cycle per loop
        m.Add(i, x * 0.012 * swell, 0.0);
    }
    Music music;
    music.pcm = ToPcm(m, 1.0);
    music.loopStart = 0;
    music.loopLength = uint32_t(n);
    return music;
}

// ------------------------------------------------------------------ effects

namespace {

// A struck tone with exponential decay and a short fade at the end.
void Bell(Mixer& m, double startSec, double hz, double decay, double level, double pan, double lenSec) {
    const int64_t s = int64_t(startSec * kRate), n = int64_t(lenSec * kRate);
    for (int64_t i = 0; i < n; ++i) {
        const double t = double(i) / kRate;
        const double env = std::exp(-t * decay) * std::min(1.0, t * 500.0) * std::min(1.0, double(n - i) / 220.0);
        const double x = std::sin(2 * kPi * hz * t) + 0.35 * std::sin(2 * kPi * hz * 2.01 * t) * std::exp(-t * 8.0);
        m.Add(s + i, x * env * level, pan);
    }
}

Pcm Finish(Mixer& m, double gain) {
    // Last 4 ms fade to silence, so no effect ends on a step.
    const size_t n = m.l.size(), fade = 176;
    for (size_t i = 0; i < fade && i < n; ++i) {
        const double k = double(i) / fade;
        m.l[n - 1 - i] *= k;
        m.r[n - 1 - i] *= k;
    }
    return ToPcm(m, gain);
}

}  // namespace

// Effect 0: a bright two-note chime for menu choices and the pause.
Pcm MakeEffectConfirm() {
    Mixer m{size_t(0.22 * kRate)};
    Voice v = {Wave::Pulse, 0.25, 0.002, 0.05, 0.4, 0.04, 7000.0, 0.0, 0.0, 0.0};
    Note(m, 0, 88, int64_t(0.045 * kRate), 0.30, -0.1, v);
    Note(m, int64_t(0.05 * kRate), 95, int64_t(0.07 * kRate), 0.30, 0.1, v);
    Bell(m, 0.05, MidiHz(95), 22.0, 0.12, 0.0, 0.16);
    return Finish(m, 1.0);
}

// Effect 14: one to three lines: a rising sweep into a clear bell.
Pcm MakeEffectLines() {
    const int64_t n = int64_t(0.5 * kRate);
    Mixer m{size_t(n)};
    double ph = 0.0;
    Noise noise(0x11E5u);
    double prev = 0.0;
    for (int64_t i = 0; i < int64_t(0.16 * kRate); ++i) {
        const double t = double(i) / kRate;
        const double f = 420.0 * std::pow(4.0, t / 0.16);
        ph += f / kRate;
        const double env = std::min(1.0, t * 200.0) * (1.0 - t / 0.16);
        const double w = noise.Next();
        const double air = (w - prev) * 0.12;
        prev = w;
        m.Add(i, (std::sin(2 * kPi * ph) * 0.25 + air) * env, -0.3 + 3.0 * t);
    }
    Bell(m, 0.14, MidiHz(86), 9.0, 0.26, 0.0, 0.36);
    Bell(m, 0.14, MidiHz(93), 11.0, 0.14, 0.25, 0.36);
    return Finish(m, 1.0);
}

// Effect 11: four lines: a fast rising major arpeggio and a shimmering chord, under one second.
Pcm MakeEffectFourLines() {
    const int64_t n = int64_t(0.96 * kRate);
    Mixer m{size_t(n)};
    Voice v = {Wave::Pulse, 0.35, 0.002, 0.08, 0.5, 0.06, 6000.0, 0.0, 0.05, 0.0};
    const int arp[6] = {74, 78, 81, 86, 90, 93};
    for (int k = 0; k < 6; ++k)
        Note(m, int64_t(k * 0.055 * kRate), arp[k], int64_t(0.05 * kRate), 0.20, -0.5 + 0.2 * k, v);
    const int chord[4] = {74, 78, 81, 86};
    for (int k = 0; k < 4; ++k) Bell(m, 0.33, MidiHz(chord[k]), 4.5, 0.10, -0.45 + 0.3 * k, 0.63);
    Noise noise(0x5A11u);
    double prev = 0.0;
    for (int64_t i = int64_t(0.33 * kRate); i < n; ++i) {
        const double t = double(i) / kRate - 0.33;
        const double w = noise.Next();
        const double sparkle = (w - prev) * 0.07 * std::exp(-t * 5.0) * (0.5 + 0.5 * std::sin(2 * kPi * 14.0 * t));
        prev = w;
        m.Add(i, sparkle, std::sin(2 * kPi * 3.0 * t) * 0.6);
    }
    return Finish(m, 1.0);
}

// Every effect id the game does not use: a soft, short tick.
Pcm MakeEffectTick() {
    Mixer m{size_t(0.05 * kRate)};
    Bell(m, 0.0, 880.0, 90.0, 0.08, 0.0, 0.05);
    return Finish(m, 1.0);
}

}  // namespace mkdata
