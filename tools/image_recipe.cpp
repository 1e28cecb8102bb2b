// Reader for the image recipe file.
#include "tools/image_recipe.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <fstream>

// Splits a line into words; "double quoted" words may hold spaces. A '#'
// outside quotes starts a comment.
static std::vector<std::string> split_words(const std::string &line, bool *ok) {
    std::vector<std::string> words;
    *ok = true;
    size_t i = 0;
    while (i < line.size()) {
        char c = line[i];
        if (c == ' ' || c == '\t' || c == '\r') {
            i++;
        } else if (c == '#' && (i + 1 >= line.size() || !std::isxdigit(static_cast<unsigned char>(line[i + 1])))) {
            break;  // comment; "#rrggbb" colours start with '#' and a hex digit
        } else if (c == '"') {
            size_t end = line.find('"', i + 1);
            if (end == std::string::npos) {
                *ok = false;
                return words;
            }
            words.push_back(line.substr(i + 1, end - i - 1));
            i = end + 1;
        } else {
            size_t end = line.find_first_of(" \t\r", i);
            if (end == std::string::npos) end = line.size();
            words.push_back(line.substr(i, end - i));
            i = end;
        }
    }
    return words;
}

[[noreturn]] static void fail_at(const char *file, int line_no, const char *what) {
    std::fprintf(stderr, "%s:%d: %s\n", file, line_no, what);
    std::exit(1);
}

static bool parse_int(const std::string &s, int *out) {
    char *end = nullptr;
    long v = std::strtol(s.c_str(), &end, 10);
    if (s.empty() || *end != '\0') return false;
    *out = static_cast<int>(v);
    return true;
}

RecipeBook recipe_read(const char *path) {
    std::ifstream in(path);
    if (!in) {
        std::fprintf(stderr, "imagegen: cannot read %s\n", path);
        std::exit(1);
    }
    RecipeBook book;
    Recipe *open = nullptr;
    std::string line;
    int line_no = 0;
    while (std::getline(in, line)) {
        line_no++;
        bool ok;
        std::vector<std::string> w = split_words(line, &ok);
        if (!ok) fail_at(path, line_no, "unterminated quoted text");
        if (w.empty()) continue;
        if (open) {
            if (w[0] == "end") {
                open = nullptr;
                continue;
            }
            RecipeLine l;
            l.field = w[0];
            l.args.assign(w.begin() + 1, w.end());
            l.line_no = line_no;
            open->lines.push_back(l);
        } else if (w[0] == "typeface") {
            if (w.size() != 4) fail_at(path, line_no, "typeface needs a name, a path and a package");
            book.fonts.push_back(FontDef{w[1], w[2], w[3]});
        } else if (w[0] == "image" || w[0] == "picture") {
            Recipe r;
            r.keyed = w[0] == "image";
            r.file = path;
            if (w.size() != 4 || !parse_int(w[2], &r.width) || !parse_int(w[3], &r.height))
                fail_at(path, line_no, "expected: image|picture <name> <width> <height>");
            if (r.width <= 0 || r.height <= 0) fail_at(path, line_no, "picture size must be positive");
            if (r.width % 4 != 0) fail_at(path, line_no, "picture width must be a multiple of 4");
            r.name = w[1];
            for (const Recipe &other : book.pictures)
                if (other.name == r.name) fail_at(path, line_no, "picture name used twice");
            book.pictures.push_back(r);
            open = &book.pictures.back();
        } else {
            fail_at(path, line_no, "expected typeface, image or picture");
        }
    }
    if (open) fail_at(path, line_no, "last block has no end");
    return book;
}

void recipe_fail(const Recipe &r, int line_no, const char *what) {
    std::fprintf(stderr, "%s:%d: %s: %s\n", r.file.c_str(), line_no, r.name.c_str(), what);
    std::exit(1);
}

const RecipeLine *recipe_find(const Recipe &r, const char *field) {
    for (const RecipeLine &l : r.lines)
        if (l.field == field) return &l;
    return nullptr;
}

std::vector<const RecipeLine *> recipe_all(const Recipe &r, const char *field) {
    std::vector<const RecipeLine *> out;
    for (const RecipeLine &l : r.lines)
        if (l.field == field) out.push_back(&l);
    return out;
}

static const RecipeLine &single(const Recipe &r, const char *field) {
    const RecipeLine *l = recipe_find(r, field);
    if (!l) {
        std::string what = std::string("missing field ") + field;
        recipe_fail(r, 0, what.c_str());
    }
    if (l->args.size() != 1) recipe_fail(r, l->line_no, "expected one value");
    return *l;
}

std::string recipe_text(const Recipe &r, const char *field, const char *fallback) {
    if (fallback && !recipe_find(r, field)) return fallback;
    return single(r, field).args[0];
}

double recipe_arg_number(const Recipe &r, const RecipeLine &l, size_t i) {
    if (i >= l.args.size()) recipe_fail(r, l.line_no, "too few values");
    char *end = nullptr;
    double v = std::strtod(l.args[i].c_str(), &end);
    if (l.args[i].empty() || *end != '\0') recipe_fail(r, l.line_no, "expected a number");
    return v;
}

Rgb recipe_arg_colour(const Recipe &r, const RecipeLine &l, size_t i) {
    if (i >= l.args.size()) recipe_fail(r, l.line_no, "too few values");
    Rgb c;
    if (!rgb_parse(l.args[i].c_str(), &c)) recipe_fail(r, l.line_no, "expected a #rrggbb colour");
    return c;
}

double recipe_number(const Recipe &r, const char *field, double fallback) {
    if (!recipe_find(r, field)) return fallback;
    return recipe_arg_number(r, single(r, field), 0);
}

double recipe_number_required(const Recipe &r, const char *field) {
    return recipe_arg_number(r, single(r, field), 0);
}

Rgb recipe_colour(const Recipe &r, const char *field) {
    const RecipeLine *l = recipe_find(r, field);
    if (!l) recipe_fail(r, 0, field);
    return recipe_arg_colour(r, *l, 0);
}

const char *recipe_font_path(const RecipeBook &book, const Recipe &r, const char *field) {
    std::string name = recipe_text(r, field);
    for (const FontDef &f : book.fonts)
        if (f.name == name) return f.path.c_str();
    recipe_fail(r, recipe_find(r, field)->line_no, "unknown font name");
}
