# Timeline, precalculation, scenes and the frame-shot tool.
target_sources(quillmora_core PRIVATE
  timeline/timeline.cpp
  timeline/timeline_frame.cpp
  gfx/precalc.cpp
  scenes/title.cpp
  scenes/pending.cpp)

find_package(ZLIB REQUIRED)

# quillmora-shot: renders chosen moments of the show to PNG files.
add_executable(quillmora-shot tools/shot.cpp tools/png_write.cpp)
target_link_libraries(quillmora-shot PRIVATE quillmora_core ZLIB::ZLIB)
target_compile_options(quillmora-shot PRIVATE ${QUILL_WARNINGS})

set(QUILL_SHOW_XVFB xvfb-run -a -s "-screen 0 1024x768x24 -noreset")

add_executable(test_timeline tests/test_timeline.cpp)
target_link_libraries(test_timeline PRIVATE ${QUILL_TEST_LIBS})
target_compile_options(test_timeline PRIVATE ${QUILL_WARNINGS})
add_test(NAME timeline COMMAND test_timeline)

add_executable(test_precalc tests/test_precalc.cpp)
target_link_libraries(test_precalc PRIVATE ${QUILL_TEST_LIBS})
target_compile_options(test_precalc PRIVATE ${QUILL_WARNINGS})
add_test(NAME precalc COMMAND test_precalc)

add_executable(test_title tests/test_title.cpp)
target_link_libraries(test_title PRIVATE ${QUILL_TEST_LIBS})
target_compile_options(test_title PRIVATE ${QUILL_WARNINGS})
add_test(NAME title_gl COMMAND ${QUILL_SHOW_XVFB} $<TARGET_FILE:test_title>)
set_tests_properties(title_gl PROPERTIES LABELS gl)

add_executable(test_shot tests/test_shot.cpp tools/png_write.cpp)
target_link_libraries(test_shot PRIVATE ${QUILL_TEST_LIBS} ZLIB::ZLIB)
target_compile_options(test_shot PRIVATE ${QUILL_WARNINGS})
target_compile_definitions(test_shot PRIVATE
  QUILL_SHOT_TOOL="$<TARGET_FILE:quillmora-shot>"
  QUILL_PROGRAM="$<TARGET_FILE:quillmora>"
  )
add_dependencies(test_shot quillmora-shot quillmora)
add_test(NAME shot_gl COMMAND ${QUILL_SHOW_XVFB} $<TARGET_FILE:test_shot>)
set_tests_properties(shot_gl PROPERTIES LABELS gl TIMEOUT 300)

# Benchmarks: the fur-shell simulation, one schedule decision, one title frame
# (run under Xvfb for the last one).
add_executable(bench_show bench/bench_show.cpp)
target_link_libraries(bench_show PRIVATE quillmora_core benchmark::benchmark)
target_compile_options(bench_show PRIVATE ${QUILL_WARNINGS})
