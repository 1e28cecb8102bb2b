# The whole show proven: a recording build of the program, a frame hasher,
# and the whole-show tests. Labels: "gl" tests run in the default test run;
# "long" ones (the determinism, whole-show sanitizer and race checks) only
# through tools/long_checks.sh.

add_executable(quillmora-framehash tools/frame_hash.cpp tools/png_write.cpp)
target_link_libraries(quillmora-framehash PRIVATE quill_atomic_file ZLIB::ZLIB)
target_include_directories(quillmora-framehash PRIVATE ${CMAKE_SOURCE_DIR})
target_compile_options(quillmora-framehash PRIVATE ${QUILL_WARNINGS})

# quillmora-probe: the program's own main() and core library, with
# tests/probe.cpp recording each frame's position, scene, key and our heap
# allocations (see there). Not under the sanitizers, which replace the
# allocator themselves.
if(NOT QUILL_SANITIZE AND NOT QUILL_TSAN)
  add_executable(quillmora-probe shell/main.cpp tests/probe.cpp)
  target_link_libraries(quillmora-probe PRIVATE quillmora_core ${CMAKE_DL_LIBS})
  target_compile_options(quillmora-probe PRIVATE ${QUILL_WARNINGS})
  set(QUILL_PROBE_WRAPS
    _Z14timeline_frameRK12SongPosition SDL_PollEvent malloc calloc realloc
    _Z10title_drawv _Z14projector_drawd _Z17meadow_title_drawd _Z14dotscreen_drawdi
    _Z15bump_scene_drawdi _Z15blob_scene_drawd _Z9eyes_drawd _Z19metaball_scene_drawdi
    _Z11forest_drawd _Z14signature_drawd)
  foreach(symbol ${QUILL_PROBE_WRAPS})
    target_link_options(quillmora-probe PRIVATE "LINKER:--wrap=${symbol}")
  endforeach()

  add_test(NAME show_capture COMMAND bash ${CMAKE_SOURCE_DIR}/tests/show_capture.sh
           $<TARGET_FILE:quillmora-probe> $<TARGET_FILE:quillmora-shot> $<TARGET_FILE:quillmora-framehash>)
  # The longest test of the default run starts first (ctest -j runs the
  # costliest first; a fresh build tree has no measured costs yet).
  set_tests_properties(show_capture PROPERTIES LABELS gl TIMEOUT 2400 COST 1000)
endif()

# Real keys across the whole show, seeking both ways (not played to the end).
if(NOT QUILL_SANITIZE AND NOT QUILL_TSAN)
  add_test(NAME show_keys COMMAND bash ${CMAKE_SOURCE_DIR}/tests/show_keys.sh $<TARGET_FILE:quillmora-probe>)
  set_tests_properties(show_keys PROPERTIES LABELS gl TIMEOUT 900)
endif()

# The sanitizer build draws several moments of every section (the default
# run's sanitizer pass runs this one GL test). Leak detection is off: Mesa's
# own allocations would drown it.
set(QUILL_SANITIZER_ENV "ASAN_OPTIONS=detect_leaks=0;UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1")
if(QUILL_SANITIZE)
  add_test(NAME sanitized_shots COMMAND bash ${CMAKE_SOURCE_DIR}/tests/sanitized_shots.sh $<TARGET_FILE:quillmora-shot>)
  set_tests_properties(sanitized_shots PROPERTIES LABELS sanitize TIMEOUT 1200 ENVIRONMENT "${QUILL_SANITIZER_ENV}")
endif()

# --- Long checks: tools/long_checks.sh runs them (ctest -L long); the default
# run leaves them out.
if(QUILL_SANITIZE)
  # The whole show in frame capture under AddressSanitizer and UBSan.
  add_test(NAME show_sanitized COMMAND bash ${CMAKE_SOURCE_DIR}/tests/show_twice.sh frames-once
           $<TARGET_FILE:quillmora> $<TARGET_FILE:quillmora-framehash>)
  set_tests_properties(show_sanitized PROPERTIES LABELS long TIMEOUT 7200 ENVIRONMENT "${QUILL_SANITIZER_ENV}")
elseif(QUILL_TSAN)
  # A minute of normal playback on SDL's dummy audio driver with real keys.
  add_test(NAME keys_tsan COMMAND bash ${CMAKE_SOURCE_DIR}/tests/keys_tsan.sh $<TARGET_FILE:quillmora>)
  set_tests_properties(keys_tsan PROPERTIES LABELS long TIMEOUT 900
    ENVIRONMENT "TSAN_OPTIONS=suppressions=${CMAKE_SOURCE_DIR}/tests/tsan.supp:halt_on_error=0:exitcode=66")
else()
  # Determinism: two whole-show frame captures, frame for frame, and two
  # whole-song sound captures, byte for byte.
  add_test(NAME show_frames_twice COMMAND bash ${CMAKE_SOURCE_DIR}/tests/show_twice.sh frames
           $<TARGET_FILE:quillmora> $<TARGET_FILE:quillmora-framehash>)
  set_tests_properties(show_frames_twice PROPERTIES LABELS long TIMEOUT 3600)
  add_test(NAME show_sound_twice COMMAND bash ${CMAKE_SOURCE_DIR}/tests/show_twice.sh sound $<TARGET_FILE:quillmora>)
  set_tests_properties(show_sound_twice PROPERTIES LABELS long TIMEOUT 3600)
endif()

# The sound-capture checks belong to the normal build only.
if(QUILL_SANITIZE OR QUILL_TSAN)
  set_tests_properties(soundtrack_ds soundtrack_ds_full PROPERTIES LABELS gl)
endif()
