// Reader for the image recipe file (data/images/images.txt): typeface
// declarations and one block of "field values..." lines per picture.
// Build time only; malformed input stops the build with file:line and reason.
#pragma once

#include "tools/image_raster.h"

#include <string>
#include <vector>

struct RecipeLine {
    std::string field;
    std::vector<std::string> args;
    int line_no = 0;
};

struct Recipe {
    std::string name;
    int width = 0, height = 0;
    bool keyed = true;  // "image" blocks are keyed; "picture" blocks are not
    std::vector<RecipeLine> lines;
    std::string file;  // for messages
};

struct FontDef {
    std::string name, path, package;
};

struct RecipeBook {
    std::vector<FontDef> fonts;
    std::vector<Recipe> pictures;  // in file order
};

// Reads and checks the file; prints the first problem and exits with status 1.
RecipeBook recipe_read(const char *path);

[[noreturn]] void recipe_fail(const Recipe &r, int line_no, const char *what);
// The first line with this field, or null.
const RecipeLine *recipe_find(const Recipe &r, const char *field);
// Every line with this field, in order.
std::vector<const RecipeLine *> recipe_all(const Recipe &r, const char *field);
// Typed accessors for single-value fields; a missing field gives the default
// (or stops the build when required), a malformed one always stops it.
std::string recipe_text(const Recipe &r, const char *field, const char *fallback = nullptr);
double recipe_number(const Recipe &r, const char *field, double fallback);
double recipe_number_required(const Recipe &r, const char *field);
Rgb recipe_colour(const Recipe &r, const char *field);
// Argument i of a line as a number or a colour.
double recipe_arg_number(const Recipe &r, const RecipeLine &l, size_t i);
Rgb recipe_arg_colour(const Recipe &r, const RecipeLine &l, size_t i);
// The font path for a font name.
const char *recipe_font_path(const RecipeBook &book, const Recipe &r, const char *field);
