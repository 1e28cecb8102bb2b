# Mesh library: subdivision mesh, marching-cubes polygonizer, fixed triangle
# mesh; their tests and the per-frame benchmark.
target_sources(quillmora_core PRIVATE
  gfx/subdiv_mesh.cpp
  gfx/marching_cubes.cpp
  gfx/mc_table.cpp
  gfx/trimesh.cpp)

quill_gtest(test_mesh NAME mesh
  SOURCES tests/test_subdiv_mesh.cpp tests/test_marching_cubes.cpp tests/test_trimesh.cpp)

quill_bench(bench_mesh bench/bench_mesh.cpp)
