// The sequencer: order list, pattern rows and per-note sequences at tick rate.
//
// Timing. A tick is 345 samples: tick_samples_left counts 344 down to 0 and
// the tick runs on the sample that finds it at 0, before that sample is mixed.
// A row lasts speed + 1 ticks (9 at speed 8, 3105 samples), an order 32 rows.
//
// Start. sequencer_start leaves next_row at 10 and seek_request at 0. The
// first real buffer's first tick therefore processes the (empty) row 10 and
// loads the tick countdown; the publish step of that buffer treats the 0 as a
// back request, which at next_row > 7 only moves to row 0. Row 0 of the first
// order is thus processed 3105 samples into the first real buffer, and the
// start row keeps the first adjustment from stepping the order back.
//
// End. When the row step finds next_order == order_count at row 0, playing
// drops to 0 for good; sequences, envelopes and voices keep running so the
// last notes ring out.
#include "audio/sequencer.h"

#include <cmath>
#include <cstring>

#include "audio/voices.h"

SequencerState sequencer = {};
SongHeader song = {};
const uint8_t *song_image = nullptr;

double note_to_hz(int32_t note) { return 110.0 * std::pow(2.0, (note - 51) / 12.0); }

void sequencer_load_song(const uint8_t *image)
{
    song_image = image;
    std::memcpy(&song, image, sizeof song);
    sequencer = SequencerState{};
    std::memset(channels, 0, sizeof channels);
}

void sequencer_start(int32_t first_order)
{
    sequencer.next_row = SEQUENCER_START_ROW;
    song.playing = 1;
    sequencer.speed = song.initial_speed;
    sequencer.next_order = first_order;
}

// A new note from a pattern row: the voice fields a note resets.
static void start_note(ChannelState *ch, int32_t seq)
{
    ch->volume = 1.0;
    ch->volume_slope = 0.0;
    ch->sequence = seq;
    ch->seq_speed = 1;
    ch->seq_countdown = 0;
    ch->seq_step = 0;
    ch->vibrato_depth = 0;
    ch->vibrato_rate = 0;
    ch->pitch_slide = 0;
    ch->pan = 0.5;
    ch->pan_slope = 0.0;
}

static void row_step()
{
    if (sequencer.tick_countdown != 0) {
        --sequencer.tick_countdown;
        return;
    }
    if (sequencer.next_row == 0) {
        if (sequencer.next_order == song.order_count) {
            song.playing = 0;
            return;
        }
        const OrderEntry *entry = song_orders_of(song_image) + sequencer.next_order * song.channel_count;
        for (int c = 0; c < song.channel_count; ++c) {
            channels[c].pattern = entry[c].pattern;
            channels[c].transpose = entry[c].transpose;
        }
        ++sequencer.next_order;
    }
    const PatternRow *patterns = song_patterns_of(song_image);
    for (int c = 0; c < song.channel_count; ++c) {
        ChannelState *ch = &channels[c];
        if (ch->pattern == 0) continue;
        const PatternRow &row = patterns[ch->pattern * song.rows_per_pattern + sequencer.next_row];
        if (row.note != 0) {
            ch->base_freq = note_to_hz(row.note + ch->transpose);
            if (row.sequence != 0) {
                start_note(ch, row.sequence);
                if (row.sequence == 12) sequencer.beat_accent = 1000;
            } else {
                ch->freq = ch->target_freq = ch->base_freq;
            }
        }
        apply_effect(ch, row.effect1, row.param1);
        apply_effect(ch, row.effect2, row.param2);
    }
    sequencer.next_row = (sequencer.next_row + 1) % song.rows_per_pattern;
    // Read after the row's effects: a speed command sets the length of its own row.
    sequencer.tick_countdown = sequencer.speed;
}

static void sequence_step(ChannelState *ch)
{
    if (ch->seq_countdown != 0) {
        --ch->seq_countdown;
        return;
    }
    const SequenceDef &def = song_sequences_of(song_image)[ch->sequence];
    if (ch->seq_step < def.length) {
        const SequenceStep &s = song_steps_of(song_image, def)[ch->seq_step];
        if (s.note != 0) {
            const double f = s.absolute ? note_to_hz(s.note) : ch->base_freq * std::pow(2.0, (s.note - 48) / 12.0);
            ch->target_freq = f;
            if (ch->portamento == 0) ch->freq = f;
            if (s.instrument != 0) {
                for (OperatorState &op : ch->op) {
                    op.level = 0.0;
                    op.stage = 0;
                }
                ch->sample_pos = 0.0;
                ch->instrument = s.instrument;
            }
        }
        apply_effect(ch, s.effect1, s.param1);
        apply_effect(ch, s.effect2, s.param2);
    }
    ++ch->seq_step;
    ch->seq_countdown = ch->seq_speed;
    if (ch->seq_step == def.length && def.loop_step != -1) ch->seq_step = def.loop_step;
}

void sequencer_tick()
{
    if (song.playing != 0) row_step();
    for (int c = 0; c < song.channel_count; ++c)
        if (channels[c].sequence != 0) sequence_step(&channels[c]);
    sequencer.tick_samples_left = SEQUENCER_TICK_SAMPLES - 1;
}

StereoSample sequencer_render_frame()
{
    if (sequencer.tick_samples_left != 0)
        --sequencer.tick_samples_left;
    else
        sequencer_tick();
    return mix_sample();
}

void sequencer_end_buffer()
{
    if (sequencer.beat_accent != 0) sequencer.beat_accent = int32_t(sequencer.beat_accent * 0.9);
}

void sequencer_apply_seek()
{
    SequencerState &s = sequencer;
    if (s.seek_request > 1) {
        // Forward: finish the order being heard at once by loading the next one.
        // Several presses within one buffer act once.
        s.seek_request = 1;
        if (s.next_order < song.order_count - 1) s.next_row = 0;
    } else if (s.seek_request <= 0) {
        // Back, once per press plus the resting 0: two orders per step, so a
        // press late in an order loads the order before the one being heard,
        // and a press in its first rows goes back one step further.
        const int32_t repeats = 1 - s.seek_request;
        for (int32_t i = 0; i < repeats; ++i) {
            if (i == 0 && s.next_row > 7) continue;
            s.next_order = s.next_order - 2 < 0 ? 0 : s.next_order - 2;
        }
        s.next_row = 0;
        s.seek_request = 1;
    }
}
