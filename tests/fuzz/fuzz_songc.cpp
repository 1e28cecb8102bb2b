// Coverage-guided fuzz target (libFuzzer) for the song compiler: its reading
// of the five song source files, the checks between them, the sample
// synthesis and the image layout.
//
// An input is the five files one after another, each ended by a line that
// holds only "%%" (the seed is data/song joined that way); missing files are
// empty. Every input must either compile or be rejected with one SongError
// whose message starts "<file>:<line>: " (or "song: " when no file has a
// header). A compiled image must hold every reference and index the player
// follows without checking: that is the contract of audio/song.h.
//
// Samples are synthesized at most FUZZ_SAMPLE_FRAMES long so that an input
// runs in milliseconds; the work per frame is what the setting ranges bound,
// and a setting that makes a generator hang still hangs here (libFuzzer's
// -timeout reports it).
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "tools/song_source.h"

namespace {

constexpr int32_t FUZZ_SAMPLE_FRAMES = 512;
const char *const FILE_NAMES[5] = {"song.txt", "instruments.txt", "samples.txt", "sequences.txt", "patterns.txt"};

[[noreturn]] void broken(const char *what, const std::string &detail)
{
    std::fprintf(stderr, "fuzz_songc: %s: %s\n", what, detail.c_str());
    std::abort();
}

// "<one of the five names>:<digits>: <something>" or "song: <something>",
// printable: no control byte from the input (a NUL would cut it short).
bool well_formed_message(const std::string &m)
{
    for (const char c : m)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) return false;
    if (m.rfind("song: ", 0) == 0) return m.size() > 6;
    for (const char *name : FILE_NAMES) {
        const std::string prefix = std::string(name) + ":";
        if (m.rfind(prefix, 0) != 0) continue;
        size_t i = prefix.size();
        const size_t digits = i;
        while (i < m.size() && m[i] >= '0' && m[i] <= '9') ++i;
        return i > digits && m.compare(i, 2, ": ") == 0 && m.size() > i + 2;
    }
    return false;
}

bool inside(const std::vector<uint8_t> &image, uint64_t offset, uint64_t bytes)
{
    return offset <= image.size() && bytes <= image.size() - offset;
}

// Every table, reference and index of a compiled image lies inside it.
void check_image(const std::vector<uint8_t> &image)
{
    if (image.size() < sizeof(SongHeader)) broken("image", "shorter than its header");
    const uint8_t *img = image.data();
    const SongHeader &h = *song_header_of(img);
    if (h.rows_per_pattern < 1 || h.channel_count < 1 || h.channel_count > SONG_MAX_CHANNELS || h.order_count < 1)
        broken("image", "header out of range");
    if (!inside(image, h.orders, uint64_t(h.order_count) * h.channel_count * sizeof(OrderEntry)))
        broken("image", "order list outside the image");
    const OrderEntry *orders = song_orders_of(img);
    for (int64_t i = 0; i < int64_t(h.order_count) * h.channel_count; ++i)
        if (orders[i].pattern &&
            !inside(image, h.patterns, (uint64_t(orders[i].pattern) + 1) * h.rows_per_pattern * sizeof(PatternRow)))
            broken("image", "an order names a pattern outside the image");
    if (!inside(image, h.sequences, SONG_SEQUENCE_COUNT * sizeof(SequenceDef)) ||
        !inside(image, h.instruments, SONG_INSTRUMENT_COUNT * sizeof(InstrumentDef)))
        broken("image", "sequence or instrument table outside the image");
    const SequenceDef *seqs = song_sequences_of(img);
    for (int q = 1; q < SONG_SEQUENCE_COUNT; ++q) {
        if (seqs[q].length < 0 || !inside(image, seqs[q].steps, uint64_t(seqs[q].length) * sizeof(SequenceStep)))
            broken("image", "sequence steps outside the image");
        if (seqs[q].loop_step < -1 || (seqs[q].length > 0 && seqs[q].loop_step >= seqs[q].length))
            broken("image", "a sequence loops outside itself");
        const SequenceStep *steps = song_steps_of(img, seqs[q]);
        for (int32_t s = 0; s < seqs[q].length; ++s)
            if (steps[s].instrument >= SONG_INSTRUMENT_COUNT) broken("image", "a step names no instrument");
    }
    const InstrumentDef *ins = song_instruments_of(img);
    for (int i = 0; i < SONG_INSTRUMENT_COUNT; ++i)
        if (ins[i].type == INSTRUMENT_SAMPLE && ins[i].sample_data != SONG_NO_SAMPLE &&
            (ins[i].sample_length < 0 || !inside(image, ins[i].sample_data, uint64_t(ins[i].sample_length) * 2)))
            broken("image", "sample data outside the image");
    // Rows that start sequences name ones that exist.
    const PatternRow *rows = song_patterns_of(img);
    for (int64_t i = 0; i < int64_t(h.order_count) * h.channel_count; ++i)
        for (int r = 0; orders[i].pattern && r < h.rows_per_pattern; ++r) {
            const PatternRow &row = rows[int64_t(orders[i].pattern) * h.rows_per_pattern + r];
            if (row.sequence >= SONG_SEQUENCE_COUNT) broken("image", "a row names no sequence");
        }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    std::vector<std::pair<std::string, std::string>> files;
    std::string text(reinterpret_cast<const char *>(data), size);
    size_t at = 0;
    for (const char *name : FILE_NAMES) {
        size_t end = at;
        // The next line that is exactly "%%" ends this file.
        for (;;) {
            end = text.find("%%", end);
            if (end == std::string::npos) break;
            const bool line_start = end == 0 || text[end - 1] == '\n';
            const bool line_end = end + 2 == text.size() || text[end + 2] == '\n';
            if (line_start && line_end) break;
            end += 2;
        }
        if (end == std::string::npos) {
            files.emplace_back(name, text.substr(std::min(at, text.size())));
            at = text.size() + 1;
        } else {
            files.emplace_back(name, text.substr(at, end - at));
            at = end + 3;
        }
    }

    SongSource *src = new SongSource;
    try {
        for (const auto &f : files) song_parse_text(*src, f.first, f.second);
        song_check(*src);
        for (SampleRecipe &r : src->recipes) r.length = std::min(r.length, FUZZ_SAMPLE_FRAMES);
        check_image(song_build_image(*src));
    } catch (const SongError &e) {
        if (!well_formed_message(e.what())) broken("message not 'file:line: what'", e.what());
    }
    delete src;
    return 0;
}
