// Song text reader: turns the blocks of data/song/*.txt into a SongSource,
// and checks the references between them. The format is documented in
// data/song/README.md; every rejection names the file, the line and the fault.
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <set>
#include <sstream>

#include "tools/song_source.h"

namespace {

enum class Block { NONE, SONG, ORDERS, PATTERN, SEQUENCE, INSTRUMENT, SAMPLE };

struct Reader {
    SongSource *src;
    std::string file;
    int line = 0;
    Block block = Block::NONE;
    int index = 0; // pattern, sequence or instrument being filled
    int last_row = -1;
};

[[noreturn]] void fail(const std::string &file, int line, const std::string &what)
{
    throw SongError(file + ":" + std::to_string(line) + ": " + what);
}
[[noreturn]] void fail(const Reader &r, const std::string &what) { fail(r.file, r.line, what); }

// Splits a line into tokens; a token that starts with '#' begins a comment
// (so note names such as C#3 stay whole).
std::vector<std::string> tokenize(const std::string &line)
{
    std::vector<std::string> out;
    std::istringstream in(line);
    std::string tok;
    while (in >> tok) {
        if (tok[0] == '#') break;
        out.push_back(tok);
    }
    return out;
}

bool all_digits(const std::string &s)
{
    if (s.empty()) return false;
    for (char c : s)
        if (!std::isdigit(static_cast<unsigned char>(c))) return false;
    return true;
}

// Decimal integer within [lo, hi]; `what` names the field in the message.
int parse_int(const Reader &r, const std::string &tok, int lo, int hi, const std::string &what)
{
    std::string digits = tok;
    bool negative = false;
    if (!digits.empty() && (digits[0] == '-' || digits[0] == '+')) {
        negative = digits[0] == '-';
        digits = digits.substr(1);
    }
    if (!all_digits(digits) || digits.size() > 9) fail(r, what + " '" + tok + "' is not a whole number");
    const int v = (negative ? -1 : 1) * std::atoi(digits.c_str());
    if (v < lo || v > hi)
        fail(r, what + " " + tok + " is out of range " + std::to_string(lo) + ".." + std::to_string(hi));
    return v;
}

double parse_real(const Reader &r, const std::string &tok, const std::string &what)
{
    char *end = nullptr;
    const double v = std::strtod(tok.c_str(), &end);
    if (tok.empty() || *end != '\0') fail(r, what + " '" + tok + "' is not a number");
    return v;
}

int hex_digit(char c)
{
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

// "CPP": command digit and parameter byte in hex; "..." = no effect.
void parse_effect(const Reader &r, const std::string &tok, uint8_t &command, uint8_t &param)
{
    if (tok == "...") {
        command = param = 0;
        return;
    }
    if (tok.size() != 3) fail(r, "effect '" + tok + "' must be three hex digits (command, parameter) or '...'");
    const int c = hex_digit(tok[0]), hi = hex_digit(tok[1]), lo = hex_digit(tok[2]);
    if (c < 0 || hi < 0 || lo < 0) fail(r, "effect '" + tok + "' has a digit that is not hex");
    command = uint8_t(c);
    param = uint8_t(hi * 16 + lo);
}

int parse_note(const Reader &r, const std::string &tok)
{
    const int n = song_note_number(tok);
    if (n == 0) fail(r, "unknown note '" + tok + "' (expected e.g. C-3, F#2 or ---)");
    return n;
}

void check_name(const Reader &r, const std::string &tok)
{
    for (char c : tok)
        if (!std::isalnum(static_cast<unsigned char>(c)) && c != '-' && c != '_')
            fail(r, "name '" + tok + "' may hold only letters, digits, '-' and '_'");
}

void start_block(Reader &r, const std::vector<std::string> &t)
{
    SongSource &s = *r.src;
    const std::string &kw = t[0];
    r.last_row = -1;
    if (kw == "song") {
        if (t.size() != 1) fail(r, "'song' takes no arguments");
        if (s.has_header) fail(r, "second song header");
        s.has_header = true;
        s.header_place = {r.file, r.line};
        r.block = Block::SONG;
        return;
    }
    if (!s.has_header) fail(r, "the song header must come first");
    if (kw == "orders") {
        if (t.size() != 1) fail(r, "'orders' takes no arguments");
        if (!s.order_file.empty()) fail(r, "second order list");
        if (s.rows < 0 || s.channels < 0) fail(r, "the header must give rows and channels before the orders");
        s.order_file = r.file;
        r.block = Block::ORDERS;
    } else if (kw == "pattern") {
        if (t.size() < 2 || t.size() > 3) fail(r, "expected 'pattern <number> [name]'");
        if (s.pattern_slots < 0 || s.rows < 0) fail(r, "the header must give rows and patterns before any pattern");
        r.index = parse_int(r, t[1], 1, s.pattern_slots - 1, "pattern number");
        SourcePattern &p = s.patterns[r.index];
        if (p.defined) fail(r, "pattern " + t[1] + " is already defined at " + p.place.file + ":" + std::to_string(p.place.line));
        p.defined = true;
        p.place = {r.file, r.line};
        if (t.size() == 3) check_name(r, t[2]), p.name = t[2];
        p.rows.assign(size_t(s.rows), PatternRow{});
        r.block = Block::PATTERN;
    } else if (kw == "sequence") {
        // sequence <n> [name] loop <step|->
        if (t.size() < 4 || t.size() > 5 || t[t.size() - 2] != "loop")
            fail(r, "expected 'sequence <number> [name] loop <step or ->'");
        r.index = parse_int(r, t[1], 1, SONG_SEQUENCE_COUNT - 1, "sequence number");
        SourceSequence &q = s.sequences[r.index];
        if (q.defined) fail(r, "sequence " + t[1] + " is already defined at " + q.place.file + ":" + std::to_string(q.place.line));
        q.defined = true;
        q.place = {r.file, r.line};
        if (t.size() == 5) check_name(r, t[2]), q.name = t[2];
        q.loop_step = t.back() == "-" ? -1 : parse_int(r, t.back(), 0, 255, "loop step");
        r.block = Block::SEQUENCE;
    } else if (kw == "instrument") {
        // instrument <n> fm|pulse <name> | instrument <n> sample <recipe>
        if (t.size() != 4) fail(r, "expected 'instrument <number> fm|pulse|sample <name>'");
        r.index = parse_int(r, t[1], 1, SONG_INSTRUMENT_COUNT - 1, "instrument number");
        SourceInstrument &ins = s.instruments[r.index];
        if (ins.defined) fail(r, "instrument " + t[1] + " is already defined at " + ins.place.file + ":" + std::to_string(ins.place.line));
        ins.defined = true;
        ins.place = {r.file, r.line};
        check_name(r, t[3]);
        ins.name = t[3];
        if (t[2] == "fm") ins.def.type = INSTRUMENT_FM;
        else if (t[2] == "pulse") ins.def.type = INSTRUMENT_PULSE;
        else if (t[2] == "sample") ins.def.type = INSTRUMENT_SAMPLE, ins.sample = t[3];
        else fail(r, "unknown instrument type '" + t[2] + "' (fm, pulse or sample)");
        r.block = Block::INSTRUMENT;
    } else if (kw == "sample") {
        if (t.size() != 2) fail(r, "expected 'sample <name>'");
        check_name(r, t[1]);
        for (const SampleRecipe &e : s.recipes)
            if (e.name == t[1]) fail(r, "sample '" + t[1] + "' is already defined at " + e.place.file + ":" + std::to_string(e.place.line));
        SampleRecipe rec;
        rec.place = {r.file, r.line};
        rec.name = t[1];
        s.recipes.push_back(rec);
        r.block = Block::SAMPLE;
    }
}

void header_line(Reader &r, const std::vector<std::string> &t)
{
    SongSource &s = *r.src;
    if (t.size() != 2) fail(r, "a header line is '<key> <value>'");
    struct Key { const char *name; int32_t *field; int lo, hi; };
    const Key keys[] = {
        {"rows", &s.rows, 1, 64},           {"channels", &s.channels, 1, SONG_MAX_CHANNELS},
        {"speed", &s.speed, 0, 255},        {"volume", &s.volume, 1, 10000},
        {"preroll", &s.preroll, 0, 10000},  {"patterns", &s.pattern_slots, 1, SONGC_MAX_PATTERNS},
    };
    for (const Key &k : keys)
        if (t[0] == k.name) {
            if (*k.field >= 0) fail(r, "header value '" + t[0] + "' given twice");
            *k.field = parse_int(r, t[1], k.lo, k.hi, t[0]);
            return;
        }
    fail(r, "unknown header value '" + t[0] + "'");
}

// "<order> <14 columns>"; a column is '---' or pattern[+transpose].
void order_line(Reader &r, const std::vector<std::string> &t)
{
    SongSource &s = *r.src;
    const int order = int(s.order_lines.size());
    if (!all_digits(t[0])) fail(r, "an order line starts with its order number");
    if (std::atoi(t[0].c_str()) != order) fail(r, "order " + t[0] + " out of sequence, expected " + std::to_string(order));
    if (int(t.size()) - 1 != s.channels)
        fail(r, "order " + t[0] + " has " + std::to_string(t.size() - 1) + " columns, expected " + std::to_string(s.channels));
    for (size_t c = 1; c < t.size(); ++c) {
        OrderEntry e = {0, 0};
        if (t[c] != "---") {
            const std::string &col = t[c];
            const size_t plus = col.find('+');
            const std::string pat = col.substr(0, plus);
            e.pattern = uint8_t(parse_int(r, pat, 1, s.pattern_slots - 1, "pattern"));
            if (plus != std::string::npos)
                e.transpose = uint8_t(parse_int(r, col.substr(plus + 1), 0, SONGC_MAX_TRANSPOSE, "transpose"));
        }
        s.orders.push_back(e);
    }
    s.order_lines.push_back(r.line);
}

// "<row> <note> <sequence> <effect1> <effect2>"
void pattern_line(Reader &r, const std::vector<std::string> &t)
{
    SongSource &s = *r.src;
    if (t.size() != 5) fail(r, "a pattern row is '<row> <note> <sequence> <effect> <effect>', found " + std::to_string(t.size()) + " columns");
    const int row = parse_int(r, t[0], 0, s.rows - 1, "row");
    if (row <= r.last_row) fail(r, "row " + t[0] + " does not follow row " + std::to_string(r.last_row));
    r.last_row = row;
    PatternRow &pr = s.patterns[r.index].rows[size_t(row)];
    pr.note = t[1] == "---" ? 0 : uint8_t(parse_note(r, t[1]));
    pr.sequence = t[2] == ".." ? 0 : uint8_t(parse_int(r, t[2], 1, SONG_SEQUENCE_COUNT - 1, "sequence"));
    if (pr.sequence && !pr.note) fail(r, "a sequence needs a note to start it");
    parse_effect(r, t[3], pr.effect1, pr.param1);
    parse_effect(r, t[4], pr.effect2, pr.param2);
}

// "<note> <instrument> <effect1> <effect2>"; the note is '---', a note name
// (absolute pitch) or +n / -n semitones from the channel's base note.
void sequence_line(Reader &r, const std::vector<std::string> &t)
{
    SourceSequence &q = r.src->sequences[r.index];
    if (t.size() != 4) fail(r, "a sequence step is '<note> <instrument> <effect> <effect>', found " + std::to_string(t.size()) + " columns");
    SequenceStep st = {};
    if (t[0] == "---") {
        st.note = 0;
    } else if (t[0][0] == '+' || t[0][0] == '-') {
        const int off = parse_int(r, t[0], -47, 207, "relative note");
        st.note = uint8_t(48 + off);
        st.absolute = 0;
    } else {
        st.note = uint8_t(parse_note(r, t[0]));
        st.absolute = 1;
    }
    st.instrument = t[1] == ".." ? 0 : uint8_t(parse_int(r, t[1], 1, SONG_INSTRUMENT_COUNT - 1, "instrument"));
    if (st.instrument && !st.note) fail(r, "an instrument needs a note to start it");
    parse_effect(r, t[2], st.effect1, st.param1);
    parse_effect(r, t[3], st.effect2, st.param2);
    q.steps.push_back(st);
    q.step_lines.push_back(r.line);
}

// "op <den> <num> <attack level> <attack shift> <decay level> <decay shift> <output> <mask>"
void instrument_line(Reader &r, const std::vector<std::string> &t)
{
    SourceInstrument &ins = r.src->instruments[r.index];
    if (t[0] != "op") fail(r, "unexpected '" + t[0] + "' in an instrument (expected 'op')");
    if (ins.def.type != INSTRUMENT_FM) fail(r, "only fm instruments have operators");
    if (t.size() != 9) fail(r, "an operator is 'op' and 8 values, found " + std::to_string(t.size() - 1));
    if (ins.op_count == 4) fail(r, "an fm instrument has exactly 4 operators");
    OperatorDef &o = ins.def.op[ins.op_count++];
    o.ratio_den = parse_int(r, t[1], 0, 64, "ratio denominator");
    o.ratio_num = parse_int(r, t[2], 0, 64, "ratio numerator");
    o.attack_level = parse_int(r, t[3], 0, 15, "attack level");
    o.attack_shift = parse_int(r, t[4], 0, 30, "attack shift");
    o.decay_level = parse_int(r, t[5], 0, 15, "decay level");
    o.decay_shift = parse_int(r, t[6], 0, 30, "decay shift");
    o.output_level = parse_int(r, t[7], 0, 15, "output level");
    o.mod_mask = parse_int(r, t[8], 0, 15, "modulation mask");
}

void sample_line(Reader &r, const std::vector<std::string> &t)
{
    SampleRecipe &rec = r.src->recipes.back();
    if (t.size() != 2) fail(r, "a sample line is '<key> <value>'");
    if (t[0] == "kind") {
        check_name(r, t[1]);
        rec.kind = t[1];
    } else if (t[0] == "rate") {
        rec.rate = parse_int(r, t[1], 4000, 96000, "rate");
    } else if (t[0] == "length") {
        rec.length = parse_int(r, t[1], 1, SONGC_MAX_SAMPLE_FRAMES, "length");
    } else {
        if (rec.params.count(t[0])) fail(r, "sample setting '" + t[0] + "' given twice");
        rec.params[t[0]] = parse_real(r, t[1], t[0]);
        rec.param_lines[t[0]] = r.line;
    }
}

} // namespace

int song_note_number(const std::string &name)
{
    static const char *const names[12] = {"C-", "C#", "D-", "D#", "E-", "F-", "F#", "G-", "G#", "A-", "A#", "B-"};
    if (name.size() != 3 || !std::isdigit(static_cast<unsigned char>(name[2]))) return 0;
    for (int i = 0; i < 12; ++i)
        if (name.compare(0, 2, names[i]) == 0) return 18 + 12 * (name[2] - '0') + i; // A-2 = 51
    return 0;
}

void song_parse_text(SongSource &src, const std::string &file, const std::string &text)
{
    static const std::set<std::string> keywords = {"song", "orders", "pattern", "sequence", "instrument", "sample"};
    Reader r;
    r.src = &src;
    r.file = file;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) {
        ++r.line;
        // Song sources are plain text; a control byte would otherwise end up
        // in a message (where a NUL cuts it short and an escape drives the
        // terminal). Tabs and the CR of CRLF line ends are white space.
        for (const char c : line) {
            const unsigned char u = static_cast<unsigned char>(c);
            if ((u < 0x20 && c != '\t' && c != '\r') || u == 0x7f) {
                char hex[8];
                std::snprintf(hex, sizeof hex, "0x%02x", u);
                fail(r, std::string("control character ") + hex + " in the text");
            }
        }
        const std::vector<std::string> t = tokenize(line);
        if (t.empty()) continue;
        if (keywords.count(t[0])) {
            start_block(r, t);
            continue;
        }
        switch (r.block) {
        case Block::NONE: fail(r, "'" + t[0] + "' outside any block");
        case Block::SONG: header_line(r, t); break;
        case Block::ORDERS: order_line(r, t); break;
        case Block::PATTERN: pattern_line(r, t); break;
        case Block::SEQUENCE: sequence_line(r, t); break;
        case Block::INSTRUMENT: instrument_line(r, t); break;
        case Block::SAMPLE: sample_line(r, t); break;
        }
    }
}

void song_check(const SongSource &s)
{
    if (!s.has_header) throw SongError("song: no 'song' header in any file");
    const SourcePlace &h = s.header_place;
    const char *missing = s.rows < 0 ? "rows" : s.channels < 0 ? "channels" : s.speed < 0 ? "speed"
                        : s.volume < 0 ? "volume" : s.preroll < 0 ? "preroll" : s.pattern_slots < 0 ? "patterns" : nullptr;
    if (missing) fail(h.file, h.line, std::string("the header lacks '") + missing + "'");
    if (s.order_lines.empty()) fail(h.file, h.line, "the song has no orders");

    for (size_t i = 0; i < s.orders.size(); ++i) {
        const int p = s.orders[i].pattern;
        if (p && !s.patterns[p].defined)
            fail(s.order_file, s.order_lines[i / size_t(s.channels)], "pattern " + std::to_string(p) + " is not defined");
    }
    for (int p = 1; p < SONGC_MAX_PATTERNS; ++p) {
        const SourcePattern &pat = s.patterns[p];
        if (!pat.defined) continue;
        for (const PatternRow &row : pat.rows)
            if (row.sequence && !s.sequences[row.sequence].defined)
                fail(pat.place.file, pat.place.line, "pattern " + std::to_string(p) + " starts sequence " + std::to_string(row.sequence) + ", which is not defined");
    }
    for (int q = 1; q < SONG_SEQUENCE_COUNT; ++q) {
        const SourceSequence &seq = s.sequences[q];
        if (!seq.defined) continue;
        if (seq.steps.empty()) fail(seq.place.file, seq.place.line, "sequence " + std::to_string(q) + " has no steps");
        if (seq.loop_step >= int(seq.steps.size()))
            fail(seq.place.file, seq.place.line, "sequence " + std::to_string(q) + " loops to step " + std::to_string(seq.loop_step) + " of " + std::to_string(seq.steps.size()));
        for (size_t i = 0; i < seq.steps.size(); ++i) {
            const int ins = seq.steps[i].instrument;
            if (ins && !s.instruments[ins].defined)
                fail(seq.place.file, seq.step_lines[i], "instrument " + std::to_string(ins) + " is not defined");
        }
    }
    int64_t sample_frames = 0;
    for (int i = 1; i < SONG_INSTRUMENT_COUNT; ++i) {
        const SourceInstrument &ins = s.instruments[i];
        if (!ins.defined) continue;
        if (ins.def.type == INSTRUMENT_FM && ins.op_count != 4)
            fail(ins.place.file, ins.place.line, "fm instrument " + std::to_string(i) + " has " + std::to_string(ins.op_count) + " operators, needs 4");
        if (ins.def.type == INSTRUMENT_SAMPLE) {
            const SampleRecipe *found = nullptr;
            for (const SampleRecipe &rec : s.recipes)
                if (rec.name == ins.sample) found = &rec;
            if (!found) fail(ins.place.file, ins.place.line, "sample '" + ins.sample + "' is not defined");
            sample_frames += found->length;
            if (sample_frames > SONGC_MAX_TOTAL_SAMPLE_FRAMES)
                fail(ins.place.file, ins.place.line, "the samples up to instrument " + std::to_string(i) + " add up to " + std::to_string(sample_frames) +
                     " frames, more than the " + std::to_string(SONGC_MAX_TOTAL_SAMPLE_FRAMES) + " a song may hold");
        }
    }
    for (const SampleRecipe &rec : s.recipes) song_check_recipe(rec);
}
