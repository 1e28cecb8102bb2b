# Replaying the show without a sound device (shared by the shot tool, the
# stretch renderer and the show sheet), and the tests that frames do not
# depend on what was drawn before them.
target_sources(quillmora_core PRIVATE shell/replay.cpp)

quill_gtest(test_history_gl NAME history_gl SOURCES tests/test_history_gl.cpp XVFB LABELS gl)
set_tests_properties(history_gl PROPERTIES TIMEOUT 600)
