# The projector room and the meadow title: the flower meadow they share, both
# scenes, their tests and their benchmark.
target_sources(quillmora_core PRIVATE
  scenes/meadow.cpp
  scenes/meadow_title.cpp)

quill_gtest(test_meadow NAME meadow SOURCES tests/test_meadow.cpp)
quill_gtest(test_meadow_title_gl NAME meadow_title_gl SOURCES tests/test_meadow_title_gl.cpp XVFB LABELS gl)
