// The readable sources of the game's sounds (docs/sounds.md): effects made of layered
// oscillators and filtered noise, ambience loops made the same way, and short pieces of music
// written as chords and notes for a few simple instruments.
//
// Line-based text (`#` starts a comment, words are separated by blanks). Each block names one
// sound and ends with `end`:
//
//   sound NAME | loop NAME | music NAME
//     length SECONDS   peak LEVEL   seed N
//     variations N [pitch P] [gain G] [time T]        (sound only)
//     crossfade SECONDS                               (loop only)
//     layer SOURCE PROPERTY...                        (sound and loop)
//     tempo BPM   fadeout SECONDS   reverb MIX [SIZE] (music only)
//     instrument NAME TONE [gain G] [attack A] [decay D] [release R] [pan P]
//     play INSTRUMENT BEAT BEATS NOTE...
//   end
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace dv {

enum class SoundKind : uint8_t { Effect, Loop, Music };
enum class LayerSource : uint8_t { Sine, Triangle, Noise, Fm };
enum class InstrumentTone : uint8_t { Sine, Pad, Pluck, Bell };

inline constexpr int kSoundRate = 48000;

// One layer of an effect or loop: a source shaped by an envelope, filters and modulation.
// Times are in seconds from the start of the sound, frequencies in hertz.
struct SoundLayer {
    LayerSource Source = LayerSource::Sine;
    double Gain = 1.0;
    double At = 0.0;
    double Attack = 0.002, Hold = 0.0, Decay = 0.0;  // decay: -60 dB after this long; 0: none
    double Freq = 0.0, FreqEnd = 0.0;                // glide from Freq to FreqEnd over the envelope
    double Ratio = 1.0, Index = 0.0;                 // FM: modulator at Ratio * Freq, depth Index
    double Lowpass = 0.0, LowpassEnd = 0.0;          // 0: no low-pass
    double Highpass = 0.0;                           // 0: no high-pass
    double Resonance = 0.707;                        // low-pass peak: 0.707 flat, more rings
    double TremoloRate = 0.0, TremoloDepth = 0.0;    // periodic loudness change
    double WanderRate = 0.0, WanderDepth = 0.0;      // smooth random loudness change
    double WobbleRate = 0.0, WobbleDepth = 0.0;      // smooth random low-pass change, in octaves
    double Repeat = 0.0, Within = 0.0;               // events per second scattered over Within
    double Spread = 0.0;                             // per-event pitch and gain randomness
    int Line = 0;
};

struct SoundInstrument {
    std::string Name;
    InstrumentTone Tone = InstrumentTone::Sine;
    double Gain = 0.3, Attack = 0.01, Decay = 0.0, Release = 0.3, Pan = 0.0;
};

struct SoundNote {
    int Instrument = 0;
    double Beat = 0.0, Beats = 1.0;
    std::vector<double> Frequencies;  // one note or a chord
};

struct SoundDef {
    SoundKind Kind = SoundKind::Effect;
    std::string Name;
    std::string File;
    int Line = 0;
    double Length = 0.0;
    double Peak = 0.5;
    uint32_t Seed = 1;
    int Variations = 1;
    double VaryPitch = 0.0, VaryGain = 0.0, VaryTime = 0.0;  // per variation: pitch, layer gains, later layers
    double Crossfade = 0.5;
    std::vector<SoundLayer> Layers;
    double Tempo = 90.0, Fadeout = 0.0, ReverbMix = 0.0, ReverbSize = 0.5;
    std::vector<SoundInstrument> Instruments;
    std::vector<SoundNote> Notes;

    int Channels() const { return Kind == SoundKind::Music ? 2 : 1; }
    const char* Extension() const { return Kind == SoundKind::Effect ? ".wav" : ".ogg"; }
    // The output file names without folder: NAME.ext, or NAME_1.ext ... NAME_N.ext.
    std::vector<std::string> OutputNames() const;
};

// Parses one source file held in memory; `fileName` names it in messages. False with `error`
// set to "<file>:<line>: <what was wrong>" when the text is not a valid source.
bool ParseSoundSource(const std::string& text, const std::string& fileName, std::vector<SoundDef>& out,
                      std::string& error);

// Reads every *.txt file of `dir` in name order. Also fails when two files name the same sound.
bool LoadSoundSources(const std::string& dir, std::vector<SoundDef>& out, std::string& error);

// The frequency of a note name such as A4, C#3 or Bb2 (equal temperament, A4 = 440 Hz);
// 0 when the name is not a note.
double NoteFrequency(const std::string& name);

}  // namespace dv
