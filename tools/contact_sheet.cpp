// contact_sheet: lays every picture of the image recipes out on one labelled
// PNG for the README.
//
//   contact_sheet <recipes> <label-font> <out.png>
//
// Pictures are painted by the same code as the embedded ones (so the sheet
// shows exactly the embedded pixels), shown top up, each on a mid-grey card
// under its key and size, so white-background and black-background pictures
// both keep visible borders.
#include "tools/image_png.h"
#include "tools/image_recipe.h"
#include "tools/image_text.h"
#include "tools/imagegen_paint.h"

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

namespace {

constexpr int SHEET_WIDTH = 1440;
constexpr int GAP = 14;
constexpr int LABEL_HEIGHT = 18;
const Rgb SHEET_BACKGROUND{0.17, 0.18, 0.2};
const Rgb CARD{0.36, 0.37, 0.4};
const Rgb LABEL_INK{0.92, 0.92, 0.88};

struct Placed {
    const Recipe *recipe;
    Canvas picture;
    Mask label;
    int x, y, card_w;
};

void fill_rect(Canvas &c, int x0, int y0, int w, int h, Rgb col) {
    for (int y = std::max(0, y0); y < std::min(c.h, y0 + h); y++)
        for (int x = std::max(0, x0); x < std::min(c.w, x0 + w); x++) canvas_at(c, x, y) = col;
}

}  // namespace

int main(int argc, char **argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: contact_sheet <recipes> <label-font> <out.png>\n");
        return 1;
    }
    RecipeBook book = recipe_read(argv[1]);
    void *label_font = text_open_font(argv[2]);

    // Shelf packing in recipe order: fill a row left to right, then start the next.
    std::vector<Placed> placed;
    int x = GAP, y = GAP, shelf = 0;
    for (const Recipe &r : book.pictures) {
        std::string label = r.name + "  " + std::to_string(r.width) + "x" + std::to_string(r.height);
        Mask text = text_render(label_font, label.c_str(), 12.0, TextStyle{});
        int cell_w = std::max(r.width, text.w) + 8, cell_h = r.height + 8 + LABEL_HEIGHT;
        if (x + cell_w + GAP > SHEET_WIDTH) {
            x = GAP;
            y += shelf + GAP;
            shelf = 0;
        }
        placed.push_back(Placed{&r, paint_picture(book, r), text, x, y, cell_w});
        x += cell_w + GAP;
        shelf = std::max(shelf, cell_h);
    }
    int height = y + shelf + GAP;

    Canvas sheet = canvas_make(SHEET_WIDTH, height, SHEET_BACKGROUND);
    for (const Placed &p : placed) {
        const Recipe &r = *p.recipe;
        fill_rect(sheet, p.x, p.y, p.card_w, r.height + 8 + LABEL_HEIGHT, CARD);
        canvas_blend(sheet, p.label, p.x + 4, p.y + 4, LABEL_INK);
        for (int py = 0; py < r.height; py++)
            for (int px = 0; px < r.width; px++)
                canvas_at(sheet, p.x + 4 + px, p.y + 4 + LABEL_HEIGHT + py) =
                    p.picture.px[static_cast<size_t>(py) * r.width + px];
    }

    std::vector<uint8_t> rgb;
    rgb.reserve(sheet.px.size() * 3);
    for (const Rgb &p : sheet.px) {
        rgb.push_back(channel_byte(p.r));
        rgb.push_back(channel_byte(p.g));
        rgb.push_back(channel_byte(p.b));
    }
    if (!png_write_rgb(argv[3], sheet.w, sheet.h, rgb.data())) {
        std::fprintf(stderr, "contact_sheet: cannot write %s\n", argv[3]);
        return 1;
    }
    return 0;
}
