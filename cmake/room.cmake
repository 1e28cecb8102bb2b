# The projector room and the meadow title: the flower meadow they share, both
# scenes, their tests and their benchmark.
target_sources(quillmora_core PRIVATE
  scenes/meadow.cpp
  scenes/projector.cpp
  scenes/meadow_title.cpp)

quill_gtest(test_meadow NAME meadow SOURCES tests/test_meadow.cpp)
quill_gtest(test_projector NAME projector SOURCES tests/test_projector.cpp)
quill_gtest(test_meadow_title_gl NAME meadow_title_gl SOURCES tests/test_meadow_title_gl.cpp XVFB LABELS gl)
quill_gtest(test_projector_gl NAME projector_gl SOURCES tests/test_projector_gl.cpp XVFB LABELS gl)

# Frame costs of both scenes, pass by pass (run under xvfb-run).
quill_bench(bench_room bench/bench_room.cpp)
