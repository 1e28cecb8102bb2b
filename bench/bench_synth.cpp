// Synthesis speed: the whole song and its heaviest order as real-time factors
// (seconds of song per CPU second, counter "x_realtime"), and the cost of one
// 1024-frame buffer, the audio callback's unit of work (budget 23.2 ms).
// A synthetic worst case, 14 four-operator FM voices with vibrato and a
// sliding filter on every channel, bounds what any song can cost.
//
// Run: build-*/bench_synth --benchmark_repetitions=5 --benchmark_report_aggregates_only
// (the medians resist whatever else the machine is doing).
#include <benchmark/benchmark.h>

#include <cstring>
#include <ctime>
#include <vector>

#include "audio/audio_device.h"
#include "audio/sequencer.h"
#include "audio/voices.h"
#include "tests/song_fixture.h"

namespace {

// Everything the render loop changes; restoring it replays a stretch exactly.
struct SynthSnapshot {
    ChannelState ch[SONG_MAX_CHANNELS];
    SequencerState seq;
    SongHeader header;
};

SynthSnapshot take_snapshot()
{
    SynthSnapshot s;
    std::memcpy(s.ch, channels, sizeof channels);
    s.seq = sequencer;
    s.header = song;
    return s;
}

void restore(const SynthSnapshot &s)
{
    std::memcpy(channels, s.ch, sizeof channels);
    sequencer = s.seq;
    song = s.header;
}

// The render routine's work for one buffer, minus the lock: the frames, the
// beat decay and the seek step that turns the start request into row 0.
int16_t render_buffer()
{
    int16_t mix = 0;
    for (int i = 0; i < AUDIO_BUFFER_FRAMES; ++i) {
        const StereoSample s = sequencer_render_frame();
        mix = int16_t(mix ^ s.left ^ s.right);
    }
    sequencer_end_buffer();
    sequencer_apply_seek();
    return mix;
}

void start_song()
{
    sequencer_load_song(quill_song_image);
    sequencer_start(0);
    song.preroll_buffers = 0;
}

// CPU time of this thread: a busy machine delays it less than wall time.
double thread_cpu_sec()
{
    timespec ts;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return double(ts.tv_sec) + ts.tv_nsec * 1e-9;
}

// One pass over the song to find the order that takes longest to render, and
// the synthesizer state at the buffer where it starts.
struct HeaviestOrder {
    int order = -1;
    SynthSnapshot start;
    int buffers = 0;
};

const HeaviestOrder &heaviest_order()
{
    static HeaviestOrder h;
    if (h.order >= 0) return h;
    start_song();
    double worst = -1.0;
    while (song.playing != 0) {
        const int order = sequencer.next_order;
        const SynthSnapshot at = take_snapshot();
        const double t0 = thread_cpu_sec();
        int buffers = 0;
        while (song.playing != 0 && sequencer.next_order == order) {
            benchmark::DoNotOptimize(render_buffer());
            ++buffers;
        }
        const double per_buffer = (thread_cpu_sec() - t0) / buffers;
        if (order > 0 && per_buffer > worst) {
            worst = per_buffer;
            h.order = order - 1; // the order heard while next_order == order
            h.start = at;
            h.buffers = buffers;
        }
    }
    return h;
}

void set_realtime_counter(benchmark::State &state, double frames_per_iteration)
{
    state.counters["x_realtime"] = benchmark::Counter(frames_per_iteration / AUDIO_RATE_HZ,
                                                      benchmark::Counter::kIsIterationInvariantRate);
}

void BM_WholeSong(benchmark::State &state)
{
    int64_t buffers = 0;
    for (auto _ : state) {
        start_song();
        buffers = 0;
        while (song.playing != 0) {
            benchmark::DoNotOptimize(render_buffer());
            ++buffers;
        }
    }
    state.counters["song_sec"] = double(buffers) * AUDIO_BUFFER_FRAMES / AUDIO_RATE_HZ;
    set_realtime_counter(state, double(buffers) * AUDIO_BUFFER_FRAMES);
}
BENCHMARK(BM_WholeSong)->Unit(benchmark::kMillisecond)->MinTime(2.0);

void BM_HeaviestOrder(benchmark::State &state)
{
    const HeaviestOrder &h = heaviest_order();
    for (auto _ : state) {
        restore(h.start);
        for (int b = 0; b < h.buffers; ++b) benchmark::DoNotOptimize(render_buffer());
    }
    state.counters["order"] = h.order;
    set_realtime_counter(state, double(h.buffers) * AUDIO_BUFFER_FRAMES);
}
BENCHMARK(BM_HeaviestOrder)->Unit(benchmark::kMillisecond);

// One buffer at a time through the heaviest order, wrapping to its start.
void BM_BufferHeaviestOrder(benchmark::State &state)
{
    const HeaviestOrder &h = heaviest_order();
    restore(h.start);
    int b = 0;
    for (auto _ : state) {
        if (b == h.buffers) {
            restore(h.start);
            b = 0;
        }
        benchmark::DoNotOptimize(render_buffer());
        ++b;
    }
    set_realtime_counter(state, AUDIO_BUFFER_FRAMES);
}
BENCHMARK(BM_BufferHeaviestOrder)->Unit(benchmark::kMicrosecond);

// 14 FM channels: instrument 1 is fully cross-modulated (every operator
// waits for the ones before it), instrument 2 has the song's usual shape
// (operator 0 heard, modulated by the previous outputs of 1 to 3).
void load_fm_rig(bool sliding, int instrument)
{
    static SongFixture fx;
    static const uint8_t *image = nullptr;
    if (!image) {
        fx.channels = 14;
        fx.resize();
        InstrumentDef &ins = fx.ins[1];
        ins.type = INSTRUMENT_FM;
        ins.op[0] = OperatorDef{1, 1, 15, 3, 10, 12, 15, 14};
        ins.op[1] = OperatorDef{1, 3, 15, 2, 6, 11, 9, 1};
        ins.op[2] = OperatorDef{2, 5, 12, 4, 5, 13, 6, 3};
        ins.op[3] = OperatorDef{1, 2, 15, 1, 9, 10, 4, 15};
        InstrumentDef &usual = fx.ins[2];
        usual.type = INSTRUMENT_FM;
        usual.op[0] = OperatorDef{1, 1, 15, 4, 8, 4, 15, 14};
        usual.op[1] = OperatorDef{1, 3, 15, 0, 0, 9, 0, 0};
        usual.op[2] = OperatorDef{1, 1, 2, 0, 7, 15, 0, 0};
        usual.op[3] = OperatorDef{1, 3, 15, 0, 0, 7, 0, 0};
        image = fx.build();
    }
    sequencer_load_song(image);
    for (int c = 0; c < 14; ++c) {
        ChannelState &ch = channels[c];
        ch.instrument = instrument;
        ch.freq = ch.target_freq = 55.0 * (1 + c % 7) * (c < 7 ? 1.0 : 1.5);
        ch.volume = 1.0;
        ch.pan = c / 13.0;
        ch.lfo = 0.6;
        ch.lfo_slope = 3e-6;
        ch.cutoff = (4 + c % 10) << 18;
        if (sliding) {
            ch.vibrato_depth = 3 + c % 5;
            ch.vibrato_rate = 4 + c % 3;
            ch.cutoff_slope = c % 2 ? 3 : -3;
        }
    }
}

// What the sequencer does to a voice at a new note: envelopes from zero.
void restart_notes(int64_t buffer)
{
    for (int c = 0; c < 14; ++c)
        if ((buffer + c) % 3 == 0)
            for (OperatorState &o : channels[c].op) {
                o.level = 0.0;
                o.stage = 0;
            }
}

// Steady notes through a fixed filter, a new note on every channel about
// every row: the song's heavy passages at their heaviest, every channel busy.
// With held=1 the notes are never restarted: operators decaying to level 0
// then run on subnormal numbers, which the processor handles slowly.
void BM_BufferAllFm(benchmark::State &state)
{
    load_fm_rig(false, 2);
    int64_t buffer = 0;
    for (auto _ : state) {
        if (state.range(0) == 0) restart_notes(buffer++);
        for (int i = 0; i < AUDIO_BUFFER_FRAMES; ++i) {
            const StereoSample s = mix_sample();
            benchmark::DoNotOptimize(s);
        }
    }
    set_realtime_counter(state, AUDIO_BUFFER_FRAMES);
}
BENCHMARK(BM_BufferAllFm)->ArgName("held")->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

// The worst case: fully chained operators, and on every channel vibrato (a
// new frequency, so new phase steps, every sample) and a sweeping cutoff (a
// new filter coefficient every sample); notes restarted as above.
void BM_BufferWorstCase(benchmark::State &state)
{
    load_fm_rig(true, 1);
    int64_t buffer = 0;
    for (auto _ : state) {
        restart_notes(buffer++);
        for (int i = 0; i < AUDIO_BUFFER_FRAMES; ++i) {
            const StereoSample s = mix_sample();
            benchmark::DoNotOptimize(s);
        }
        // Keep the sweep going without clamping at either end.
        for (int c = 0; c < 14; ++c)
            if (channels[c].cutoff <= (1 << 18) || channels[c].cutoff >= (14 << 18))
                channels[c].cutoff_slope = -channels[c].cutoff_slope;
    }
    set_realtime_counter(state, AUDIO_BUFFER_FRAMES);
}
BENCHMARK(BM_BufferWorstCase)->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();
