// The show's static models, read from the tables tools/modelgen embeds.
#include "gfx/models.h"

#include <GL/gl.h>

#include <array>

extern "C" const unsigned char quill_model_blob[];

namespace {

// Where one model's arrays lie in the blob (byte offsets; 0 for none).
struct ModelEntry {
    const char *name;
    Vec3 translation;
    int32_t vertex_count, tri_count, quad_count;
    uint32_t vertices, tris, quads, quad_texcoords;
};

constexpr ModelEntry ENTRIES[] = {
#include "models/model_table.inc"
};
static_assert(sizeof(ENTRIES) / sizeof(ENTRIES[0]) == MODEL_COUNT, "one table entry per ModelId");

template <class T>
const T *blob_array(uint32_t offset)
{
    return offset ? reinterpret_cast<const T *>(quill_model_blob + offset) : nullptr;
}

const std::array<StaticModel, MODEL_COUNT> &models()
{
    static const std::array<StaticModel, MODEL_COUNT> table = [] {
        std::array<StaticModel, MODEL_COUNT> t{};
        for (int i = 0; i < MODEL_COUNT; ++i) {
            const ModelEntry &e = ENTRIES[i];
            t[i] = {e.name,
                    e.translation,
                    e.vertex_count,
                    e.tri_count,
                    e.quad_count,
                    blob_array<MeshVertex>(e.vertices),
                    blob_array<int32_t>(e.tris),
                    blob_array<int32_t>(e.quads),
                    blob_array<double>(e.quad_texcoords)};
        }
        return t;
    }();
    return table;
}

}  // namespace

const StaticModel &static_model(ModelId id)
{
    return models()[id];
}

// First of MODEL_COUNT consecutive lists; 0 until compiled.
static GLuint model_lists;

static void draw_model_immediate(ModelId id)
{
    const StaticModel &m = static_model(id);
    draw_indexed_mesh(m.translation, m.vertices, m.tri_count, m.tris, m.quad_count, m.quads);
}

void static_models_compile()
{
    if (model_lists != 0) return;
    const GLuint first = glGenLists(MODEL_COUNT);
    for (int i = 0; i < MODEL_COUNT; ++i) {
        glNewList(first + i, GL_COMPILE);
        draw_model_immediate(ModelId(i));
        glEndList();
    }
    model_lists = first;
}

void draw_static_model(ModelId id)
{
    if (model_lists != 0)
        glCallList(model_lists + id);
    else
        draw_model_immediate(id);
}
