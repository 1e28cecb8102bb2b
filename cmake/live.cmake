# The show played live through a real sound server (PulseAudio, started by
# the test) in a window of a real X server, recorded and compared with the
# soundtrack export. Each run is alone on the machine (RUN_SERIAL): a sound
# server's few tens of milliseconds of buffer do not survive two processors
# shared with another show being drawn, whoever the player is.

add_executable(sound_match tests/sound_match.cpp)
target_compile_options(sound_match PRIVATE ${QUILL_WARNINGS})

if(NOT QUILL_SANITIZE AND NOT QUILL_TSAN)
  # The first half minute, then the server killed mid-show, then no server at all.
  add_test(NAME live_sound COMMAND bash ${CMAKE_SOURCE_DIR}/tests/live_sound.sh start
           $<TARGET_FILE:quillmora> $<TARGET_FILE:quillmora-soundtrack> $<TARGET_FILE:sound_match>)
  set_tests_properties(live_sound PROPERTIES LABELS "gl;e2e;live" RUN_SERIAL ON TIMEOUT 600)
  # The whole show.
  add_test(NAME live_sound_whole COMMAND bash ${CMAKE_SOURCE_DIR}/tests/live_sound.sh whole
           $<TARGET_FILE:quillmora> $<TARGET_FILE:quillmora-soundtrack> $<TARGET_FILE:sound_match>)
  set_tests_properties(live_sound_whole PROPERTIES LABELS long RUN_SERIAL ON TIMEOUT 900)
endif()
