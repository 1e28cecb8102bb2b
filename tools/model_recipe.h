// Reader for the model recipes (data/models/*.txt): blocks that open with
// "model <name>" and close with "end", one "field values..." statement per
// line, '#' starting a comment. Build time only; a malformed recipe is
// reported as "file:line: message" through RecipeError.
#pragma once

#include <stdexcept>
#include <string>
#include <vector>

struct RecipeError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

struct ModelLine {
    std::string field;
    std::vector<std::string> args;
    std::string file;
    int line_no = 0;
};

struct ModelRecipe {
    std::string name;
    ModelLine head;  // the "model" line
    std::vector<ModelLine> lines;
};

// Splits text (read from `file`, named in messages) into model blocks.
std::vector<ModelRecipe> model_recipes_parse(const std::string &text, const std::string &file);
// Reads and splits a recipe file; a file that cannot be read is an error too.
std::vector<ModelRecipe> model_recipes_read(const std::string &path);

[[noreturn]] void recipe_fail(const ModelLine &l, const std::string &what);
// Demands exactly n arguments, or at least n with or_more.
void recipe_want(const ModelLine &l, size_t n, bool or_more = false);
// Argument i as a number or a whole number.
double recipe_number(const ModelLine &l, size_t i);
int recipe_int(const ModelLine &l, size_t i);
// Arguments from i on as numbers, where "a..b/n" stands for the n + 1 values
// that split a..b into n equal steps.
std::vector<double> recipe_numbers(const ModelLine &l, size_t from);
