# The dot-screen ripple, the bump-mapped tunnel with the fur torus and the blob
# tube with the greetings: their sources, tests and benchmark.
target_sources(quillmora_core PRIVATE
  scenes/blob.cpp
  scenes/bump.cpp
  scenes/dotscreen.cpp)

quill_gtest(test_blob NAME blob SOURCES tests/test_blob.cpp)

# Frame costs (the GL ones under xvfb-run).
quill_bench(bench_scenes_tech bench/bench_scenes_tech.cpp)
quill_gtest(test_scenes_tech_gl NAME scenes_tech_gl SOURCES tests/test_scenes_tech_gl.cpp XVFB LABELS gl)
quill_gtest(test_bump NAME bump SOURCES tests/test_bump.cpp)
quill_gtest(test_dotscreen NAME dotscreen SOURCES tests/test_dotscreen.cpp)
