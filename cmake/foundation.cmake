# Foundation: shell, audio clock and sequencer, drawing helpers.
target_sources(quillmora_core PRIVATE
  shell/startup.cpp
  shell/frame_loop.cpp
  audio/audio_device.cpp
  audio/sequencer.cpp
  gfx/vec.cpp
  gfx/draw.cpp)

# Tests. GL and end-to-end tests run under their own Xvfb; -noreset keeps the
# server up while SDL 1.2 disconnects and reconnects during start-up.
set(QUILL_XVFB xvfb-run -a -s "-screen 0 1024x768x24 -noreset")

add_executable(test_clock tests/test_clock.cpp)
target_link_libraries(test_clock PRIVATE ${QUILL_TEST_LIBS})
target_compile_options(test_clock PRIVATE ${QUILL_WARNINGS})
add_test(NAME clock COMMAND test_clock)

add_executable(test_shell tests/test_shell.cpp)
target_link_libraries(test_shell PRIVATE ${QUILL_TEST_LIBS})
target_compile_options(test_shell PRIVATE ${QUILL_WARNINGS})
add_test(NAME shell COMMAND test_shell)

add_executable(test_draw_gl tests/test_draw_gl.cpp)
target_link_libraries(test_draw_gl PRIVATE ${QUILL_TEST_LIBS})
target_compile_options(test_draw_gl PRIVATE ${QUILL_WARNINGS})
add_test(NAME draw_gl COMMAND ${QUILL_XVFB} $<TARGET_FILE:test_draw_gl>)
set_tests_properties(draw_gl PROPERTIES LABELS gl)

add_test(NAME program_e2e COMMAND bash ${CMAKE_SOURCE_DIR}/tests/program_e2e.sh $<TARGET_FILE:quillmora>)
set_tests_properties(program_e2e PROPERTIES LABELS "gl;e2e" TIMEOUT 1200)

# Benchmark of the post effects (run it under xvfb-run).
add_executable(bench_draw bench/bench_draw.cpp)
target_link_libraries(bench_draw PRIVATE quillmora_core benchmark::benchmark)
