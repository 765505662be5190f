#include "tools/sound/sound_source.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <set>
#include <sstream>
#include <stdexcept>

#include "files/read_file.h"
#include "tools/common/source_line.h"

namespace dv {

namespace {

// Limits that keep a source's synthesis time bounded.
constexpr double kMaxLength = 30.0;
constexpr int kMaxLayers = 64;
constexpr int kMaxVariations = 16;
constexpr int kMaxInstruments = 16;
constexpr int kMaxNotes = 2000;
constexpr size_t kMaxChord = 8;
constexpr double kMaxFrequency = 20000.0;
constexpr double kMaxRepeat = 2000.0;
// Samples the synthesiser may compute for one sound (a few seconds of work), and the most
// partials an instrument's note has.
constexpr double kMaxWork = 3e8;
constexpr double kPartialsPerNote = 24.0;

std::string Format(double v) {
    std::ostringstream s;
    s << v;
    return s.str();
}

bool IsValidName(const std::string& name) {
    if (name.empty() || name.size() > 64) return false;
    return std::all_of(name.begin(), name.end(),
                       [](char c) { return (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_'; });
}

// Each property of a line may be given once.
class SeenOnce {
public:
    explicit SeenOnce(const SourceLine& r) : r_(r) {}
    void Mark(const std::string& word) {
        if (!seen_.insert(word).second) r_.Fail("'" + word + "' is given twice");
    }
    bool Has(const std::string& word) const { return seen_.count(word) != 0; }

private:
    const SourceLine& r_;
    std::set<std::string> seen_;
};

LayerSource ParseLayerSource(SourceLine& r) {
    const std::string w = r.Word("layer source");
    if (w == "sine") return LayerSource::Sine;
    if (w == "triangle") return LayerSource::Triangle;
    if (w == "noise") return LayerSource::Noise;
    if (w == "fm") return LayerSource::Fm;
    r.Fail("unknown layer source '" + w + "' (sine, triangle, noise, fm)");
}

void ParseRatePair(SourceLine& r, const std::string& what, double maxDepth, double& rate, double& depth) {
    rate = r.Number(what + " rate", 0.01, 100.0);
    depth = r.Number(what + " depth", 0.0, maxDepth);
}

SoundLayer ParseLayer(SourceLine& r, double length) {
    SoundLayer l;
    l.Line = r.Line();
    l.Source = ParseLayerSource(r);
    SeenOnce seen(r);
    bool hasFreq = false;
    while (!r.Done()) {
        const std::string p = r.Word("layer property");
        seen.Mark(p);
        if (p == "gain") l.Gain = r.Number("gain", 0.0, 16.0);
        else if (p == "at") l.At = r.Number("start time", 0.0, length);
        else if (p == "attack") l.Attack = r.Number("attack", 0.0, kMaxLength);
        else if (p == "hold") l.Hold = r.Number("hold", 0.0, kMaxLength);
        else if (p == "decay") l.Decay = r.Number("decay", 0.0, kMaxLength);
        else if (p == "freq") {
            l.Freq = r.Number("frequency", 10.0, kMaxFrequency);
            l.FreqEnd = r.NextIsNumber() ? r.Number("end frequency", 10.0, kMaxFrequency) : l.Freq;
            hasFreq = true;
        } else if (p == "ratio") l.Ratio = r.Number("ratio", 0.01, 32.0);
        else if (p == "index") l.Index = r.Number("index", 0.0, 32.0);
        else if (p == "lowpass") {
            l.Lowpass = r.Number("low-pass frequency", 20.0, kMaxFrequency);
            l.LowpassEnd = r.NextIsNumber() ? r.Number("end low-pass frequency", 20.0, kMaxFrequency) : l.Lowpass;
        } else if (p == "highpass") l.Highpass = r.Number("high-pass frequency", 10.0, kMaxFrequency);
        else if (p == "band") {
            l.Highpass = r.Number("band's low frequency", 10.0, kMaxFrequency);
            l.Lowpass = l.LowpassEnd = r.Number("band's high frequency", 20.0, kMaxFrequency);
            if (l.Lowpass <= l.Highpass) r.Fail("a band's high frequency must be above its low frequency");
        } else if (p == "resonance") l.Resonance = r.Number("resonance", 0.3, 20.0);
        else if (p == "tremolo") ParseRatePair(r, "tremolo", 1.0, l.TremoloRate, l.TremoloDepth);
        else if (p == "wander") ParseRatePair(r, "wander", 1.0, l.WanderRate, l.WanderDepth);
        else if (p == "wobble") ParseRatePair(r, "wobble", 4.0, l.WobbleRate, l.WobbleDepth);
        else if (p == "repeat") {
            l.Repeat = r.Number("repeat rate", 0.01, kMaxRepeat);
            if (r.NextIsNumber()) l.Within = r.Number("repeat window", 0.001, length);
        } else if (p == "spread") l.Spread = r.Number("spread", 0.0, 0.9);
        else r.Fail("unknown layer property '" + p + "'");
    }
    if (seen.Has("band") && (seen.Has("lowpass") || seen.Has("highpass")))
        r.Fail("'band' sets both filters; give it or 'lowpass'/'highpass', not both");
    if (l.Source != LayerSource::Noise && !hasFreq) r.Fail("this layer needs 'freq'");
    if (l.Source == LayerSource::Noise && hasFreq) r.Fail("a noise layer has no 'freq'; shape it with filters");
    if (l.Source != LayerSource::Fm && (seen.Has("ratio") || seen.Has("index")))
        r.Fail("only fm layers have 'ratio' or 'index'");
    if (l.Highpass > 0 && l.Lowpass > 0 && l.Highpass >= std::max(l.Lowpass, l.LowpassEnd))
        r.Fail("the high-pass must be below the low-pass");
    if (l.WobbleDepth > 0 && l.Lowpass == 0) r.Fail("'wobble' moves the low-pass; give 'lowpass' or 'band'");
    return l;
}

InstrumentTone ParseTone(SourceLine& r) {
    const std::string w = r.Word("instrument tone");
    if (w == "sine") return InstrumentTone::Sine;
    if (w == "pad") return InstrumentTone::Pad;
    if (w == "pluck") return InstrumentTone::Pluck;
    if (w == "bell") return InstrumentTone::Bell;
    r.Fail("unknown instrument tone '" + w + "' (sine, pad, pluck, bell)");
}

SoundInstrument ParseInstrument(SourceLine& r, const std::vector<SoundInstrument>& existing) {
    SoundInstrument in;
    in.Name = r.Word("instrument name");
    if (!IsValidName(in.Name)) r.Fail("instrument name '" + in.Name + "' must be lower-case letters, digits or '_'");
    for (const SoundInstrument& e : existing)
        if (e.Name == in.Name) r.Fail("instrument '" + in.Name + "' is defined twice");
    in.Tone = ParseTone(r);
    SeenOnce seen(r);
    while (!r.Done()) {
        const std::string p = r.Word("instrument property");
        seen.Mark(p);
        if (p == "gain") in.Gain = r.Number("gain", 0.0, 4.0);
        else if (p == "attack") in.Attack = r.Number("attack", 0.0, 10.0);
        else if (p == "decay") in.Decay = r.Number("decay", 0.0, 30.0);
        else if (p == "release") in.Release = r.Number("release", 0.001, 10.0);
        else if (p == "pan") in.Pan = r.Number("pan", -1.0, 1.0);
        else r.Fail("unknown instrument property '" + p + "'");
    }
    return in;
}

SoundNote ParsePlay(SourceLine& r, const SoundDef& s) {
    SoundNote n;
    const std::string name = r.Word("instrument");
    const auto it = std::find_if(s.Instruments.begin(), s.Instruments.end(),
                                 [&](const SoundInstrument& in) { return in.Name == name; });
    if (it == s.Instruments.end()) r.Fail("no instrument '" + name + "' above this line");
    n.Instrument = static_cast<int>(it - s.Instruments.begin());
    const double lastBeat = s.Length * s.Tempo / 60.0;
    n.Beat = r.Number("beat", 0.0, lastBeat);
    n.Beats = r.Number("beats", 0.01, 1000.0);
    while (!r.Done()) {
        const std::string w = r.Word("note");
        const double f = NoteFrequency(w);
        if (f == 0.0) r.Fail("'" + w + "' is not a note (like C4, F#3 or Bb2, octaves 0..8)");
        if (n.Frequencies.size() == kMaxChord) r.Fail("more than " + std::to_string(kMaxChord) + " notes at once");
        n.Frequencies.push_back(f);
    }
    if (n.Frequencies.empty()) r.Fail("missing note");
    return n;
}

class Parser {
public:
    Parser(const std::string& text, const std::string& fileName) : in_(text, fileName) {}

    std::vector<SoundDef> Run() {
        std::vector<SoundDef> sounds;
        std::set<std::string> names;
        while (!in_.AtEnd()) {
            SourceLine r = in_.Next();
            if (r.Done()) continue;
            const std::string kw = r.Word("statement");
            SoundDef s;
            if (kw == "sound") s.Kind = SoundKind::Effect;
            else if (kw == "loop") s.Kind = SoundKind::Loop;
            else if (kw == "music") s.Kind = SoundKind::Music;
            else r.Fail("expected 'sound', 'loop' or 'music', found '" + kw + "'");
            s.Name = r.Word("sound name");
            if (!IsValidName(s.Name)) r.Fail("sound name '" + s.Name + "' must be lower-case letters, digits or '_'");
            if (!names.insert(s.Name).second) r.Fail("sound '" + s.Name + "' is defined twice");
            r.End();
            s.File = in_.File();
            s.Line = r.Line();
            ParseBody(s);
            sounds.push_back(std::move(s));
        }
        return sounds;
    }

private:
    void ParseBody(SoundDef& s) {
        std::set<std::string> seen;
        while (true) {
            if (in_.AtEnd()) in_.Fail(s.Line, "'" + s.Name + "' has no 'end'");
            SourceLine r = in_.Next();
            if (r.Done()) continue;
            const std::string kw = r.Word("statement");
            if (kw == "end") {
                r.End();
                Finish(s, r);
                return;
            }
            if (kw != "layer" && kw != "instrument" && kw != "play" && !seen.insert(kw).second)
                r.Fail("'" + kw + "' is given twice");
            if (kw != "length" && !seen.count("length")) r.Fail("'length' must come first");
            ParseStatement(s, kw, r);
        }
    }

    void ParseStatement(SoundDef& s, const std::string& kw, SourceLine& r) {
        const bool effect = s.Kind == SoundKind::Effect;
        const bool loop = s.Kind == SoundKind::Loop;
        const bool music = s.Kind == SoundKind::Music;
        if (kw == "length") {
            s.Length = r.Number("length", 0.02, kMaxLength);
        } else if (kw == "peak") {
            s.Peak = r.Number("peak", 0.01, 0.9);
        } else if (kw == "seed") {
            s.Seed = static_cast<uint32_t>(r.Int("seed", 0, 1000000000));
        } else if (kw == "variations" && effect) {
            s.Variations = r.Int("variation count", 1, kMaxVariations);
            SeenOnce once(r);
            while (!r.Done()) {
                const std::string p = r.Word("variation property");
                once.Mark(p);
                if (p == "pitch") s.VaryPitch = r.Number("pitch variation", 0.0, 0.5);
                else if (p == "gain") s.VaryGain = r.Number("gain variation", 0.0, 0.9);
                else if (p == "time") s.VaryTime = r.Number("time variation", 0.0, 0.5);
                else r.Fail("unknown variation property '" + p + "'");
            }
        } else if (kw == "crossfade" && loop) {
            s.Crossfade = r.Number("crossfade", 0.01, s.Length / 2);
        } else if (kw == "layer" && !music) {
            if (static_cast<int>(s.Layers.size()) == kMaxLayers)
                r.Fail("more than " + std::to_string(kMaxLayers) + " layers");
            s.Layers.push_back(ParseLayer(r, s.Length));
        } else if (kw == "tempo" && music) {
            if (!s.Notes.empty()) r.Fail("'tempo' must come before the first 'play'");
            s.Tempo = r.Number("tempo", 20.0, 300.0);
        } else if (kw == "fadeout" && music) {
            s.Fadeout = r.Number("fade-out", 0.0, s.Length);
        } else if (kw == "reverb" && music) {
            s.ReverbMix = r.Number("reverb mix", 0.0, 1.0);
            if (!r.Done()) s.ReverbSize = r.Number("reverb size", 0.0, 1.0);
        } else if (kw == "instrument" && music) {
            if (static_cast<int>(s.Instruments.size()) == kMaxInstruments)
                r.Fail("more than " + std::to_string(kMaxInstruments) + " instruments");
            s.Instruments.push_back(ParseInstrument(r, s.Instruments));
        } else if (kw == "play" && music) {
            if (static_cast<int>(s.Notes.size()) == kMaxNotes)
                r.Fail("more than " + std::to_string(kMaxNotes) + " notes");
            s.Notes.push_back(ParsePlay(r, s));
        } else {
            const char* kind = effect ? "a sound" : loop ? "a loop" : "music";
            r.Fail("'" + kw + "' is not a statement of " + kind);
        }
        r.End();
    }

    void Finish(const SoundDef& s, const SourceLine& endLine) const {
        if (s.Kind == SoundKind::Music && s.Notes.empty()) endLine.Fail("'" + s.Name + "' plays no notes");
        if (s.Kind != SoundKind::Music && s.Layers.empty()) endLine.Fail("'" + s.Name + "' has no layers");
        const double work = RenderWork(s);
        if (work > kMaxWork)
            in_.Fail(s.Line, "'" + s.Name + "' needs " + std::to_string(std::lround(work / 1e6)) +
                                 " million samples of work; at most " + Format(kMaxWork / 1e6) + " million");
    }

    // The samples the synthesiser computes for a sound, counted before anything is rendered so
    // that a source cannot ask for hours of work.
    static double RenderWork(const SoundDef& s) {
        double seconds = 0.0;
        if (s.Kind == SoundKind::Music) {
            const double beat = 60.0 / s.Tempo;
            for (const SoundNote& n : s.Notes) {
                const double release = s.Instruments[static_cast<size_t>(n.Instrument)].Release;
                seconds += static_cast<double>(n.Frequencies.size()) * kPartialsPerNote *
                           std::min(s.Length, n.Beats * beat + release);
            }
            return seconds * kSoundRate;
        }
        const double length = s.Length + (s.Kind == SoundKind::Loop ? s.Crossfade : 0.0);
        for (const SoundLayer& l : s.Layers) {
            const double window = l.Within > 0.0 ? l.Within : length - l.At;
            const double events = l.Repeat > 0.0 ? std::max(1.0, l.Repeat * window) : 1.0;
            const double event = l.Decay > 0.0 ? std::min(length, l.Attack + l.Hold + l.Decay) : length;
            seconds += events * event;
        }
        return seconds * s.Variations * kSoundRate;
    }

    SourceLines in_;
};

}  // namespace

std::vector<std::string> SoundDef::OutputNames() const {
    if (Variations <= 1) return {Name + Extension()};
    std::vector<std::string> names;
    for (int i = 1; i <= Variations; ++i) names.push_back(Name + "_" + std::to_string(i) + Extension());
    return names;
}

double NoteFrequency(const std::string& name) {
    static const std::map<char, int> kSteps = {{'C', -9}, {'D', -7}, {'E', -5}, {'F', -4},
                                               {'G', -2}, {'A', 0},  {'B', 2}};
    if (name.size() < 2 || name.size() > 3) return 0.0;
    const auto step = kSteps.find(name[0]);
    if (step == kSteps.end()) return 0.0;
    int semitone = step->second;
    size_t pos = 1;
    if (name.size() == 3) {
        if (name[1] == '#') semitone += 1;
        else if (name[1] == 'b') semitone -= 1;
        else return 0.0;
        pos = 2;
    }
    const char octave = name[pos];
    if (octave < '0' || octave > '8') return 0.0;
    semitone += (octave - '4') * 12;
    return 440.0 * std::pow(2.0, semitone / 12.0);
}

bool ParseSoundSource(const std::string& text, const std::string& fileName, std::vector<SoundDef>& out,
                      std::string& error) {
    try {
        out = Parser(text, fileName).Run();
        return true;
    } catch (const SourceError& e) {
        error = e.what();
        return false;
    }
}

bool LoadSoundSources(const std::string& dir, std::vector<SoundDef>& out, std::string& error) {
    namespace fs = std::filesystem;
    std::error_code ec;
    std::vector<fs::path> files;
    for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec))
        if (it->path().extension() == ".txt" && it->is_regular_file()) files.push_back(it->path());
    if (ec) {
        error = dir + ": cannot read the folder: " + ec.message();
        return false;
    }
    if (files.empty()) {
        error = dir + ": no sound sources (*.txt) in the folder";
        return false;
    }
    std::sort(files.begin(), files.end());
    out.clear();
    std::map<std::string, const SoundDef*> outputs;
    for (const fs::path& path : files) {
        std::string text;
        if (ReadWholeFile(path.string(), kMaxSourceFileBytes, text, error) != FileRead::Read) return false;
        std::vector<SoundDef> sounds;
        if (!ParseSoundSource(text, path.string(), sounds, error)) return false;
        for (SoundDef& s : sounds) out.push_back(std::move(s));
    }
    for (const SoundDef& s : out) {
        for (const std::string& name : s.OutputNames()) {
            const auto [it, added] = outputs.emplace(name, &s);
            if (!added) {
                error = s.File + ":" + std::to_string(s.Line) + ": '" + name + "' is also made by " + it->second->File +
                        ":" + std::to_string(it->second->Line);
                return false;
            }
        }
    }
    return true;
}

}  // namespace dv
