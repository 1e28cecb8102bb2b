// The compiled song as the program embeds it: the header, the quoted rows,
// sequences and instruments that the show depends on, the table sizes and
// counts, the sample budget and rates, and the order list's fit with the
// show's sections.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <set>

#include "audio/song.h"

namespace {

const uint8_t *img() { return quill_song_image; }
const SongHeader &head() { return *song_header_of(img()); }
const OrderEntry &entry(int order, int channel) { return song_orders_of(img())[order * head().channel_count + channel]; }
const PatternRow &row(int pattern, int r) { return song_patterns_of(img())[pattern * head().rows_per_pattern + r]; }

std::set<int> used_patterns()
{
    std::set<int> used;
    for (int o = 0; o < head().order_count; ++o)
        for (int c = 0; c < head().channel_count; ++c)
            if (entry(o, c).pattern) used.insert(entry(o, c).pattern);
    return used;
}

bool order_starts_sequence(int order, int seq)
{
    for (int c = 0; c < head().channel_count; ++c) {
        const int p = entry(order, c).pattern;
        if (!p) continue;
        for (int r = 0; r < 32; ++r)
            if (row(p, r).note && row(p, r).sequence == seq) return true;
    }
    return false;
}

void expect_step(const SequenceStep &s, int note, int absolute, int instrument, int e1, int p1, int e2, int p2, const char *what)
{
    SCOPED_TRACE(what);
    EXPECT_EQ(s.note, note);
    EXPECT_EQ(s.absolute != 0, absolute != 0);
    EXPECT_EQ(s.instrument, instrument);
    EXPECT_EQ(s.effect1, e1);
    EXPECT_EQ(s.param1, p1);
    EXPECT_EQ(s.effect2, e2);
    EXPECT_EQ(s.param2, p2);
}

void expect_op(const OperatorDef &op, std::initializer_list<int32_t> v)
{
    const int32_t *want = v.begin();
    EXPECT_EQ(op.ratio_den, want[0]);
    EXPECT_EQ(op.ratio_num, want[1]);
    EXPECT_EQ(op.attack_level, want[2]);
    EXPECT_EQ(op.attack_shift, want[3]);
    EXPECT_EQ(op.decay_level, want[4]);
    EXPECT_EQ(op.decay_shift, want[5]);
    EXPECT_EQ(op.output_level, want[6]);
    EXPECT_EQ(op.mod_mask, want[7]);
}

TEST(SongContent, HeaderAndTableLayout)
{
    const SongHeader &h = head();
    EXPECT_EQ(h.rows_per_pattern, 32);
    EXPECT_EQ(h.channel_count, 14);
    EXPECT_EQ(h.initial_speed, 8);
    EXPECT_EQ(h.master_volume, 504);
    EXPECT_EQ(h.order_count, 121);
    EXPECT_EQ(h.preroll_buffers, 60);
    EXPECT_EQ(h.playing, 1);

    const size_t size = size_t(quill_song_image_end - quill_song_image);
    // Each table is where the header says, at least as long as its record
    // count says, aligned, and inside the image.
    EXPECT_EQ(h.orders % 4, 0u);
    EXPECT_GE(h.patterns - h.orders, 121u * 14 * 2);
    EXPECT_EQ(121u * 14 * 2, 3388u);
    // The pattern table holds patterns 0..194 and no more: the next table
    // (sequence steps, then the sequence table) starts right after it.
    uint32_t next_table = h.sequences;
    for (int q = 1; q < SONG_SEQUENCE_COUNT; ++q) next_table = std::min(next_table, song_sequences_of(img())[q].steps);
    EXPECT_GE(next_table - h.patterns, 195u * 32 * 6);
    EXPECT_LT(next_table - h.patterns, 195u * 32 * 6 + 16);
    EXPECT_EQ(h.sequences % 4, 0u);
    EXPECT_EQ(h.instruments % 4, 0u);
    EXPECT_LE(h.instruments + SONG_INSTRUMENT_COUNT * sizeof(InstrumentDef), size);

    const SequenceDef *seq = song_sequences_of(img());
    for (int q = 1; q < SONG_SEQUENCE_COUNT; ++q) {
        SCOPED_TRACE(q);
        EXPECT_GT(seq[q].length, 0);
        EXPECT_LE(seq[q].steps + seq[q].length * sizeof(SequenceStep), size);
        EXPECT_LT(seq[q].loop_step, seq[q].length);
        EXPECT_GE(seq[q].loop_step, -1);
    }
    const InstrumentDef *ins = song_instruments_of(img());
    for (int i = 1; i < SONG_INSTRUMENT_COUNT; ++i)
        if (ins[i].type == INSTRUMENT_SAMPLE) {
            SCOPED_TRACE(i);
            EXPECT_EQ(ins[i].sample_data % 4, 0u);
            EXPECT_LE(ins[i].sample_data + size_t(ins[i].sample_length) * 2, size);
        }
}

TEST(SongContent, QuotedRowsSequencesAndInstruments)
{
    // Order 0.
    const int pat0[14] = {1, 6, 176, 176, 176, 0, 0, 179, 192, 0, 0, 0, 0, 0};
    const int tr0[14] = {0, 0, 0, 7, 14, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    for (int c = 0; c < 14; ++c) {
        EXPECT_EQ(entry(0, c).pattern, pat0[c]) << c;
        EXPECT_EQ(entry(0, c).transpose, tr0[c]) << c;
    }
    // Pattern 7, the beat: kicks (12) on the beats, sequence 13 between, speed 8 on row 0.
    for (int r = 0; r < 32; ++r) {
        const PatternRow &pr = row(7, r);
        SCOPED_TRACE(r);
        if (r % 4) {
            EXPECT_EQ(std::memcmp(&pr, "\0\0\0\0\0\0", 6), 0);
            continue;
        }
        EXPECT_EQ(pr.note, 48);
        EXPECT_EQ(pr.sequence, r % 8 ? 13 : 12);
        EXPECT_EQ(pr.effect1, 0);
        EXPECT_EQ(pr.param1, 0);
        EXPECT_EQ(pr.effect2, r == 0 ? 15 : 0);
        EXPECT_EQ(pr.param2, r == 0 ? 8 : 0);
    }
    const SequenceDef *seq = song_sequences_of(img());
    EXPECT_EQ(seq[1].length, 2);
    EXPECT_EQ(seq[1].loop_step, -1);
    expect_step(song_steps_of(img(), seq[1])[0], 60, 1, 10, 4, 5, 0, 0, "seq 1 step 0");
    expect_step(song_steps_of(img(), seq[1])[1], 48, 1, 2, 4, 15, 0, 0, "seq 1 step 1");
    const int arp[2][5] = {{72, 67, 63, 60, 72}, {72, 67, 64, 60, 72}};
    for (int k = 0; k < 2; ++k) {
        const SequenceDef &d = seq[16 + k];
        EXPECT_EQ(d.length, 5);
        EXPECT_EQ(d.loop_step, 1);
        const SequenceStep *s = song_steps_of(img(), d);
        expect_step(s[0], arp[k][0], 0, 11, 6, 21, 13, 15, "arp step 0");
        expect_step(s[1], arp[k][1], 0, 0, 0, 0, 0, 0, "arp step 1");
        expect_step(s[2], arp[k][2], 0, 0, 0, 0, 0, 0, "arp step 2");
        expect_step(s[3], arp[k][3], 0, 0, 0, 0, 0, 0, "arp step 3");
        expect_step(s[4], arp[k][4], 0, 0, 14, 3, 0, 0, "arp step 4");
    }
    EXPECT_EQ(seq[22].length, 1);
    EXPECT_EQ(seq[22].loop_step, 0);
    expect_step(song_steps_of(img(), seq[22])[0], 48, 0, 19, 14, 7, 0, 0, "seq 22");

    const InstrumentDef *ins = song_instruments_of(img());
    EXPECT_EQ(ins[4].type, INSTRUMENT_FM);
    expect_op(ins[4].op[0], {1, 1, 15, 4, 8, 4, 15, 14});
    expect_op(ins[4].op[1], {1, 3, 15, 0, 0, 9, 0, 0});
    expect_op(ins[4].op[2], {1, 1, 2, 0, 7, 15, 0, 0});
    expect_op(ins[4].op[3], {1, 3, 15, 0, 0, 7, 0, 0});
    EXPECT_EQ(ins[10].type, INSTRUMENT_FM);
    expect_op(ins[10].op[0], {1, 1, 15, 0, 15, 13, 15, 0});
    EXPECT_EQ(ins[10].op[1].output_level, 0);
    EXPECT_EQ(ins[10].op[1].mod_mask, 0);
    EXPECT_EQ(ins[10].op[2].output_level, 0);
    EXPECT_EQ(ins[10].op[2].mod_mask, 0);
    expect_op(ins[10].op[3], {1, 1, 15, 0, 14, 15, 0, 0});
    EXPECT_EQ(ins[11].type, INSTRUMENT_PULSE);
    EXPECT_EQ(ins[17].type, INSTRUMENT_SAMPLE);
    EXPECT_EQ(ins[17].sample_length, 378135);
    EXPECT_EQ(ins[17].sample_rate, 44100);
    EXPECT_EQ(ins[19].type, INSTRUMENT_SAMPLE) << "sequence 22 restarts a sample";
    EXPECT_EQ(ins[2].type, INSTRUMENT_SAMPLE) << "sequence 1 ends on a sample";
}

TEST(SongContent, CountsBudgetAndRanges)
{
    const InstrumentDef *ins = song_instruments_of(img());
    InstrumentDef empty = {};
    EXPECT_EQ(std::memcmp(&ins[0], &empty, sizeof empty), 0) << "instrument 0 is empty";
    int kinds[3] = {}, frames = 0;
    std::set<int> rates;
    for (int i = 1; i < SONG_INSTRUMENT_COUNT; ++i) {
        ASSERT_GE(ins[i].type, 0);
        ASSERT_LE(ins[i].type, 2);
        ++kinds[ins[i].type];
        if (ins[i].type == INSTRUMENT_SAMPLE) {
            ASSERT_NE(ins[i].sample_data, SONG_NO_SAMPLE) << i;
            frames += ins[i].sample_length;
            rates.insert(ins[i].sample_rate);
        }
    }
    EXPECT_EQ(kinds[INSTRUMENT_FM], 4);
    EXPECT_EQ(kinds[INSTRUMENT_SAMPLE], 14);
    EXPECT_EQ(kinds[INSTRUMENT_PULSE], 1);
    EXPECT_EQ(frames, 565222);
    EXPECT_EQ(rates, (std::set<int>{44100, 33000, 32000, 29761, 22321}));

    const std::set<int> used = used_patterns();
    EXPECT_EQ(used.size(), 112u);
    EXPECT_LE(*used.rbegin(), 194);

    // Every sequence 1..24 is started by a row the song plays, or by a step.
    std::set<int> started;
    for (int p : used)
        for (int r = 0; r < 32; ++r) {
            const PatternRow &pr = row(p, r);
            if (pr.note) {
                EXPECT_GE(pr.note, 28) << "pattern " << p << " row " << r;
                EXPECT_LE(pr.note, 100) << "pattern " << p << " row " << r;
            }
            if (pr.sequence) started.insert(pr.sequence);
            // Pattern 7's row 0 holds the only speed command.
            if (p != 7 || r != 0) {
                EXPECT_TRUE(pr.effect1 != 15 && pr.effect2 != 15) << "pattern " << p << " row " << r;
            }
        }
    for (int q = 1; q < SONG_SEQUENCE_COUNT; ++q) EXPECT_TRUE(started.count(q)) << "sequence " << q << " never starts";
    for (int o = 0; o < head().order_count; ++o)
        for (int c = 0; c < 14; ++c) EXPECT_LE(entry(o, c).transpose, 23) << o << " " << c;

    // Every instrument a step starts exists and makes sound.
    const SequenceDef *seq = song_sequences_of(img());
    for (int q = 1; q < SONG_SEQUENCE_COUNT; ++q)
        for (int s = 0; s < seq[q].length; ++s) {
            const int i = song_steps_of(img(), seq[q])[s].instrument;
            if (i) {
                EXPECT_TRUE(ins[i].type == INSTRUMENT_PULSE || ins[i].type == INSTRUMENT_FM || ins[i].sample_length > 0) << q;
            }
        }
}

TEST(SongContent, FormFollowsTheShow)
{
    // Where the picture pulses with the beat accent, every order starts the
    // kick sequence 12; where it does not need to, the breakdown leaves it out.
    for (int o = 6; o <= 39; ++o) EXPECT_TRUE(order_starts_sequence(o, 12)) << "order " << o;
    for (int o = 88; o <= 99; ++o) EXPECT_TRUE(order_starts_sequence(o, 12)) << "order " << o;
    for (int o = 80; o <= 86; ++o) EXPECT_FALSE(order_starts_sequence(o, 12)) << "metaballs breakdown, order " << o;
    for (int o = 0; o <= 5; ++o) EXPECT_FALSE(order_starts_sequence(o, 12)) << "title, order " << o;
    for (int o = 117; o <= 120; ++o) EXPECT_FALSE(order_starts_sequence(o, 12)) << "closing, order " << o;

    // A crash or impact (sequences 1 and 24) opens each section of the show.
    const int section_starts[] = {0, 6, 32, 40, 56, 64, 80, 88, 100, 116};
    for (int o : section_starts) EXPECT_TRUE(order_starts_sequence(o, 24) || order_starts_sequence(o, 1)) << "order " << o;
    // The order before each big cut builds up: a riser (20) and a snare roll.
    const int before_cuts[] = {31, 39, 55, 63, 87, 99, 115};
    for (int o : before_cuts) EXPECT_TRUE(order_starts_sequence(o, 20)) << "order " << o;
    // The forest's quick cuts each get a crash on the cut.
    const int cuts[] = {107, 108, 109, 111, 112, 113, 114, 115};
    for (int o : cuts) EXPECT_TRUE(order_starts_sequence(o, 24)) << "order " << o;
}

} // namespace
