# Replaying the show without a sound device (shared by the shot tool, the
# stretch renderer and the show sheet), and the tests that frames do not
# depend on what was drawn before them.
target_sources(quillmora_core PRIVATE shell/replay.cpp)

quill_gtest(test_history_gl NAME history_gl SOURCES tests/test_history_gl.cpp XVFB LABELS gl)
set_tests_properties(history_gl PROPERTIES TIMEOUT 600)

# quillmora-render: one stretch of the show, frames on descriptor 7 and sound
# to a file; tools/render.sh turns it into an MP4.
add_executable(quillmora-render tools/render.cpp)
target_link_libraries(quillmora-render PRIVATE quillmora_core quill_atomic_file)
target_compile_options(quillmora-render PRIVATE ${QUILL_WARNINGS})

add_test(NAME render_stretch COMMAND bash ${CMAKE_SOURCE_DIR}/tests/test_render.sh
  $<TARGET_FILE:quillmora> $<TARGET_FILE:quillmora-render> $<TARGET_FILE:quillmora-soundtrack>)
set_tests_properties(render_stretch PROPERTIES LABELS gl TIMEOUT 300)
