// The song image: the binary tables the sequencer plays, as one read-only
// block of bytes. It starts with a SongHeader; every "reference" in a record
// is a 32-bit byte offset from the start of the image, so the image has the
// same layout on every platform and can be built, embedded and checked as
// plain bytes. Integers are little-endian.
//
// Layout of the records (sizes asserted below):
//   SongHeader       44 bytes, at offset 0
//   OrderEntry        2 bytes, order_count x channel_count, order-major
//   PatternRow        6 bytes, pattern-major, 32 rows per pattern
//   SequenceDef      12 bytes, entry 0 unused
//   SequenceStep      7 bytes
//   InstrumentDef   144 bytes with four 32-byte OperatorDefs, entry 0 empty
//   sample data      int16 mono PCM
//
// The tables are read on the audio thread (or the main thread when capturing);
// the image itself is never written. Only SongHeader's last two fields change
// at run time, and they live in the writable copy `song` (audio/sequencer.h).
#pragma once

#include <cstdint>

inline constexpr int SONG_MAX_CHANNELS = 16;   // channel records that exist
inline constexpr int SONG_SEQUENCE_COUNT = 25; // sequence table entries, 0 unused
inline constexpr int SONG_INSTRUMENT_COUNT = 20;
inline constexpr uint32_t SONG_NO_SAMPLE = 0;  // sample_data of an instrument without samples

struct SongHeader {
    int32_t rows_per_pattern;
    int32_t channel_count;
    int32_t initial_speed;  // ticks per row minus one at start
    int32_t master_volume;  // mixing gain
    int32_t order_count;
    uint32_t orders;        // offset of the OrderEntry table
    uint32_t patterns;      // offset of the PatternRow table
    uint32_t sequences;     // offset of the SequenceDef table
    uint32_t instruments;   // offset of the InstrumentDef table
    int32_t preroll_buffers; // constant-level buffers before the song; counts down
    int32_t playing;         // 1 while the song runs, 0 after the last order
};
static_assert(sizeof(SongHeader) == 44);

struct OrderEntry {
    uint8_t pattern;   // 0 = no rows for this channel during this order
    uint8_t transpose; // semitones added to every pattern note
};
static_assert(sizeof(OrderEntry) == 2);

struct PatternRow {
    uint8_t note;     // 0 = none, else note number (note 51 is 110 Hz)
    uint8_t sequence; // 0 = change pitch only, else sequence to start
    uint8_t effect1, effect2;
    uint8_t param1, param2;
};
static_assert(sizeof(PatternRow) == 6);

struct SequenceStep {
    uint8_t note;       // 0 = no pitch change
    uint8_t absolute;   // 0 = relative to the channel's base (48 = unchanged)
    uint8_t instrument; // 0 = keep; honoured only with a note
    uint8_t effect1, effect2;
    uint8_t param1, param2;
};
static_assert(sizeof(SequenceStep) == 7);

struct SequenceDef {
    int32_t length;    // number of steps
    int32_t loop_step; // step after the last one, -1 = stop
    uint32_t steps;    // offset of the first SequenceStep
};
static_assert(sizeof(SequenceDef) == 12);

struct OperatorDef {
    int32_t ratio_den;    // 0 = the operator does not advance by itself
    int32_t ratio_num;
    int32_t attack_level; // 0..15
    int32_t attack_shift; // level moves 1/2^shift of the way per sample
    int32_t decay_level;  // 0..15
    int32_t decay_shift;
    int32_t output_level; // 0..15
    int32_t mod_mask;     // bit j: operator j modulates this one
};
static_assert(sizeof(OperatorDef) == 32);

enum InstrumentType : int32_t { INSTRUMENT_FM = 0, INSTRUMENT_SAMPLE = 1, INSTRUMENT_PULSE = 2 };

struct InstrumentDef {
    int32_t type; // InstrumentType; any other value is silent
    OperatorDef op[4];
    int32_t sample_rate;   // Hz, recording rate (samples)
    int32_t sample_length; // frames (samples)
    uint32_t sample_data;  // offset of int16 mono PCM, SONG_NO_SAMPLE = none
};
static_assert(sizeof(InstrumentDef) == 144);

// The song compiled into the program (generated at build time from data/song).
extern "C" const unsigned char quill_song_image[];
extern "C" const unsigned char quill_song_image_end[];

// Typed views into an image. No bounds checks: the compiler that built the
// image guarantees that every reference and index stays inside it.
inline const SongHeader *song_header_of(const uint8_t *image)
{
    return reinterpret_cast<const SongHeader *>(image);
}
inline const OrderEntry *song_orders_of(const uint8_t *image)
{
    return reinterpret_cast<const OrderEntry *>(image + song_header_of(image)->orders);
}
inline const PatternRow *song_patterns_of(const uint8_t *image)
{
    return reinterpret_cast<const PatternRow *>(image + song_header_of(image)->patterns);
}
inline const SequenceDef *song_sequences_of(const uint8_t *image)
{
    return reinterpret_cast<const SequenceDef *>(image + song_header_of(image)->sequences);
}
inline const InstrumentDef *song_instruments_of(const uint8_t *image)
{
    return reinterpret_cast<const InstrumentDef *>(image + song_header_of(image)->instruments);
}
inline const SequenceStep *song_steps_of(const uint8_t *image, const SequenceDef &def)
{
    return reinterpret_cast<const SequenceStep *>(image + def.steps);
}
inline const int16_t *song_samples_of(const uint8_t *image, const InstrumentDef &ins)
{
    return ins.sample_data == SONG_NO_SAMPLE ? nullptr
                                             : reinterpret_cast<const int16_t *>(image + ins.sample_data);
}
