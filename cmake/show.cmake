# Timeline, precalculation, scenes and the frame-shot tool.
target_sources(quillmora_core PRIVATE
  timeline/timeline.cpp
  timeline/timeline_frame.cpp
  gfx/precalc.cpp
  scenes/title.cpp)

find_package(ZLIB REQUIRED)

# quillmora-shot: renders chosen moments of the show to PNG files.
add_executable(quillmora-shot tools/shot.cpp tools/png_write.cpp)
target_link_libraries(quillmora-shot PRIVATE quillmora_core ZLIB::ZLIB)
target_compile_options(quillmora-shot PRIVATE ${QUILL_WARNINGS})

quill_gtest(test_timeline NAME timeline SOURCES tests/test_timeline.cpp)
quill_gtest(test_precalc NAME precalc SOURCES tests/test_precalc.cpp)
quill_gtest(test_title NAME title_gl SOURCES tests/test_title.cpp XVFB LABELS gl)
quill_gtest(test_shot NAME shot_gl SOURCES tests/test_shot.cpp tools/png_write.cpp
  LIBS ${QUILL_TEST_LIBS} ZLIB::ZLIB XVFB LABELS gl)
set_tests_properties(shot_gl PROPERTIES TIMEOUT 300)
target_compile_definitions(test_shot PRIVATE
  QUILL_SHOT_TOOL="$<TARGET_FILE:quillmora-shot>"
  QUILL_PROGRAM="$<TARGET_FILE:quillmora>"
  )
add_dependencies(test_shot quillmora-shot quillmora)

# Benchmarks: the fur-shell simulation, one schedule decision, one title frame
# (run under Xvfb for the last one).
quill_bench(bench_show bench/bench_show.cpp)
