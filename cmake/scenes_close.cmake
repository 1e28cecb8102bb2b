# The closing scenes: eyes and double helix, fur metaballs, forest
# silhouettes and the signature, with their tests and benchmark.
target_sources(quillmora_core PRIVATE
  scenes/eyes.cpp
  scenes/metaballs.cpp
  scenes/signature.cpp
  scenes/forest.cpp)

quill_gtest(test_scenes_close NAME scenes_close SOURCES tests/test_scenes_close.cpp)
quill_gtest(test_scenes_close_gl NAME scenes_close_gl SOURCES tests/test_scenes_close_gl.cpp XVFB LABELS gl)

# Frames of each closing scene on llvmpipe and their CPU work (run under Xvfb).
quill_bench(bench_scenes_close bench/bench_scenes_close.cpp)
