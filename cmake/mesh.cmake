# Mesh library: subdivision mesh, marching-cubes polygonizer, fixed triangle
# mesh; their tests and the per-frame benchmark.
target_sources(quillmora_core PRIVATE
  gfx/subdiv_mesh.cpp
  gfx/marching_cubes.cpp
  gfx/mc_table.cpp
  gfx/trimesh.cpp)

add_executable(test_mesh tests/test_subdiv_mesh.cpp tests/test_marching_cubes.cpp tests/test_trimesh.cpp)
target_link_libraries(test_mesh PRIVATE ${QUILL_TEST_LIBS})
target_compile_options(test_mesh PRIVATE ${QUILL_WARNINGS})
add_test(NAME mesh COMMAND test_mesh)

add_executable(bench_mesh bench/bench_mesh.cpp)
target_link_libraries(bench_mesh PRIVATE quillmora_core benchmark::benchmark)
target_compile_options(bench_mesh PRIVATE ${QUILL_WARNINGS})
