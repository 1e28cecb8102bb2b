// Reader for the model recipes.
#include "tools/model_recipe.h"

#include <cstdlib>
#include <fstream>
#include <sstream>

void recipe_fail(const ModelLine &l, const std::string &what) {
    throw RecipeError(l.file + ":" + std::to_string(l.line_no) + ": " + what);
}

std::vector<ModelRecipe> model_recipes_parse(const std::string &text, const std::string &file) {
    std::vector<ModelRecipe> out;
    std::istringstream in(text);
    std::string raw;
    bool open = false;
    ModelLine l;
    l.file = file;
    while (std::getline(in, raw)) {
        l.line_no++;
        size_t hash = raw.find('#');
        if (hash != std::string::npos) raw.resize(hash);
        std::istringstream words(raw);
        std::string w;
        l.args.clear();
        l.field.clear();
        while (words >> w) (l.field.empty() ? l.field : l.args.emplace_back()) = w;
        if (l.field.empty()) continue;
        if (l.field == "model") {
            if (open) recipe_fail(l, "model block inside another; close it with end");
            recipe_want(l, 1);
            for (const ModelRecipe &r : out)
                if (r.name == l.args[0]) recipe_fail(l, "model " + l.args[0] + " is described twice");
            out.push_back({l.args[0], l, {}});
            open = true;
        } else if (l.field == "end") {
            if (!open) recipe_fail(l, "end without a model");
            recipe_want(l, 0);
            open = false;
        } else {
            if (!open) recipe_fail(l, "statement outside a model block");
            out.back().lines.push_back(l);
        }
    }
    if (open) recipe_fail(out.back().head, "model block has no end");
    return out;
}

std::vector<ModelRecipe> model_recipes_read(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw RecipeError(path + ":0: cannot read the file");
    std::ostringstream text;
    text << in.rdbuf();
    return model_recipes_parse(text.str(), path);
}

void recipe_want(const ModelLine &l, size_t n, bool or_more) {
    if (l.args.size() < n || (!or_more && l.args.size() > n))
        recipe_fail(l, l.field + " takes " + (or_more ? "at least " : "") + std::to_string(n) + " value" +
                           (n == 1 ? "" : "s") + ", found " + std::to_string(l.args.size()));
}

static bool parse_number(const std::string &s, double *out) {
    char *end = nullptr;
    *out = std::strtod(s.c_str(), &end);
    return !s.empty() && *end == '\0';
}

double recipe_number(const ModelLine &l, size_t i) {
    double v;
    if (i >= l.args.size()) recipe_fail(l, l.field + " needs more values");
    if (!parse_number(l.args[i], &v)) recipe_fail(l, "'" + l.args[i] + "' is not a number");
    return v;
}

int recipe_int(const ModelLine &l, size_t i) {
    double v = recipe_number(l, i);
    if (v != static_cast<int>(v)) recipe_fail(l, "'" + l.args[i] + "' is not a whole number");
    return static_cast<int>(v);
}

std::vector<double> recipe_numbers(const ModelLine &l, size_t from) {
    std::vector<double> out;
    for (size_t i = from; i < l.args.size(); i++) {
        const std::string &a = l.args[i];
        size_t dots = a.find(".."), slash = a.find('/');
        if (dots == std::string::npos) {
            out.push_back(recipe_number(l, i));
            continue;
        }
        double lo, hi, n;
        if (slash == std::string::npos || !parse_number(a.substr(0, dots), &lo) ||
            !parse_number(a.substr(dots + 2, slash - dots - 2), &hi) || !parse_number(a.substr(slash + 1), &n) ||
            n < 1 || n != static_cast<int>(n))
            recipe_fail(l, "'" + a + "' is not a range like 0..1/4");
        for (int k = 0; k <= static_cast<int>(n); k++) {
            double v = k == n ? hi : lo + (hi - lo) * k / n;
            if (out.empty() || v != out.back()) out.push_back(v);
        }
    }
    return out;
}
