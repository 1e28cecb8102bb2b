// Sample synthesis for the song's sample instruments: drums, metals, noises,
// plucks, pads, formant voices and stabs, each made from a recipe in
// data/song/samples.txt.
//
// Determinism: the output must be the same bytes on every build. The C
// library's sin/exp may pick different code paths on different processors
// (FMA or not) and differ in the last bit, which can flip a rounded sample,
// so this file brings its own sine, exponential and noise: plain double
// additions, multiplications and divisions, floor and ldexp, all exact or
// correctly rounded by IEEE 754 on every x86-64.
//
// Pitched samples are tuned so that their fundamental is F#2 (92.4986 Hz) at
// the recording rate: the player plays a sample at its recorded rate at that
// pitch, so a note name in the song is then the pitch heard.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <functional>

#include "tools/song_source.h"

namespace {

constexpr double PI = 3.14159265358979323846;
constexpr double TWO_PI = 2.0 * PI;
constexpr double LN2 = 0.69314718055994530942;
constexpr double BASE_HZ = 92.49860567790861; // 110 * 2^(-3/12): F#2, the sample root

// sin(x) for any finite x: reduce to [-pi/2, pi/2] and sum the Taylor series
// to x^17 (error below 1e-15 there).
double qsin(double x)
{
    x -= TWO_PI * std::floor((x + PI) / TWO_PI); // [-pi, pi)
    if (x > PI / 2) x = PI - x;
    else if (x < -PI / 2) x = -PI - x;
    const double x2 = x * x;
    double term = x, sum = x;
    for (int n = 1; n <= 8; ++n) {
        term *= -x2 / double((2 * n) * (2 * n + 1));
        sum += term;
    }
    return sum;
}

double qcos(double x) { return qsin(x + PI / 2); }

// e^x: x = k ln2 + r with |r| <= ln2/2, series in r, then an exact scale by 2^k.
double qexp(double x)
{
    if (x < -700) return 0.0;
    if (x > 700) x = 700;
    const double k = std::floor(x / LN2 + 0.5);
    const double r = x - k * LN2;
    double term = 1.0, sum = 1.0;
    for (int n = 1; n <= 14; ++n) {
        term *= r / double(n);
        sum += term;
    }
    return std::ldexp(sum, int(k));
}

// ln x for x > 0: x = m 2^e with m in [0.5, 1), ln m = 2 atanh((m - 1)/(m + 1)).
double qlog(double x)
{
    int e = 0;
    const double m = std::frexp(x, &e);
    const double z = (m - 1.0) / (m + 1.0), z2 = z * z;
    double term = z, sum = 0;
    for (int n = 1; n <= 41; n += 2) {
        sum += term / double(n);
        term *= z2;
    }
    return 2.0 * sum + double(e) * LN2;
}

double qpow(double x, double y) { return x <= 0 ? 0.0 : qexp(y * qlog(x)); }

double qtanh(double x)
{
    if (x > 20) return 1.0;
    if (x < -20) return -1.0;
    const double e = qexp(2.0 * x);
    return (e - 1.0) / (e + 1.0);
}

// 32-bit linear congruential noise, uniform in [-1, 1).
struct Noise {
    uint32_t state;
    double next()
    {
        state = state * 1664525u + 1013904223u;
        return double(state >> 8) / 8388608.0 - 1.0;
    }
};

// Chamberlin state-variable filter; cutoff may move every sample.
struct Svf {
    double low = 0, band = 0;
    // Returns {low, band, high} for one input sample.
    void run(double in, double cutoff_hz, double rate, double q, double out[3])
    {
        double f = 2.0 * qsin(PI * std::min(cutoff_hz, rate / 6.5) / rate);
        const double damp = 1.0 / q;
        const double high = in - low - damp * band;
        band += f * high;
        low += f * band;
        out[0] = low, out[1] = band, out[2] = high;
    }
};

// Band-limited sawtooth by polynomial smoothing of the jump.
double poly_blep(double t, double dt)
{
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

struct Saw {
    double phase = 0;
    double next(double hz, double rate)
    {
        const double dt = hz / rate;
        double v = 2.0 * phase - 1.0 - poly_blep(phase, dt);
        phase += dt;
        phase -= std::floor(phase);
        return v;
    }
};

using Params = std::map<std::string, double>;
using Generator = std::function<void(const Params &, double rate, std::vector<double> &out)>;

double env_exp(double t, double decay) { return qexp(-t / decay); }

// ---- drums -------------------------------------------------------------

// Sine with a falling pitch and a soft-clipped body; a short noise click on top.
void gen_kick(const Params &p, double rate, std::vector<double> &out)
{
    Noise n{0x4b1dU};
    double phase = 0;
    for (size_t i = 0; i < out.size(); ++i) {
        const double t = double(i) / rate;
        const double hz = p.at("f_end") + (p.at("f_start") - p.at("f_end")) * env_exp(t, p.at("sweep"));
        phase += TWO_PI * hz / rate;
        const double body = qtanh(p.at("drive") * qsin(phase)) * env_exp(t, p.at("decay"));
        const double click = n.next() * p.at("click") * env_exp(t, 0.0025);
        out[i] = body + click;
    }
}

// Two detuned tones for the shell and band-passed noise for the wires.
void gen_snare(const Params &p, double rate, std::vector<double> &out)
{
    Noise n{0x5a4eU};
    Svf f;
    double ph1 = 0, ph2 = 0, bands[3];
    for (size_t i = 0; i < out.size(); ++i) {
        const double t = double(i) / rate;
        const double drop = 1.0 + 0.5 * env_exp(t, 0.01);
        ph1 += TWO_PI * p.at("tone") * drop / rate;
        ph2 += TWO_PI * p.at("tone") * 1.47 * drop / rate;
        const double shell = (qsin(ph1) + 0.6 * qsin(ph2)) * env_exp(t, p.at("tone_decay"));
        f.run(n.next(), p.at("noise_hz"), rate, 0.8, bands);
        const double wires = (bands[1] + 0.5 * bands[2]) * env_exp(t, p.at("noise_decay"));
        out[i] = (1.0 - p.at("noise_mix")) * shell + p.at("noise_mix") * wires;
    }
}

// Pitched membrane: the kick's recipe higher up, without the click.
void gen_tom(const Params &p, double rate, std::vector<double> &out)
{
    Noise n{0x7077U};
    double phase = 0;
    for (size_t i = 0; i < out.size(); ++i) {
        const double t = double(i) / rate;
        const double hz = p.at("f_end") + (p.at("f_start") - p.at("f_end")) * env_exp(t, p.at("sweep"));
        phase += TWO_PI * hz / rate;
        out[i] = (qsin(phase) + 0.08 * n.next() * env_exp(t, 0.02)) * env_exp(t, p.at("decay"));
    }
}

// Metal: six square-ish partials at inharmonic ratios plus noise, high-passed.
// Short decay gives a closed hat, longer an open hat, long a crash.
void gen_metal(const Params &p, double rate, std::vector<double> &out)
{
    static const double ratios[6] = {1.0, 1.4471, 1.6170, 1.9265, 2.5028, 2.6637};
    Noise n{uint32_t(0x4e7a1 + p.at("seed"))};
    Svf hp, lp;
    double ph[6] = {}, b1[3], b2[3];
    for (size_t i = 0; i < out.size(); ++i) {
        const double t = double(i) / rate;
        double metal = 0;
        for (int k = 0; k < 6; ++k) {
            ph[k] += p.at("tone") * ratios[k] / rate;
            ph[k] -= std::floor(ph[k]);
            metal += ph[k] < 0.5 ? 1.0 : -1.0;
        }
        const double src = metal / 6.0 * (1.0 - p.at("noise")) + n.next() * p.at("noise");
        hp.run(src, p.at("highpass"), rate, 0.7, b1);
        lp.run(b1[2], p.at("lowpass"), rate, 0.7, b2);
        const double attack = std::min(1.0, t / 0.0008);
        out[i] = b2[0] * attack * env_exp(t, p.at("decay"));
    }
}

// Hand clap: a few noise bursts a few milliseconds apart, then the room tail.
void gen_clap(const Params &p, double rate, std::vector<double> &out)
{
    Noise n{0xc1a9U};
    Svf f;
    double bands[3];
    const int bursts = int(p.at("bursts"));
    const double gap = p.at("spacing");
    for (size_t i = 0; i < out.size(); ++i) {
        const double t = double(i) / rate;
        double env = 0;
        for (int b = 0; b < bursts; ++b) {
            const double tb = t - b * gap;
            if (tb >= 0) env = std::max(env, env_exp(tb, 0.004) * (b + 1 == bursts ? 0.0 : 1.0));
        }
        const double tail_t = t - (bursts - 1) * gap;
        if (tail_t >= 0) env = std::max(env, env_exp(tail_t, p.at("decay")));
        f.run(n.next(), p.at("centre"), rate, 2.0, bands);
        out[i] = bands[1] * env;
    }
}

// Shaker and other noises: band-passed noise with an attack and a decay.
void gen_noise(const Params &p, double rate, std::vector<double> &out)
{
    Noise n{uint32_t(0x5ea1 + p.at("seed"))};
    Svf f;
    double bands[3];
    for (size_t i = 0; i < out.size(); ++i) {
        const double t = double(i) / rate;
        const double env = std::min(1.0, t / p.at("attack")) * env_exp(t, p.at("decay"));
        f.run(n.next(), p.at("centre"), rate, p.at("q"), bands);
        out[i] = bands[1] * env;
    }
}

// Riser: noise through a resonant filter whose cutoff climbs exponentially,
// swelling to the end of the sample.
void gen_sweep(const Params &p, double rate, std::vector<double> &out)
{
    Noise n{0x5e3bU};
    Svf f;
    double bands[3];
    const double len = double(out.size()) / rate;
    for (size_t i = 0; i < out.size(); ++i) {
        const double t = double(i) / rate;
        const double x = t / len;
        const double hz = p.at("f_start") * qexp(x * qlog(p.at("f_end") / p.at("f_start")));
        const double env = qpow(x, p.at("curve")) * std::min(1.0, (len - t) / 0.05);
        f.run(n.next(), hz, rate, p.at("q"), bands);
        out[i] = (bands[1] * 0.7 + bands[0] * 0.3) * env;
    }
}

// ---- tonal -------------------------------------------------------------

// Plucked string, additively: harmonic k starts at 1/k^bright and dies away
// faster the higher it is, like a damped string.
void gen_pluck(const Params &p, double rate, std::vector<double> &out)
{
    const double f0 = BASE_HZ * qexp(p.at("octave") * LN2);
    const int harmonics = std::min(int(p.at("harmonics")), int(rate / 2.0 / f0) - 1);
    for (int k = 1; k <= harmonics; ++k) {
        const double amp = 1.0 / qpow(double(k), p.at("bright")) * (k % 2 ? 1.0 : p.at("even"));
        const double decay = p.at("decay") / (1.0 + p.at("damping") * (k - 1) * (k - 1));
        const double w = TWO_PI * f0 * k / rate;
        for (size_t i = 0; i < out.size(); ++i) {
            const double t = double(i) / rate;
            out[i] += amp * qsin(w * double(i) + 0.3 * k) * env_exp(t, decay);
        }
    }
    for (size_t i = 0; i < out.size(); ++i) out[i] *= std::min(1.0, double(i) / (rate * 0.002));
}

// Pad: detuned band-limited saws on the root with an octave and a fifth,
// through a low-pass whose cutoff breathes slowly; soft attack, long release.
void gen_pad(const Params &p, double rate, std::vector<double> &out)
{
    const int voices = int(p.at("voices"));
    std::vector<Saw> saws(size_t(voices) * 3);
    for (size_t v = 0; v < saws.size(); ++v) saws[v].phase = double((v * 7919) % 1000) / 1000.0;
    Svf f;
    double bands[3];
    const double len = double(out.size()) / rate;
    for (size_t i = 0; i < out.size(); ++i) {
        const double t = double(i) / rate;
        double sum = 0;
        for (int v = 0; v < voices; ++v) {
            const double spread = voices > 1 ? double(v) / (voices - 1) * 2.0 - 1.0 : 0.0;
            const double drift = 1.0 + 0.0004 * qsin(TWO_PI * (0.13 + 0.07 * v) * t + v);
            const double cents = qexp(spread * p.at("detune") / 1200.0 * LN2) * drift;
            sum += saws[size_t(v) * 3].next(BASE_HZ * cents, rate);
            sum += p.at("octave") * saws[size_t(v) * 3 + 1].next(2.0 * BASE_HZ * cents, rate);
            sum += p.at("fifth") * saws[size_t(v) * 3 + 2].next(1.4983070768766815 * BASE_HZ * cents, rate);
        }
        const double lfo = 0.5 - 0.5 * qcos(TWO_PI * t / p.at("period"));
        const double cutoff = p.at("cutoff_lo") * qexp(lfo * qlog(p.at("cutoff_hi") / p.at("cutoff_lo")));
        f.run(sum / voices, cutoff, rate, p.at("q"), bands);
        const double env = std::min(1.0, t / p.at("attack")) * std::min(1.0, (len - t) / p.at("release"));
        out[i] = bands[0] * env * env;
    }
}

// Formant voice: a buzzy source (saw with vibrato) through three resonances
// placed at an open vowel's formants.
void gen_formant(const Params &p, double rate, std::vector<double> &out)
{
    Saw saw;
    Svf f1, f2, f3;
    double b1[3], b2[3], b3[3];
    const double len = double(out.size()) / rate;
    const double f0 = BASE_HZ * qexp(p.at("octave") * LN2);
    for (size_t i = 0; i < out.size(); ++i) {
        const double t = double(i) / rate;
        const double vib = 1.0 + 0.006 * qsin(TWO_PI * 5.2 * t) * std::min(1.0, t / 0.3);
        const double src = saw.next(f0 * vib, rate);
        f1.run(src, p.at("f1"), rate, 8.0, b1);
        f2.run(src, p.at("f2"), rate, 9.0, b2);
        f3.run(src, p.at("f3"), rate, 10.0, b3);
        const double env = std::min(1.0, t / p.at("attack")) * std::min(1.0, (len - t) / p.at("release"));
        out[i] = (b1[1] + 0.6 * b2[1] + 0.25 * b3[1]) * env;
    }
}

// 808-style boom: a sine that starts a little sharp, with a gentle drive.
void gen_boom(const Params &p, double rate, std::vector<double> &out)
{
    double phase = 0;
    for (size_t i = 0; i < out.size(); ++i) {
        const double t = double(i) / rate;
        const double hz = BASE_HZ * (1.0 + p.at("bend") * env_exp(t, 0.03));
        phase += TWO_PI * hz / rate;
        const double env = std::min(1.0, t / 0.002) * env_exp(t, p.at("decay"));
        out[i] = qtanh(p.at("drive") * qsin(phase)) * env;
    }
}

// Stab: root, fifth and octave saws through a closing low-pass; short.
void gen_stab(const Params &p, double rate, std::vector<double> &out)
{
    Saw s[6];
    static const double ratios[6] = {1.0, 1.0035, 1.4983070768766815, 1.5027, 2.0, 1.9962};
    Svf f;
    double bands[3];
    for (size_t i = 0; i < out.size(); ++i) {
        const double t = double(i) / rate;
        double sum = 0;
        for (int k = 0; k < 6; ++k) sum += s[k].next(BASE_HZ * qexp(p.at("octave") * LN2) * ratios[k], rate);
        const double cutoff = 300.0 + p.at("cutoff") * env_exp(t, p.at("sweep"));
        f.run(sum / 6.0, cutoff, rate, p.at("q"), bands);
        out[i] = bands[0] * std::min(1.0, t / 0.001) * env_exp(t, p.at("decay"));
    }
}

struct Kind {
    SampleKindInfo info;
    Generator gen;
};

// Every setting with its default and its range. The ranges keep each
// generator finite and its work per frame bounded: at most 16 clap bursts, 64
// pluck harmonics, 16 pad voices of three saws; the state-variable filters
// stay stable for q of 0.7 and more at any cutoff (they keep the cutoff below
// a sixth of the rate); times that divide stay away from 0.
const std::vector<Kind> &kinds()
{
    // {name, default, lo, hi, whole}
    static const std::vector<Kind> table = {
        {{"kick", {{"f_start", 170, 20, 2000, false}, {"f_end", 48, 20, 2000, false}, {"sweep", 0.035, 0.001, 2, false},
                   {"decay", 0.28, 0.001, 10, false}, {"drive", 1.6, 0.1, 20, false}, {"click", 0.25, 0, 1, false}}},
         gen_kick},
        {{"snare", {{"tone", 185, 20, 2000, false}, {"tone_decay", 0.07, 0.001, 10, false}, {"noise_hz", 4200, 20, 20000, false},
                    {"noise_decay", 0.14, 0.001, 10, false}, {"noise_mix", 0.7, 0, 1, false}}},
         gen_snare},
        {{"tom", {{"f_start", 180, 20, 2000, false}, {"f_end", 110, 20, 2000, false}, {"sweep", 0.06, 0.001, 2, false},
                  {"decay", 0.25, 0.001, 10, false}}},
         gen_tom},
        {{"metal", {{"tone", 410, 20, 5000, false}, {"noise", 0.5, 0, 1, false}, {"highpass", 6000, 20, 20000, false},
                    {"lowpass", 14000, 20, 20000, false}, {"decay", 0.04, 0.001, 10, false}, {"seed", 0, 0, 65535, true}}},
         gen_metal},
        {{"clap", {{"bursts", 4, 1, 16, true}, {"spacing", 0.011, 0, 0.1, false}, {"decay", 0.12, 0.001, 10, false},
                   {"centre", 1300, 20, 20000, false}}},
         gen_clap},
        {{"noise", {{"centre", 7000, 20, 20000, false}, {"q", 1.2, 0.7, 50, false}, {"attack", 0.01, 0.0001, 10, false},
                    {"decay", 0.05, 0.001, 10, false}, {"seed", 0, 0, 65535, true}}},
         gen_noise},
        {{"sweep", {{"f_start", 300, 20, 20000, false}, {"f_end", 9000, 20, 20000, false}, {"q", 3.0, 0.7, 50, false},
                    {"curve", 2.0, 0, 10, false}}},
         gen_sweep},
        {{"pluck", {{"octave", 0, -2, 5, false}, {"harmonics", 40, 1, 64, true}, {"bright", 1.0, 0, 4, false},
                    {"even", 0.6, 0, 1, false}, {"decay", 0.6, 0.001, 10, false}, {"damping", 0.04, 0, 10, false}}},
         gen_pluck},
        {{"pad", {{"voices", 5, 1, 16, true}, {"detune", 18, 0, 100, false}, {"octave", 0.5, 0, 2, false},
                  {"fifth", 0.3, 0, 2, false}, {"cutoff_lo", 500, 20, 20000, false}, {"cutoff_hi", 2600, 20, 20000, false},
                  {"period", 4.3, 0.1, 60, false}, {"q", 1.4, 0.7, 50, false}, {"attack", 0.8, 0.0001, 60, false},
                  {"release", 2.5, 0.0001, 60, false}}},
         gen_pad},
        {{"formant", {{"octave", 1, -2, 5, false}, {"f1", 760, 20, 20000, false}, {"f2", 1150, 20, 20000, false},
                      {"f3", 2900, 20, 20000, false}, {"attack", 0.05, 0.0001, 10, false}, {"release", 0.2, 0.0001, 10, false}}},
         gen_formant},
        {{"boom", {{"bend", 0.6, 0, 4, false}, {"decay", 0.5, 0.001, 10, false}, {"drive", 1.3, 0.1, 20, false}}}, gen_boom},
        {{"stab", {{"octave", 1, -2, 5, false}, {"cutoff", 5000, 0, 20000, false}, {"sweep", 0.08, 0.001, 10, false},
                   {"q", 2.0, 0.7, 50, false}, {"decay", 0.12, 0.001, 10, false}}},
         gen_stab},
    };
    return table;
}

// Settings every recipe may give whatever its kind.
const std::vector<SampleSetting> &common_settings()
{
    static const std::vector<SampleSetting> table = {{"peak", 0.9, 0.01, 1, false}, {"fade", 0.01, 0, 10, false}};
    return table;
}

const Kind *find_kind(const std::string &name)
{
    for (const Kind &k : kinds())
        if (name == k.info.name) return &k;
    return nullptr;
}

const SampleSetting *find_setting(const std::vector<SampleSetting> &list, const std::string &name)
{
    for (const SampleSetting &s : list)
        if (name == s.name) return &s;
    return nullptr;
}

// Shortest decimal form of a value for messages: 0.0001, 20000, 1e+308, nan.
std::string number_text(double v)
{
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.10g", v);
    return buf;
}

} // namespace

const std::vector<SampleKindInfo> &song_sample_kinds()
{
    static const std::vector<SampleKindInfo> list = [] {
        std::vector<SampleKindInfo> out;
        for (const Kind &k : kinds()) out.push_back(k.info);
        return out;
    }();
    return list;
}

void song_check_recipe(const SampleRecipe &rec)
{
    const std::string where = rec.place.file + ":";
    const std::string at = where + std::to_string(rec.place.line) + ": sample '" + rec.name + "' ";
    if (rec.kind.empty()) throw SongError(at + "has no kind");
    const Kind *k = find_kind(rec.kind);
    if (!k) throw SongError(at + "has unknown kind '" + rec.kind + "'");
    if (rec.rate == 0) throw SongError(at + "has no rate");
    if (rec.length == 0) throw SongError(at + "has no length");
    // In the order they were written, so the message names the first fault.
    std::vector<std::pair<int, std::string>> order;
    for (const auto &kv : rec.params) {
        const auto line = rec.param_lines.find(kv.first);
        order.emplace_back(line == rec.param_lines.end() ? rec.place.line : line->second, kv.first);
    }
    std::sort(order.begin(), order.end());
    for (const auto &[line, name] : order) {
        const auto &kv = *rec.params.find(name);
        const std::string here = where + std::to_string(line) + ": sample '" + rec.name + "' ";
        const SampleSetting *s = find_setting(k->info.settings, kv.first);
        if (!s) s = find_setting(common_settings(), kv.first);
        if (!s) throw SongError(here + "has unknown setting '" + kv.first + "' for kind " + rec.kind);
        const double v = kv.second;
        // Written so that NaN fails it too.
        if (!(v >= s->lo && v <= s->hi))
            throw SongError(here + kv.first + " " + number_text(v) + " is out of range " + number_text(s->lo) + ".." +
                            number_text(s->hi));
        if (s->whole && v != std::floor(v)) throw SongError(here + kv.first + " " + number_text(v) + " must be a whole number");
    }
}

std::vector<int16_t> song_synthesize(const SampleRecipe &rec)
{
    song_check_recipe(rec);
    const Kind *k = find_kind(rec.kind);
    Params p;
    for (const SampleSetting &s : k->info.settings) p[s.name] = s.value;
    for (const SampleSetting &s : common_settings()) p[s.name] = s.value;
    for (const auto &kv : rec.params) p[kv.first] = kv.second;
    const double peak = p.at("peak");
    const double fade = p.at("fade");

    std::vector<double> x(size_t(rec.length), 0.0);
    k->gen(p, double(rec.rate), x);

    // Remove DC and infrasound with a gentle one-pole high-pass (about 20 Hz),
    // then fade the tail so the sample's end is silent (no click when it stops).
    const double a = 1.0 - TWO_PI * 20.0 / rec.rate;
    double prev_in = 0, prev_out = 0;
    for (double &v : x) {
        const double y = a * (prev_out + v - prev_in);
        prev_in = v, prev_out = y, v = y;
    }
    const size_t fade_n = std::min(x.size(), size_t(fade * rec.rate) + 1);
    for (size_t i = 0; i < fade_n; ++i) x[x.size() - 1 - i] *= double(i) / double(fade_n);

    double maxabs = 0;
    for (double v : x) {
        // The ranges keep every generator finite; should one still overflow,
        // say so rather than turn infinity into a 16-bit sample.
        if (!std::isfinite(v))
            throw SongError(rec.place.file + ":" + std::to_string(rec.place.line) + ": sample '" + rec.name +
                            "' does not stay finite with these settings");
        maxabs = std::max(maxabs, std::fabs(v));
    }
    const double scale = maxabs > 0 ? peak * 32767.0 / maxabs : 0.0;
    std::vector<int16_t> pcm(x.size());
    for (size_t i = 0; i < x.size(); ++i) {
        const double v = std::floor(x[i] * scale + 0.5);
        pcm[i] = int16_t(std::clamp(v, -32767.0, 32767.0));
    }
    return pcm;
}
