#include "tools/sound/sound_sheet.h"

#include <algorithm>
#include <cmath>
#include <complex>
#include <iterator>
#include <cstdio>
#include <numbers>
#include <stdexcept>

#include "imaging/png_write.h"
#include "tools/pictures/glyph_raster.h"
#include "tools/level/procedural_textures.h"

namespace dv {

namespace {

constexpr int kLabelWidth = 150;
constexpr int kPlotWidth = 340;
constexpr int kPlotHeight = 70;
constexpr int kGap = 6;
constexpr int kRowHeight = kPlotHeight + 12;
constexpr int kColumnWidth = kLabelWidth + 2 * kPlotWidth + 3 * kGap;
constexpr int kFftSize = 1024;
constexpr double kLowHz = 30.0;
constexpr double kHighHz = kSoundRate / 2.0;
constexpr double kFloorDb = -96.0;

struct Rgb {
    uint8_t R, G, B;
};

void Put(RgbImage& img, int x, int y, Rgb c) {
    if (x < 0 || y < 0 || x >= img.Width || y >= img.Height) return;
    uint8_t* p = img.At(x, y);
    p[0] = c.R;
    p[1] = c.G;
    p[2] = c.B;
}

void DrawLabel(RgbImage& img, const GlyphRasteriser& font, const std::string& text, int x, int baseline, Rgb colour) {
    for (const char ch : text) {
        const GlyphBitmap g = font.Render(static_cast<unsigned char>(ch));
        for (int gy = 0; gy < g.Height; ++gy)
            for (int gx = 0; gx < g.Width; ++gx) {
                const int a = g.Coverage[static_cast<size_t>(gy) * g.Width + gx];
                const int px = x + g.Left + gx, py = baseline - g.Top + gy;
                if (a == 0 || px < 0 || py < 0 || px >= img.Width || py >= img.Height) continue;
                uint8_t* p = img.At(px, py);
                p[0] = static_cast<uint8_t>((p[0] * (255 - a) + colour.R * a) / 255);
                p[1] = static_cast<uint8_t>((p[1] * (255 - a) + colour.G * a) / 255);
                p[2] = static_cast<uint8_t>((p[2] * (255 - a) + colour.B * a) / 255);
            }
        x += g.Advance;
    }
}

// The value of channel `c` of frame `f`, in -1..1.
double Sample(const SoundSamples& s, size_t f, int c) {
    return s.Frames[f * static_cast<size_t>(s.Channels) + static_cast<size_t>(c)] / 32768.0;
}

void DrawWaveform(RgbImage& img, const SoundSamples& s, int x0, int y0) {
    const size_t frames = s.FrameCount();
    const int mid = y0 + kPlotHeight / 2;
    const auto rowOf = [&](double v) { return mid - static_cast<int>(std::lround(v * (kPlotHeight / 2 - 1))); };
    for (int x = 0; x < kPlotWidth; ++x) {
        for (int y = 0; y < kPlotHeight; ++y) Put(img, x0 + x, y0 + y, {16, 20, 24});
        Put(img, x0 + x, rowOf(0.95), {90, 30, 30});
        Put(img, x0 + x, rowOf(-0.95), {90, 30, 30});
        Put(img, x0 + x, mid, {60, 60, 60});
        const size_t from = frames * static_cast<size_t>(x) / kPlotWidth;
        const size_t to = std::max(from + 1, frames * static_cast<size_t>(x + 1) / kPlotWidth);
        double lo = 0.0, hi = 0.0;
        for (size_t f = from; f < to && f < frames; ++f)
            for (int c = 0; c < s.Channels; ++c) {
                lo = std::min(lo, Sample(s, f, c));
                hi = std::max(hi, Sample(s, f, c));
            }
        const bool clipped = hi >= 0.95 || lo <= -0.95;
        for (int y = rowOf(hi); y <= rowOf(lo); ++y)
            Put(img, x0 + x, y, clipped ? Rgb{255, 40, 40} : Rgb{120, 220, 140});
    }
}

void Fft(std::vector<std::complex<double>>& a) {
    const size_t n = a.size();
    for (size_t i = 1, j = 0; i < n; ++i) {
        size_t bit = n >> 1;
        for (; j & bit; bit >>= 1) j ^= bit;
        j ^= bit;
        if (i < j) std::swap(a[i], a[j]);
    }
    for (size_t len = 2; len <= n; len <<= 1) {
        const double angle = -2.0 * std::numbers::pi / static_cast<double>(len);
        const std::complex<double> step(std::cos(angle), std::sin(angle));
        for (size_t i = 0; i < n; i += len) {
            std::complex<double> w(1.0);
            for (size_t k = 0; k < len / 2; ++k) {
                const std::complex<double> u = a[i + k], v = a[i + k + len / 2] * w;
                a[i + k] = u + v;
                a[i + k + len / 2] = u - v;
                w *= step;
            }
        }
    }
}

// Levels in dB (full-scale sine = 0 dB) of the Hann-windowed frame centred on `centre`.
std::vector<double> SpectrumAt(const SoundSamples& s, size_t centre) {
    std::vector<std::complex<double>> a(kFftSize);
    double windowSum = 0.0;
    for (int i = 0; i < kFftSize; ++i) {
        const double w = 0.5 - 0.5 * std::cos(2.0 * std::numbers::pi * i / (kFftSize - 1));
        windowSum += w;
        const long f = static_cast<long>(centre) - kFftSize / 2 + i;
        double v = 0.0;
        if (f >= 0 && static_cast<size_t>(f) < s.FrameCount())
            for (int c = 0; c < s.Channels; ++c) v += Sample(s, static_cast<size_t>(f), c) / s.Channels;
        a[static_cast<size_t>(i)] = w * v;
    }
    Fft(a);
    std::vector<double> db(kFftSize / 2);
    for (size_t k = 0; k < db.size(); ++k) db[k] = 20.0 * std::log10(std::max(1e-12, 2.0 * std::abs(a[k]) / windowSum));
    return db;
}

// Black through blue, purple and orange to pale yellow as the level rises.
Rgb HeatColour(double db) {
    static constexpr Rgb kStops[] = {{0, 0, 0}, {20, 20, 110}, {140, 30, 140}, {230, 110, 30}, {255, 240, 170}};
    constexpr int kLast = static_cast<int>(std::size(kStops)) - 1;
    const double t = std::clamp((db - kFloorDb) / -kFloorDb, 0.0, 1.0) * kLast;
    const int i = std::min(kLast - 1, static_cast<int>(t));
    const double f = t - i;
    const auto mix = [f](uint8_t a, uint8_t b) { return static_cast<uint8_t>(std::lround(a + (b - a) * f)); };
    return {mix(kStops[i].R, kStops[i + 1].R), mix(kStops[i].G, kStops[i + 1].G), mix(kStops[i].B, kStops[i + 1].B)};
}

double FrequencyOfRow(double y) {
    const double u = 1.0 - y / (kPlotHeight - 1);
    return kLowHz * std::pow(kHighHz / kLowHz, u);
}

void DrawSpectrogram(RgbImage& img, const SoundSamples& s, int x0, int y0) {
    const double binHz = static_cast<double>(kSoundRate) / kFftSize;
    const size_t frames = s.FrameCount();
    for (int x = 0; x < kPlotWidth; ++x) {
        const size_t centre = frames * (2 * static_cast<size_t>(x) + 1) / (2 * kPlotWidth);
        const std::vector<double> db = SpectrumAt(s, centre);
        for (int y = 0; y < kPlotHeight; ++y) {
            const double top = FrequencyOfRow(y - 0.5), bottom = FrequencyOfRow(y + 0.5);
            const size_t lo = std::min(db.size() - 1, static_cast<size_t>(bottom / binHz));
            const size_t hi = std::min(db.size() - 1, std::max(lo, static_cast<size_t>(top / binHz)));
            double power = 0.0;
            for (size_t k = lo; k <= hi; ++k) power += std::pow(10.0, db[k] / 10.0);
            Put(img, x0 + x, y0 + y, HeatColour(10.0 * std::log10(power / static_cast<double>(hi - lo + 1))));
        }
    }
    for (const double grid : {100.0, 1000.0, 10000.0}) {
        const int y = static_cast<int>(
            std::lround((1.0 - std::log(grid / kLowHz) / std::log(kHighHz / kLowHz)) * (kPlotHeight - 1)));
        for (int x = 0; x < kPlotWidth; x += 3) Put(img, x0 + x, y0 + y, {200, 200, 200});
    }
}

double PeakOf(const SoundSamples& s) {
    int top = 0;
    for (const int16_t v : s.Frames) top = std::max(top, std::abs(static_cast<int>(v)));
    return top / 32768.0;
}

std::string Caption(const SoundSamples& s) {
    char text[64];
    std::snprintf(text, sizeof text, "%.2f s  peak %.2f%s", static_cast<double>(s.FrameCount()) / s.SampleRate,
                  PeakOf(s), s.Channels == 2 ? "  st" : "");
    return text;
}

}  // namespace

void WriteSoundSheet(const std::vector<RenderedSound>& sounds, const std::string& fontPath, const std::string& path) {
    const GlyphRasteriser font(fontPath, 13);
    const int rows = static_cast<int>((sounds.size() + 1) / 2);
    RgbImage img(2 * kColumnWidth, std::max(1, rows) * kRowHeight + kGap);
    std::fill(img.Pixels.begin(), img.Pixels.end(), static_cast<uint8_t>(34));
    for (size_t i = 0; i < sounds.size(); ++i) {
        const int x0 = static_cast<int>(i) / rows * kColumnWidth + kGap;
        const int y0 = static_cast<int>(i) % rows * kRowHeight + kGap;
        const RenderedSound& sound = sounds[i];
        DrawLabel(img, font, sound.FileName, x0, y0 + 20, {235, 235, 235});
        DrawLabel(img, font, Caption(sound.Samples), x0, y0 + 40, {170, 170, 170});
        DrawWaveform(img, sound.Samples, x0 + kLabelWidth, y0);
        DrawSpectrogram(img, sound.Samples, x0 + kLabelWidth + kPlotWidth + kGap, y0);
    }
    std::vector<uint8_t> rgba;
    rgba.reserve(img.Pixels.size() / 3 * 4);
    for (size_t p = 0; p < img.Pixels.size(); p += 3)
        rgba.insert(rgba.end(), {img.Pixels[p], img.Pixels[p + 1], img.Pixels[p + 2], 255});
    std::string error;
    if (!WritePngFile(path, img.Width, img.Height, rgba.data(), error)) throw std::runtime_error(error);
}

}  // namespace dv
