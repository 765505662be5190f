#include "tools/sound/sound_synth.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <numbers>

namespace dv {

namespace {

constexpr double kRate = kSoundRate;
constexpr double kTwoPi = 2.0 * std::numbers::pi;
constexpr double kFadeIn = 0.002;   // seconds of fade at the start of effects and music
constexpr double kFadeOut = 0.015;  // and at their end
constexpr double kDcCutoff = 20.0;  // the DC blocker's corner, Hz
constexpr int kFilterUpdate = 32;   // samples between coefficient updates of moving filters
// Filters are fourth order, two second-order stages with these Q (Butterworth, 24 dB per
// octave); a layer's resonance raises the second stage's Q above its plain value.
constexpr double kButterworthQ[2] = {0.5412, 1.3066};
constexpr double kPlainResonance = 0.707;

// splitmix64: small, fast and the same on every platform, so the noise is part of the source.
class Rng {
public:
    explicit Rng(uint64_t seed) : state_(seed) {}
    uint64_t Next() {
        uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    double Uniform() { return static_cast<double>(Next() >> 11) * 0x1.0p-53; }  // [0, 1)
    double Signed() { return 2.0 * Uniform() - 1.0; }                           // [-1, 1)

private:
    uint64_t state_;
};

uint64_t MixSeed(uint64_t a, uint64_t b) { return Rng(a * 0x100000001B3ull ^ (b + 0x632BE59BD9B4E019ull)).Next(); }

// A second-order filter (RBJ cookbook low- and high-pass), transposed direct form II.
class Biquad {
public:
    void SetLowpass(double freq, double q) { Set(freq, q, false); }
    void SetHighpass(double freq, double q) { Set(freq, q, true); }
    double Process(double x) {
        const double y = b0_ * x + z1_;
        z1_ = b1_ * x - a1_ * y + z2_;
        z2_ = b2_ * x - a2_ * y;
        return y;
    }

private:
    void Set(double freq, double q, bool high) {
        const double w = kTwoPi * std::clamp(freq, 10.0, 0.45 * kRate) / kRate;
        const double alpha = std::sin(w) / (2.0 * q);
        const double c = std::cos(w);
        const double a0 = 1.0 + alpha;
        const double side = high ? (1.0 + c) / 2.0 : (1.0 - c) / 2.0;
        b0_ = side / a0;
        b1_ = (high ? -2.0 * side : 2.0 * side) / a0;
        b2_ = side / a0;
        a1_ = -2.0 * c / a0;
        a2_ = (1.0 - alpha) / a0;
    }
    double b0_ = 1, b1_ = 0, b2_ = 0, a1_ = 0, a2_ = 0, z1_ = 0, z2_ = 0;
};

// Smooth random values in [-1, 1]: random knots `rate` times a second, joined by cosine
// interpolation, so loudness and filters drift without steps.
class SmoothRandom {
public:
    SmoothRandom(double rate, double seconds, Rng& rng) : rate_(rate) {
        if (rate <= 0.0) return;
        const size_t knots = static_cast<size_t>(seconds * rate) + 3;
        knots_.reserve(knots);
        for (size_t i = 0; i < knots; ++i) knots_.push_back(rng.Signed());
    }
    double At(double t) const {
        if (knots_.empty()) return 0.0;
        const double x = t * rate_;
        const size_t i = std::min(static_cast<size_t>(x), knots_.size() - 2);
        const double f = 0.5 - 0.5 * std::cos(std::numbers::pi * std::min(1.0, x - static_cast<double>(i)));
        return knots_[i] + (knots_[i + 1] - knots_[i]) * f;
    }

private:
    double rate_;
    std::vector<double> knots_;
};

// Rises over `attack` along a half cosine.
double Rise(double t, double attack) {
    if (t >= attack) return 1.0;
    return 0.5 - 0.5 * std::cos(std::numbers::pi * t / attack);
}

// Falls from 1 to exactly 0 over `time`, exponentially (-60 dB at the end, then shifted to 0).
double Fall(double t, double time) {
    if (t >= time) return 0.0;
    return (std::pow(10.0, -3.0 * t / time) - 0.001) / 0.999;
}

// One event of a layer: its start, pitch factor and gain factor.
struct LayerEvent {
    double Start = 0.0;
    double Pitch = 1.0;
    double Gain = 1.0;
};

// A layer's envelope: attack, hold, then a fall over `decay`; without a decay it holds to
// the end of the sound. The length of the shaped part is also the span of glides and sweeps.
class LayerEnvelope {
public:
    LayerEnvelope(const SoundLayer& l, double remaining) : layer_(l) {
        span_ = l.Decay > 0.0 ? l.Attack + l.Hold + l.Decay : std::max(remaining, 1e-3);
        if (l.Decay == 0.0 && l.Hold > 0.0) span_ = std::min(span_, l.Attack + l.Hold);
        length_ = l.Decay > 0.0 ? span_ : remaining;
    }
    double Length() const { return length_; }
    double Progress(double t) const { return std::min(1.0, t / span_); }
    double At(double t) const {
        const double rise = Rise(t, layer_.Attack);
        if (layer_.Decay == 0.0) return rise;
        const double after = t - layer_.Attack - layer_.Hold;
        return after <= 0.0 ? rise : Fall(after, layer_.Decay);
    }

private:
    const SoundLayer& layer_;
    double span_ = 0.0, length_ = 0.0;
};

double Glide(double from, double to, double progress) { return from * std::pow(to / from, progress); }

struct LayerModulation {
    SmoothRandom Wander;
    SmoothRandom Wobble;
};

void RenderEvent(const SoundLayer& l, const LayerEvent& e, const LayerModulation& mod, Rng& noise,
                 std::vector<double>& mix) {
    const size_t total = mix.size();
    const size_t first = static_cast<size_t>(std::llround(e.Start * kRate));
    if (first >= total) return;
    const LayerEnvelope env(l, static_cast<double>(total - first) / kRate);
    const size_t last = std::min(total, first + static_cast<size_t>(std::ceil(env.Length() * kRate)));
    Biquad low[2], high[2];
    if (l.Highpass > 0.0) {
        high[0].SetHighpass(l.Highpass * e.Pitch, kButterworthQ[0]);
        high[1].SetHighpass(l.Highpass * e.Pitch, kButterworthQ[1]);
    }
    double phase = 0.0, modPhase = 0.0;
    for (size_t i = first; i < last; ++i) {
        const double t = static_cast<double>(i - first) / kRate;
        const double abs = static_cast<double>(i) / kRate;
        const double progress = env.Progress(t);
        const double shape = env.At(t);
        double v = 0.0;
        if (l.Source == LayerSource::Noise) {
            v = noise.Signed();
        } else {
            const double freq = Glide(l.Freq, l.FreqEnd, progress) * e.Pitch;
            if (l.Source == LayerSource::Sine) v = std::sin(phase);
            else if (l.Source == LayerSource::Triangle) v = 2.0 / std::numbers::pi * std::asin(std::sin(phase));
            else v = std::sin(phase + l.Index * shape * std::sin(modPhase));
            phase = std::fmod(phase + kTwoPi * freq / kRate, kTwoPi);
            modPhase = std::fmod(modPhase + kTwoPi * freq * l.Ratio / kRate, kTwoPi);
        }
        if (l.Lowpass > 0.0) {
            if ((i - first) % kFilterUpdate == 0) {
                const double cutoff =
                    Glide(l.Lowpass, l.LowpassEnd, progress) * e.Pitch * std::exp2(l.WobbleDepth * mod.Wobble.At(abs));
                low[0].SetLowpass(cutoff, kButterworthQ[0]);
                low[1].SetLowpass(cutoff, kButterworthQ[1] * l.Resonance / kPlainResonance);
            }
            v = low[1].Process(low[0].Process(v));
        }
        if (l.Highpass > 0.0) v = high[1].Process(high[0].Process(v));
        double gain = l.Gain * e.Gain * shape;
        if (l.TremoloDepth > 0.0) gain *= 1.0 - l.TremoloDepth * (0.5 + 0.5 * std::sin(kTwoPi * l.TremoloRate * abs));
        if (l.WanderDepth > 0.0) gain *= 1.0 - l.WanderDepth * (0.5 + 0.5 * mod.Wander.At(abs));
        mix[i] += gain * v;
    }
}

// Adds one layer to `mix`: one event, or `Repeat` per second scattered over its window.
void RenderLayer(const SoundLayer& l, double pitch, double gain, double shift, uint64_t seed,
                 std::vector<double>& mix) {
    Rng rng(seed);
    const double seconds = static_cast<double>(mix.size()) / kRate;
    const LayerModulation mod{SmoothRandom(l.WanderRate, seconds, rng), SmoothRandom(l.WobbleRate, seconds, rng)};
    std::vector<LayerEvent> events;
    if (l.Repeat <= 0.0) {
        events.push_back({l.At + shift, pitch, gain});
    } else {
        const double window = l.Within > 0.0 ? l.Within : std::max(0.0, seconds - l.At);
        const int count = std::max(1, static_cast<int>(std::lround(l.Repeat * window)));
        for (int i = 0; i < count; ++i) {
            const double start = l.At + shift + rng.Uniform() * window;
            const double eventPitch = pitch * (1.0 + l.Spread * rng.Signed());
            const double eventGain = gain * (1.0 - l.Spread * rng.Uniform());
            events.push_back({start, eventPitch, eventGain});
        }
    }
    for (const LayerEvent& e : events) RenderEvent(l, e, mod, rng, mix);
}

void BlockDc(std::vector<double>& x, int channels) {
    const double r = 1.0 - kTwoPi * kDcCutoff / kRate;
    for (int c = 0; c < channels; ++c) {
        double lastIn = 0.0, lastOut = 0.0;
        for (size_t i = static_cast<size_t>(c); i < x.size(); i += static_cast<size_t>(channels)) {
            const double y = x[i] - lastIn + r * lastOut;
            lastIn = x[i];
            lastOut = y;
            x[i] = y;
        }
    }
}

// Half-cosine fades over the first `in` and the last `out` seconds.
void FadeEnds(std::vector<double>& x, int channels, double in, double out) {
    const size_t frames = x.size() / static_cast<size_t>(channels);
    const size_t inFrames = std::min(frames, static_cast<size_t>(in * kRate));
    const size_t outFrames = std::min(frames, static_cast<size_t>(out * kRate));
    for (size_t f = 0; f < frames; ++f) {
        double g = 1.0;
        if (f < inFrames) g *= Rise(static_cast<double>(f), static_cast<double>(inFrames));
        if (f + outFrames >= frames && outFrames > 0)
            g *= Rise(static_cast<double>(frames - 1 - f), static_cast<double>(outFrames));
        for (int c = 0; c < channels; ++c) x[f * static_cast<size_t>(channels) + static_cast<size_t>(c)] *= g;
    }
}

// Folds the `overlap` samples past `frames` over the start with an equal-power cross-fade, so
// the last kept sample runs on into the first as it did in the longer rendering.
std::vector<double> FoldSeam(const std::vector<double>& x, size_t frames, size_t overlap) {
    std::vector<double> out(x.begin(), x.begin() + static_cast<std::ptrdiff_t>(frames));
    for (size_t i = 0; i < overlap; ++i) {
        const double a = std::numbers::pi / 2.0 * static_cast<double>(i) / static_cast<double>(overlap);
        out[i] = x[i] * std::sin(a) + x[frames + i] * std::cos(a);
    }
    return out;
}

SoundSamples Quantise(const std::vector<double>& x, int channels, double peak) {
    double top = 0.0;
    for (const double v : x) top = std::max(top, std::abs(v));
    const double scale = top > 0.0 ? peak / top : 0.0;
    SoundSamples s;
    s.SampleRate = kSoundRate;
    s.Channels = channels;
    s.Frames.reserve(x.size());
    for (const double v : x)
        s.Frames.push_back(static_cast<int16_t>(std::lround(std::clamp(v * scale, -1.0, 1.0) * 32767.0)));
    return s;
}

std::vector<double> RenderLayers(const SoundDef& def, size_t frames, uint64_t variationSeed, bool vary) {
    std::vector<double> mix(frames, 0.0);
    Rng varyRng(variationSeed);
    const double pitch = vary ? 1.0 + def.VaryPitch * varyRng.Signed() : 1.0;
    // Layers that start later (a toe after the heel) move together; those at 0 stay, so every
    // variation starts where the sound does.
    const double lateShift = vary ? def.VaryTime * varyRng.Signed() : 0.0;
    for (size_t i = 0; i < def.Layers.size(); ++i) {
        const SoundLayer& layer = def.Layers[i];
        const double gain = vary ? 1.0 + def.VaryGain * varyRng.Signed() : 1.0;
        const double shift = layer.At > 0.0 ? std::max(-layer.At, lateShift) : 0.0;
        RenderLayer(layer, pitch, gain, shift, MixSeed(variationSeed, i), mix);
    }
    return mix;
}

std::vector<RenderedSound> RenderEffect(const SoundDef& def) {
    const std::vector<std::string> names = def.OutputNames();
    const size_t frames = static_cast<size_t>(std::lround(def.Length * kRate));
    std::vector<RenderedSound> out;
    for (size_t v = 0; v < names.size(); ++v) {
        std::vector<double> mix = RenderLayers(def, frames, MixSeed(def.Seed, v), names.size() > 1);
        BlockDc(mix, 1);
        FadeEnds(mix, 1, kFadeIn, kFadeOut);
        out.push_back({names[v], def.Kind, Quantise(mix, 1, def.Peak)});
    }
    return out;
}

std::vector<RenderedSound> RenderLoop(const SoundDef& def) {
    const size_t frames = static_cast<size_t>(std::lround(def.Length * kRate));
    const size_t overlap = static_cast<size_t>(std::lround(def.Crossfade * kRate));
    std::vector<double> mix = RenderLayers(def, frames + overlap, MixSeed(def.Seed, 0), false);
    BlockDc(mix, 1);
    return {{def.OutputNames()[0], def.Kind, Quantise(FoldSeam(mix, frames, overlap), 1, def.Peak)}};
}

// One partial of an instrument's tone: frequency multiple, level, decay-time factor, pan offset.
struct Partial {
    double Multiple, Level, DecayFactor, PanOffset;
};

std::vector<Partial> TonePartials(InstrumentTone tone) {
    std::vector<Partial> p;
    switch (tone) {
        case InstrumentTone::Sine: p.push_back({1.0, 1.0, 1.0, 0.0}); break;
        case InstrumentTone::Pad:
            // Three slightly detuned voices spread left, centre and right, soft harmonics.
            for (const double detune : {-0.004, 0.0, 0.004}) {
                for (int n = 1; n <= 7; ++n)
                    p.push_back({n * (1.0 + detune), 0.33 / std::pow(n, 1.6), 1.0, detune * 100.0});
            }
            break;
        case InstrumentTone::Pluck:
            // Higher harmonics die away faster, so the note starts bright and mellows.
            for (int n = 1; n <= 12; ++n)
                p.push_back({static_cast<double>(n), 1.0 / std::pow(n, 1.3), 1.0 / (1.0 + 0.6 * (n - 1)), 0.0});
            break;
        case InstrumentTone::Bell:
            p.push_back({1.0, 1.0, 1.0, 0.0});
            p.push_back({2.0, 0.35, 0.6, 0.0});
            p.push_back({3.0, 0.25, 0.4, 0.0});
            p.push_back({4.0, 0.12, 0.3, 0.0});
            p.push_back({6.0, 0.06, 0.2, 0.0});
            break;
    }
    return p;
}

// Adds one note of an instrument to the stereo buffer: partials under an attack, a natural
// decay (if the instrument has one) while held, and a release after the note ends.
void RenderNote(const SoundInstrument& in, double freq, double start, double held, std::vector<double>& stereo) {
    const size_t frames = stereo.size() / 2;
    const size_t first = static_cast<size_t>(std::lround(start * kRate));
    const size_t last = std::min(frames, first + static_cast<size_t>((held + in.Release) * kRate));
    for (const Partial& p : TonePartials(in.Tone)) {
        const double f = freq * p.Multiple;
        if (f > 0.4 * kRate) continue;
        const double pan = std::clamp(in.Pan + p.PanOffset, -1.0, 1.0);
        const double angle = (pan + 1.0) * std::numbers::pi / 4.0;
        const double left = std::cos(angle) * in.Gain * p.Level;
        const double right = std::sin(angle) * in.Gain * p.Level;
        const double decay = in.Decay * p.DecayFactor;
        const double decayStep = decay > 0.0 ? std::pow(10.0, -3.0 / (decay * kRate)) : 1.0;
        // The partial turns as a unit phasor, rotated by one step per sample.
        const double stepCos = std::cos(kTwoPi * f / kRate), stepSin = std::sin(kTwoPi * f / kRate);
        double re = 1.0, im = 0.0, natural = 1.0;
        for (size_t i = first; i < last; ++i) {
            const double t = static_cast<double>(i - first) / kRate;
            double amp = natural * Rise(t, in.Attack);
            if (t > held) amp *= Fall(t - held, in.Release);
            stereo[2 * i] += left * amp * im;
            stereo[2 * i + 1] += right * amp * im;
            const double nextRe = re * stepCos - im * stepSin;
            im = re * stepSin + im * stepCos;
            re = nextRe;
            natural *= decayStep;
            if ((i - first) % 4096 == 4095) {
                const double norm = std::sqrt(re * re + im * im);
                re /= norm;
                im /= norm;
            }
        }
    }
}

// A small stereo reverberator: parallel damped comb filters and series all-passes on the
// mono sum, with slightly different delays on each side.
class Reverb {
public:
    explicit Reverb(double size) : feedback_(0.7 + 0.25 * size) {
        for (const int d : {1557, 1617, 1491, 1422}) {
            combs_[0].push_back(Line(d));
            combs_[1].push_back(Line(d + 23));
        }
        for (const int d : {556, 441}) {
            allpasses_[0].push_back(Line(d));
            allpasses_[1].push_back(Line(d + 23));
        }
    }
    void Process(double in, double& left, double& right) {
        left = Side(0, in);
        right = Side(1, in);
    }

private:
    struct Line {
        explicit Line(int delay) : Buffer(static_cast<size_t>(delay * kRate / 44100.0), 0.0) {}
        std::vector<double> Buffer;
        size_t Pos = 0;
        double Damped = 0.0;
    };
    double Side(int side, double in) {
        double sum = 0.0;
        for (Line& c : combs_[side]) {
            const double out = c.Buffer[c.Pos];
            c.Damped = out * 0.7 + c.Damped * 0.3;
            c.Buffer[c.Pos] = in + c.Damped * feedback_;
            c.Pos = (c.Pos + 1) % c.Buffer.size();
            sum += out;
        }
        for (Line& a : allpasses_[side]) {
            const double delayed = a.Buffer[a.Pos];
            a.Buffer[a.Pos] = sum + delayed * 0.5;
            a.Pos = (a.Pos + 1) % a.Buffer.size();
            sum = delayed - sum;
        }
        return sum * 0.25;
    }
    double feedback_;
    std::vector<Line> combs_[2];
    std::vector<Line> allpasses_[2];
};

void AddReverb(std::vector<double>& stereo, double mix, double size) {
    if (mix <= 0.0) return;
    Reverb reverb(size);
    for (size_t i = 0; i + 1 < stereo.size(); i += 2) {
        double left = 0.0, right = 0.0;
        reverb.Process(0.5 * (stereo[i] + stereo[i + 1]), left, right);
        stereo[i] += mix * left;
        stereo[i + 1] += mix * right;
    }
}

std::vector<RenderedSound> RenderMusic(const SoundDef& def) {
    const size_t frames = static_cast<size_t>(std::lround(def.Length * kRate));
    std::vector<double> stereo(frames * 2, 0.0);
    const double beat = 60.0 / def.Tempo;
    for (const SoundNote& n : def.Notes) {
        for (const double f : n.Frequencies)
            RenderNote(def.Instruments[static_cast<size_t>(n.Instrument)], f, n.Beat * beat, n.Beats * beat, stereo);
    }
    AddReverb(stereo, def.ReverbMix, def.ReverbSize);
    BlockDc(stereo, 2);
    FadeEnds(stereo, 2, kFadeIn, std::max(kFadeOut, def.Fadeout));
    return {{def.OutputNames()[0], def.Kind, Quantise(stereo, 2, def.Peak)}};
}

}  // namespace

std::vector<RenderedSound> RenderSound(const SoundDef& def) {
    switch (def.Kind) {
        case SoundKind::Effect: return RenderEffect(def);
        case SoundKind::Loop: return RenderLoop(def);
        case SoundKind::Music: return RenderMusic(def);
    }
    return {};
}

}  // namespace dv
