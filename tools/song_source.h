// The song compiler's front and back end: reads the song text under
// data/song (header, order list, patterns, sequences, instruments, sample
// recipes), checks it, synthesizes the samples and lays everything out as the
// binary song image described in audio/song.h.
//
// Build-time only: allocates freely and reports the first error as
// "file:line: message" through SongError. Nothing here links the program
// library, because the library embeds this tool's output.
#pragma once

#include <cstdint>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

#include "audio/song.h"

inline constexpr int SONGC_MAX_PATTERNS = 256; // pattern numbers are one byte
inline constexpr int SONGC_MAX_TRANSPOSE = 48;
// Sample lengths in frames: one recipe, and all sample instruments together.
// With the generators' ranges they bound the time synthesis can take.
inline constexpr int SONGC_MAX_SAMPLE_FRAMES = 1000000;
inline constexpr int SONGC_MAX_TOTAL_SAMPLE_FRAMES = 2000000;

struct SongError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// Where a definition came from, for messages about it.
struct SourcePlace {
    std::string file;
    int line = 0;
};

struct SampleRecipe {
    SourcePlace place;
    std::string name;
    std::string kind;
    int32_t rate = 0;
    int32_t length = 0;
    std::map<std::string, double> params;   // generator settings, checked per kind
    std::map<std::string, int> param_lines; // source line of each setting
};

// One generator setting: its default and the range a recipe may give it.
struct SampleSetting {
    const char *name;
    double value;
    double lo, hi;
    bool whole; // only whole numbers
};

struct SampleKindInfo {
    const char *name;
    std::vector<SampleSetting> settings; // besides 'peak' and 'fade', which every kind has
};

struct SourcePattern {
    bool defined = false;
    SourcePlace place;
    std::string name;
    std::vector<PatternRow> rows;
};

struct SourceSequence {
    bool defined = false;
    SourcePlace place;
    std::string name;
    int32_t loop_step = -1;
    std::vector<SequenceStep> steps;
    std::vector<int> step_lines; // source line of each step
};

struct SourceInstrument {
    bool defined = false;
    SourcePlace place;
    std::string name;
    InstrumentDef def = {};
    int op_count = 0;
    std::string sample; // recipe name, sample instruments only
};

struct SongSource {
    bool has_header = false;
    SourcePlace header_place;
    // Header values; -1 = not given.
    int32_t rows = -1, channels = -1, speed = -1, volume = -1, preroll = -1, pattern_slots = -1;
    std::vector<OrderEntry> orders; // order-major, channels per order
    std::vector<int> order_lines;
    std::string order_file;
    SourcePattern patterns[SONGC_MAX_PATTERNS];
    SourceSequence sequences[SONG_SEQUENCE_COUNT];
    SourceInstrument instruments[SONG_INSTRUMENT_COUNT];
    std::vector<SampleRecipe> recipes;
};

// Parses one source text (the file name is used in messages) into src.
// Files are read in the order given; the song header must come first.
void song_parse_text(SongSource &src, const std::string &file, const std::string &text);
// Cross-checks the parsed song: every referenced pattern, sequence, instrument
// and recipe exists, counts and ranges hold. Throws SongError.
void song_check(const SongSource &src);
// Synthesizes one sample from its recipe: exactly recipe.length frames of
// signed 16-bit mono PCM, byte-for-byte the same on every build. Checks the
// recipe first; throws SongError.
std::vector<int16_t> song_synthesize(const SampleRecipe &recipe);
// Checks a recipe: its kind, and every setting known for that kind and inside
// its range (NaN and infinity are outside every range). Throws SongError
// naming the line of the offending setting.
void song_check_recipe(const SampleRecipe &recipe);
// The sample generators and their settings (see data/song/README.md).
const std::vector<SampleKindInfo> &song_sample_kinds();
// Lays out the checked song as an image (see audio/song.h).
std::vector<uint8_t> song_build_image(const SongSource &src);

// The whole pipeline over a list of (file name, text) pairs.
std::vector<uint8_t> song_compile(const std::vector<std::pair<std::string, std::string>> &files);

// Note names: "C-3", "C#3" ... "B-9"; note 51 is A-2 = 110 Hz. Returns 0 when
// the text is not a note name.
int song_note_number(const std::string &name);
