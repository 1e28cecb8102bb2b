// Song image layout: header, order list, patterns, sequence table and steps,
// instrument table and sample data, each table starting on a 16-byte
// boundary; references are byte offsets from the image start.
#include <cstring>

#include "tools/song_source.h"

namespace {

struct ImageWriter {
    std::vector<uint8_t> bytes;

    void align()
    {
        while (bytes.size() % 16) bytes.push_back(0);
    }
    template <class T> uint32_t put(const T *data, size_t count)
    {
        align();
        const uint32_t at = uint32_t(bytes.size());
        const uint8_t *p = reinterpret_cast<const uint8_t *>(data);
        bytes.insert(bytes.end(), p, p + sizeof(T) * count);
        return at;
    }
};

} // namespace

std::vector<uint8_t> song_build_image(const SongSource &s)
{
    ImageWriter w;
    w.bytes.assign(sizeof(SongHeader), 0);

    SongHeader h = {};
    h.rows_per_pattern = s.rows;
    h.channel_count = s.channels;
    h.initial_speed = s.speed;
    h.master_volume = s.volume;
    h.order_count = int32_t(s.order_lines.size());
    h.preroll_buffers = s.preroll;
    h.playing = 1;

    h.orders = w.put(s.orders.data(), s.orders.size());

    // Every pattern slot is stored, undefined ones as empty rows.
    std::vector<PatternRow> rows(size_t(s.pattern_slots) * size_t(s.rows), PatternRow{});
    for (int p = 1; p < s.pattern_slots; ++p)
        if (s.patterns[p].defined)
            std::memcpy(&rows[size_t(p) * size_t(s.rows)], s.patterns[p].rows.data(), sizeof(PatternRow) * size_t(s.rows));
    h.patterns = w.put(rows.data(), rows.size());

    SequenceDef defs[SONG_SEQUENCE_COUNT] = {};
    for (int q = 1; q < SONG_SEQUENCE_COUNT; ++q) {
        const SourceSequence &seq = s.sequences[q];
        if (!seq.defined) continue;
        defs[q].length = int32_t(seq.steps.size());
        defs[q].loop_step = seq.loop_step;
        defs[q].steps = w.put(seq.steps.data(), seq.steps.size());
    }
    h.sequences = w.put(defs, SONG_SEQUENCE_COUNT);

    InstrumentDef ins[SONG_INSTRUMENT_COUNT] = {};
    for (int i = 1; i < SONG_INSTRUMENT_COUNT; ++i)
        if (s.instruments[i].defined) ins[i] = s.instruments[i].def;
    // The instrument table's place is fixed before the samples follow it.
    w.align();
    h.instruments = uint32_t(w.bytes.size());
    w.bytes.resize(w.bytes.size() + sizeof ins, 0);

    for (int i = 1; i < SONG_INSTRUMENT_COUNT; ++i) {
        const SourceInstrument &src = s.instruments[i];
        if (!src.defined || src.def.type != INSTRUMENT_SAMPLE) continue;
        for (const SampleRecipe &rec : s.recipes)
            if (rec.name == src.sample) {
                const std::vector<int16_t> pcm = song_synthesize(rec);
                ins[i].sample_rate = rec.rate;
                ins[i].sample_length = int32_t(pcm.size());
                ins[i].sample_data = w.put(pcm.data(), pcm.size());
            }
    }
    std::memcpy(&w.bytes[h.instruments], ins, sizeof ins);
    std::memcpy(w.bytes.data(), &h, sizeof h);
    w.align();
    return w.bytes;
}

std::vector<uint8_t> song_compile(const std::vector<std::pair<std::string, std::string>> &files)
{
    SongSource src;
    for (const auto &f : files) song_parse_text(src, f.first, f.second);
    song_check(src);
    return song_build_image(src);
}
