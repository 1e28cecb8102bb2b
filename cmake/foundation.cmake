# Foundation: shell, audio clock and sequencer, drawing helpers.
target_sources(quillmora_core PRIVATE
  shell/startup.cpp
  shell/frame_loop.cpp
  audio/audio_device.cpp
  audio/sequencer.cpp
  gfx/vec.cpp
  gfx/draw.cpp
  gfx/array_batch.cpp
  gfx/gl_ext.cpp)

quill_gtest(test_clock NAME clock SOURCES tests/test_clock.cpp)
quill_gtest(test_shell NAME shell SOURCES tests/test_shell.cpp)
quill_gtest(test_draw_gl NAME draw_gl SOURCES tests/test_draw_gl.cpp XVFB LABELS gl)

add_test(NAME program_e2e COMMAND bash ${CMAKE_SOURCE_DIR}/tests/program_e2e.sh $<TARGET_FILE:quillmora>)
# Its three whole-song sound captures draw every frame of the show: several
# minutes each on llvmpipe.
set_tests_properties(program_e2e PROPERTIES LABELS "gl;e2e" TIMEOUT 3600)

# Benchmark of the post effects (run it under xvfb-run).
quill_bench(bench_draw bench/bench_draw.cpp)
