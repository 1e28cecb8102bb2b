// The fir tree of the forest: trunk, tiers of drooping branches and twigs.
#include "tools/model_build.h"

const std::set<std::string> TREE_PARAM_FIELDS = {};

void build_tree(Mesh &, const ModelLine &head, const std::vector<ModelLine> &) {
    recipe_fail(head, "the tree is not described yet");
}
