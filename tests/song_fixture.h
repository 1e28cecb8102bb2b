// Builds small song images by hand for tests: a header, an order list,
// patterns, sequences and instruments laid out exactly like the compiled song,
// so the sequencer and the mixer can run tiny songs whose results are worked
// out independently of the code.
#pragma once

#include <cstdint>
#include <cstring>
#include <vector>

#include "audio/song.h"

struct SongFixture {
    int32_t rows = 32, channels = 14, speed = 8, master_volume = 504, orders = 1, preroll = 60;
    int32_t patterns = 8;
    std::vector<OrderEntry> order_list;          // orders x channels
    std::vector<PatternRow> rows_table;          // patterns x rows
    SequenceDef seq[SONG_SEQUENCE_COUNT] = {};
    std::vector<std::vector<SequenceStep>> steps = std::vector<std::vector<SequenceStep>>(SONG_SEQUENCE_COUNT);
    InstrumentDef ins[SONG_INSTRUMENT_COUNT] = {};
    std::vector<std::vector<int16_t>> samples = std::vector<std::vector<int16_t>>(SONG_INSTRUMENT_COUNT);
    std::vector<uint8_t> image;

    void resize()
    {
        order_list.assign(size_t(orders) * channels, OrderEntry{0, 0});
        rows_table.assign(size_t(patterns) * rows, PatternRow{});
    }
    OrderEntry &order(int o, int c) { return order_list[size_t(o) * channels + c]; }
    PatternRow &row(int p, int r) { return rows_table[size_t(p) * rows + r]; }
    void sequence(int i, int32_t loop_step, std::vector<SequenceStep> s)
    {
        seq[i].length = int32_t(s.size());
        seq[i].loop_step = loop_step;
        steps[i] = std::move(s);
    }

    template <class T> uint32_t put(const T *data, size_t count)
    {
        while (image.size() % 16) image.push_back(0);
        const uint32_t at = uint32_t(image.size());
        const uint8_t *bytes = reinterpret_cast<const uint8_t *>(data);
        image.insert(image.end(), bytes, bytes + sizeof(T) * count);
        return at;
    }

    // Lays everything out and returns the image (valid until the next build).
    const uint8_t *build()
    {
        image.assign(sizeof(SongHeader), 0);
        SongHeader h = {rows, channels, speed, master_volume, orders, 0, 0, 0, 0, preroll, 1};
        h.orders = put(order_list.data(), order_list.size());
        h.patterns = put(rows_table.data(), rows_table.size());
        SequenceDef defs[SONG_SEQUENCE_COUNT];
        std::memcpy(defs, seq, sizeof defs);
        for (int i = 0; i < SONG_SEQUENCE_COUNT; ++i)
            if (!steps[i].empty()) defs[i].steps = put(steps[i].data(), steps[i].size());
        InstrumentDef insts[SONG_INSTRUMENT_COUNT];
        std::memcpy(insts, ins, sizeof insts);
        for (int i = 0; i < SONG_INSTRUMENT_COUNT; ++i)
            if (!samples[i].empty()) {
                insts[i].sample_data = put(samples[i].data(), samples[i].size());
                insts[i].sample_length = int32_t(samples[i].size());
            }
        h.sequences = put(defs, SONG_SEQUENCE_COUNT);
        h.instruments = put(insts, SONG_INSTRUMENT_COUNT);
        std::memcpy(image.data(), &h, sizeof h);
        return image.data();
    }
};
