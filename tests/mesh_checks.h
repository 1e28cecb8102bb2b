// Checks shared by the mesh tests.
#pragma once

#include <gtest/gtest.h>

#include "gfx/subdiv_mesh.h"

// Links the subdivision mesh and asserts that every edge is shared by exactly
// two faces: the surface is closed.
inline void expect_closed()
{
    link_edges();
    ASSERT_GT(subdiv_mesh.edge_count, 0);
    for (int32_t e = 0; e < subdiv_mesh.edge_count; ++e)
        ASSERT_EQ(subdiv_mesh.edges[e].face_count, 2) << "edge " << e;
}
