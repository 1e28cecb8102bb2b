// The song compiler: rejection of malformed song text (each message names the
// file, the line and the fault) and the byte layout of the image it builds.
#include <gtest/gtest.h>

#include <cstring>

#include "tools/song_source.h"

namespace {

// A small but complete song: one sample, one fm and one pulse instrument, two
// sequences, two patterns and three orders on two channels.
const char *const HEADER = R"(song
rows 32
channels 2
speed 8
volume 504
preroll 60
patterns 10
)";

const char *const BODY = R"(orders
000  001 ---
001  001+07 002
002  --- 002+12

pattern 1 beat
00 F#2 01 ... F08
16 C-3 02 C0A ...
20 A-2 .. 400 ...

pattern 2
31 B-9 02 ... ...

sequence 1 kick loop -
F#2 01 C0F ...

sequence 2 arp loop 1
+24 02 615 D0F
-12 .. ... ...
--- .. E03 ...

instrument 1 sample click
instrument 2 pulse arp
instrument 3 fm bell
op 1 1 15 4 8 4 15 14
op 1 3 15 0 0 9 0 0
op 1 1 2 0 7 15 0 0
op 1 3 15 0 0 7 0 0

sample click
kind kick
rate 22321
length 1001
)";

using Files = std::vector<std::pair<std::string, std::string>>;

std::string rejection(const Files &files)
{
    try {
        song_compile(files);
    } catch (const SongError &e) {
        return e.what();
    }
    return "(accepted)";
}

// Replaces the first occurrence of `from` in the body and compiles.
std::string reject_body_edit(const std::string &from, const std::string &to)
{
    std::string body = BODY;
    const size_t at = body.find(from);
    EXPECT_NE(at, std::string::npos) << from;
    body.replace(at, from.size(), to);
    return rejection({{"head.txt", HEADER}, {"body.txt", body}});
}

TEST(SongCompiler, BuildsTheExactLayout)
{
    const std::vector<uint8_t> image = song_compile({{"head.txt", HEADER}, {"body.txt", BODY}});
    const uint8_t *img = image.data();
    const SongHeader *h = song_header_of(img);
    EXPECT_EQ(h->rows_per_pattern, 32);
    EXPECT_EQ(h->channel_count, 2);
    EXPECT_EQ(h->initial_speed, 8);
    EXPECT_EQ(h->master_volume, 504);
    EXPECT_EQ(h->order_count, 3);
    EXPECT_EQ(h->preroll_buffers, 60);
    EXPECT_EQ(h->playing, 1);
    // Tables follow each other in order, 16-byte aligned, the right sizes apart.
    EXPECT_EQ(h->orders % 16, 0u);
    EXPECT_EQ(h->instruments % 16, 0u);
    EXPECT_EQ(h->sequences % 16, 0u);
    EXPECT_GE(h->patterns, h->orders + 3 * 2 * 2);
    EXPECT_GE(h->sequences, h->patterns + 10 * 32 * 6);

    const OrderEntry *o = song_orders_of(img);
    EXPECT_EQ(o[0].pattern, 1);
    EXPECT_EQ(o[1].pattern, 0);
    EXPECT_EQ(o[2].pattern, 1);
    EXPECT_EQ(o[2].transpose, 7);
    EXPECT_EQ(o[3].pattern, 2);
    EXPECT_EQ(o[4].pattern, 0);
    EXPECT_EQ(o[5].pattern, 2);
    EXPECT_EQ(o[5].transpose, 12);

    const PatternRow *rows = song_patterns_of(img);
    const PatternRow &r0 = rows[1 * 32 + 0];
    EXPECT_EQ(r0.note, 48); // F#2: three semitones under A-2 = 51
    EXPECT_EQ(r0.sequence, 1);
    EXPECT_EQ(r0.effect1, 0);
    EXPECT_EQ(r0.effect2, 15);
    EXPECT_EQ(r0.param2, 8);
    const PatternRow &r16 = rows[1 * 32 + 16];
    EXPECT_EQ(r16.note, 54); // C-3
    EXPECT_EQ(r16.effect1, 12);
    EXPECT_EQ(r16.param1, 10);
    EXPECT_EQ(rows[1 * 32 + 20].note, 51);
    EXPECT_EQ(rows[1 * 32 + 20].sequence, 0);
    EXPECT_EQ(rows[1 * 32 + 20].effect1, 4);
    EXPECT_EQ(rows[2 * 32 + 31].note, 18 + 9 * 12 + 11); // B-9
    for (int r = 0; r < 32 * 10; ++r)
        if (r / 32 != 1 && r / 32 != 2) {
            EXPECT_EQ(rows[r].note, 0) << "undefined patterns are stored empty";
        }

    const SequenceDef *seq = song_sequences_of(img);
    EXPECT_EQ(seq[0].length, 0);
    EXPECT_EQ(seq[1].length, 1);
    EXPECT_EQ(seq[1].loop_step, -1);
    EXPECT_EQ(seq[2].length, 3);
    EXPECT_EQ(seq[2].loop_step, 1);
    const SequenceStep *st = song_steps_of(img, seq[2]);
    EXPECT_EQ(st[0].note, 72);
    EXPECT_EQ(st[0].absolute, 0);
    EXPECT_EQ(st[0].instrument, 2);
    EXPECT_EQ(st[0].effect1, 6);
    EXPECT_EQ(st[0].param1, 0x15);
    EXPECT_EQ(st[0].effect2, 13);
    EXPECT_EQ(st[0].param2, 15);
    EXPECT_EQ(st[1].note, 36);
    EXPECT_EQ(st[2].note, 0);
    EXPECT_EQ(st[2].effect1, 14);
    const SequenceStep &k = song_steps_of(img, seq[1])[0];
    EXPECT_EQ(k.note, 48);
    EXPECT_NE(k.absolute, 0);

    const InstrumentDef *ins = song_instruments_of(img);
    EXPECT_EQ(ins[0].type, 0);
    EXPECT_EQ(ins[0].sample_data, SONG_NO_SAMPLE);
    EXPECT_EQ(ins[1].type, INSTRUMENT_SAMPLE);
    EXPECT_EQ(ins[1].sample_rate, 22321);
    EXPECT_EQ(ins[1].sample_length, 1001);
    EXPECT_EQ(ins[1].sample_data % 16, 0u);
    EXPECT_LE(ins[1].sample_data + 1001 * 2, image.size());
    EXPECT_EQ(ins[2].type, INSTRUMENT_PULSE);
    EXPECT_EQ(ins[3].type, INSTRUMENT_FM);
    const int32_t op2[8] = {1, 1, 2, 0, 7, 15, 0, 0};
    EXPECT_EQ(std::memcmp(&ins[3].op[2], op2, sizeof op2), 0);
    EXPECT_EQ(ins[3].op[0].mod_mask, 14);

    const int16_t *pcm = song_samples_of(img, ins[1]);
    int peak = 0;
    for (int i = 0; i < 1001; ++i) peak = std::max(peak, std::abs(int(pcm[i])));
    EXPECT_GT(peak, 20000) << "the sample holds sound";
    EXPECT_LT(peak, 32767) << "and never reaches full scale";
    EXPECT_EQ(pcm[1000], 0) << "it fades to silence at its end";

    // The same text gives the same bytes.
    EXPECT_EQ(image, song_compile({{"head.txt", HEADER}, {"body.txt", BODY}}));
}

TEST(SongCompiler, RejectsMalformedRows)
{
    EXPECT_EQ(reject_body_edit("16 C-3 02", "16 H-3 02"), "body.txt:8: unknown note 'H-3' (expected e.g. C-3, F#2 or ---)");
    EXPECT_EQ(reject_body_edit("C0A ...", "CXA ..."), "body.txt:8: effect 'CXA' has a digit that is not hex");
    EXPECT_EQ(reject_body_edit("C0A ...", "C0A1 ..."), "body.txt:8: effect 'C0A1' must be three hex digits (command, parameter) or '...'");
    EXPECT_EQ(reject_body_edit("20 A-2 .. 400 ...", "20 A-2 .. 400"), "body.txt:9: a pattern row is '<row> <note> <sequence> <effect> <effect>', found 4 columns");
    EXPECT_EQ(reject_body_edit("20 A-2", "12 A-2"), "body.txt:9: row 12 does not follow row 16");
    EXPECT_EQ(reject_body_edit("31 B-9", "32 B-9"), "body.txt:12: row 32 is out of range 0..31");
    EXPECT_EQ(reject_body_edit("20 A-2 ..", "20 --- 01"), "body.txt:9: a sequence needs a note to start it");
    EXPECT_EQ(reject_body_edit("16 C-3 02", "16 C-3 25"), "body.txt:8: sequence 25 is out of range 1..24");
    // Control bytes would reach the message: a NUL cut it short (found by
    // fuzzing), an escape sequence would drive the terminal.
    EXPECT_EQ(reject_body_edit("16 C-3 02", std::string("16 C-") + '\0' + "3 02"), "body.txt:8: control character 0x00 in the text");
    EXPECT_EQ(reject_body_edit("kind kick", "kind ki\x1b[2Jck"), "body.txt:31: control character 0x1b in the text");
}

TEST(SongCompiler, RejectsBadOrders)
{
    EXPECT_EQ(reject_body_edit("001  001+07 002", "001  001+07 002 ---"), "body.txt:3: order 001 has 3 columns, expected 2");
    EXPECT_EQ(reject_body_edit("001  001+07", "002  001+07"), "body.txt:3: order 002 out of sequence, expected 1");
    EXPECT_EQ(reject_body_edit("001  001+07", "001  010+07"), "body.txt:3: pattern 010 is out of range 1..9");
    EXPECT_EQ(reject_body_edit("001  001+07", "001  003+07"), "body.txt:3: pattern 3 is not defined");
    EXPECT_EQ(reject_body_edit("001  001+07", "001  001+49"), "body.txt:3: transpose 49 is out of range 0..48");
    EXPECT_EQ(reject_body_edit("001  001+07", "001  001+x"), "body.txt:3: transpose 'x' is not a whole number");
}

TEST(SongCompiler, RejectsBrokenReferencesAndDefinitions)
{
    EXPECT_EQ(reject_body_edit("16 C-3 02", "16 C-3 05"), "body.txt:6: pattern 1 starts sequence 5, which is not defined");
    EXPECT_EQ(reject_body_edit("F#2 01 C0F", "F#2 04 C0F"), "body.txt:15: instrument 4 is not defined");
    EXPECT_EQ(reject_body_edit("F#2 01 C0F", "--- 01 C0F"), "body.txt:15: an instrument needs a note to start it");
    EXPECT_EQ(reject_body_edit("arp loop 1", "arp loop 3"), "body.txt:17: sequence 2 loops to step 3 of 3");
    EXPECT_EQ(reject_body_edit("pattern 2\n", "pattern 1\n"), "body.txt:11: pattern 1 is already defined at body.txt:6");
    EXPECT_EQ(reject_body_edit("sample click", "sample clack"), "body.txt:22: sample 'clack' is not defined");
    EXPECT_EQ(reject_body_edit("op 1 1 2 0 7 15 0 0\n", ""), "body.txt:24: fm instrument 3 has 3 operators, needs 4");
    EXPECT_EQ(reject_body_edit("op 1 1 2 0 7 15 0 0", "op 1 1 2 0 7 15 0 16"), "body.txt:27: modulation mask 16 is out of range 0..15");
    EXPECT_EQ(reject_body_edit("kind kick", "kind kazoo"), "body.txt:30: sample 'click' has unknown kind 'kazoo'");
        EXPECT_EQ(reject_body_edit("instrument 2 pulse", "instrument 2 organ"), "body.txt:23: unknown instrument type 'organ' (fm, pulse or sample)");
}

// The recipe of the one sample rewritten to another kind and one setting:
// compiled, or rejected at the setting's own line (34).
std::string reject_setting(const std::string &kind, const std::string &setting)
{
    return reject_body_edit("kind kick\nrate 22321\nlength 1001\n", "kind " + kind + "\nrate 22321\nlength 1001\n" + setting + "\n");
}

TEST(SongCompiler, RejectsSampleSettingsOutsideTheirRanges)
{
    // Values that overflowed an integer, threw an uncaught exception, ran
    // for minutes or gave silence, and NaN, infinite and negative settings.
    EXPECT_EQ(reject_setting("pluck", "octave -256"), "body.txt:34: sample 'click' octave -256 is out of range -2..5");
    EXPECT_EQ(reject_setting("clap", "bursts nan"), "body.txt:34: sample 'click' bursts nan is out of range 1..16");
    EXPECT_EQ(reject_setting("clap", "bursts 1e308"), "body.txt:34: sample 'click' bursts 1e+308 is out of range 1..16");
    EXPECT_EQ(reject_setting("clap", "bursts 1000000000"), "body.txt:34: sample 'click' bursts 1000000000 is out of range 1..16");
    EXPECT_EQ(reject_setting("clap", "bursts 2.5"), "body.txt:34: sample 'click' bursts 2.5 must be a whole number");
    EXPECT_EQ(reject_setting("pad", "voices -1"), "body.txt:34: sample 'click' voices -1 is out of range 1..16");
    EXPECT_EQ(reject_setting("pad", "voices 65536"), "body.txt:34: sample 'click' voices 65536 is out of range 1..16");
    EXPECT_EQ(reject_setting("metal", "seed -3"), "body.txt:34: sample 'click' seed -3 is out of range 0..65535");
    EXPECT_EQ(reject_setting("kick", "peak nan"), "body.txt:34: sample 'click' peak nan is out of range 0.01..1");
    EXPECT_EQ(reject_setting("kick", "fade inf"), "body.txt:34: sample 'click' fade inf is out of range 0..10");
    EXPECT_EQ(reject_setting("kick", "decay -0.2"), "body.txt:34: sample 'click' decay -0.2 is out of range 0.001..10");
    EXPECT_EQ(reject_setting("kick", "wobble 3"), "body.txt:34: sample 'click' has unknown setting 'wobble' for kind kick");
    EXPECT_EQ(reject_body_edit("length 1001", "length 1000001"), "body.txt:33: length 1000001 is out of range 1..1000000");
    // Three instruments on one recipe of 666667 frames.
    std::string body = BODY;
    body.replace(body.find("length 1001"), 11, "length 666667");
    body.replace(body.find("instrument 2 pulse arp"), 22, "instrument 2 sample click\ninstrument 4 sample click");
    EXPECT_EQ(rejection({{"head.txt", HEADER}, {"body.txt", body}}),
              "body.txt:24: the samples up to instrument 4 add up to 2000001 frames, more than the 2000000 a song may hold");
    // The ends of a range are allowed.
    EXPECT_EQ(reject_setting("pad", "voices 16"), "(accepted)");
    EXPECT_EQ(reject_setting("clap", "bursts 1"), "(accepted)");
    EXPECT_EQ(reject_setting("pluck", "octave 5"), "(accepted)");
}

// Every kind at the corners of its ranges (all settings at their lowest, all
// at their highest, and each one alone at either end, at the lowest and the
// highest rate) synthesizes without error: no filter blows up to infinity and
// no conversion overflows (the sanitizer build checks the latter).
TEST(SongCompiler, EveryKindStaysFiniteAtTheEndsOfItsRanges)
{
    for (const SampleKindInfo &k : song_sample_kinds()) {
        std::vector<std::map<std::string, double>> corners(2);
        for (const SampleSetting &s : k.settings) corners[0][s.name] = s.lo, corners[1][s.name] = s.hi;
        for (const SampleSetting &s : k.settings) corners.push_back({{s.name, s.lo}}), corners.push_back({{s.name, s.hi}});
        for (const auto &params : corners)
            for (int rate : {4000, 96000}) {
                SampleRecipe rec;
                rec.place = {"corner.txt", 1};
                rec.name = k.name;
                rec.kind = k.name;
                rec.rate = rate;
                rec.length = 3000;
                rec.params = params;
                std::string what = std::string(k.name) + " at " + std::to_string(rate) + " Hz:";
                for (const auto &kv : params) what += " " + kv.first + "=" + std::to_string(kv.second);
                SCOPED_TRACE(what);
                std::vector<int16_t> pcm;
                ASSERT_NO_THROW(pcm = song_synthesize(rec));
                ASSERT_EQ(pcm.size(), 3000u);
            }
    }
}

TEST(SongCompiler, RejectsAnIncompleteOrMisplacedHeader)
{
    EXPECT_EQ(rejection({{"body.txt", BODY}, {"head.txt", HEADER}}), "body.txt:1: the song header must come first");
    std::string head = HEADER;
    head.replace(head.find("preroll 60\n"), 11, "");
    EXPECT_EQ(rejection({{"head.txt", head}, {"body.txt", BODY}}), "head.txt:1: the header lacks 'preroll'");
    EXPECT_EQ(rejection({{"head.txt", std::string(HEADER) + "tempo 120\n"}, {"body.txt", BODY}}), "head.txt:8: unknown header value 'tempo'");
    EXPECT_EQ(rejection({{"head.txt", HEADER}}), "head.txt:1: the song has no orders");
}

TEST(SongCompiler, NoteNamesAreTruePitches)
{
    EXPECT_EQ(song_note_number("A-2"), 51); // 110 Hz
    EXPECT_EQ(song_note_number("A-3"), 63);
    EXPECT_EQ(song_note_number("C-3"), 54);
    EXPECT_EQ(song_note_number("F#2"), 48);
    EXPECT_EQ(song_note_number("C-0"), 18);
    EXPECT_EQ(song_note_number("B#2"), 0);
    EXPECT_EQ(song_note_number("C-"), 0);
    EXPECT_EQ(song_note_number("c-3"), 0);
}

} // namespace
