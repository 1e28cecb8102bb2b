# Synthesizer: instrument voices and mixer, the soundtrack export tool, their
# tests and the synthesis benchmark.
target_sources(quillmora_core PRIVATE audio/voices.cpp)
# The voices must render the same bytes everywhere: no fused multiply-adds,
# whatever flags the rest of the build uses.
set_source_files_properties(audio/voices.cpp PROPERTIES COMPILE_OPTIONS -ffp-contract=off)

quill_gtest(test_voices NAME voices SOURCES tests/test_voices.cpp)

# The song written to a WAV file, exactly as the sound capture streams it.
add_executable(quillmora-soundtrack tools/soundtrack.cpp)
target_link_libraries(quillmora-soundtrack PRIVATE quillmora_core)
target_compile_options(quillmora-soundtrack PRIVATE ${QUILL_WARNINGS})

quill_bench(bench_synth bench/bench_synth.cpp)

quill_gtest(test_mix_song NAME mix_song SOURCES tests/test_mix_song.cpp)

# The export against the program's sound capture under Xvfb: the first half
# minute (the title and the projector room's first orders) in the default
# run, the whole song up to the program's own stop as a long check (the
# song's exact length is checked on the export itself, and where the frame
# loop stops by show_capture, which draws the same frames).
add_test(NAME soundtrack_ds COMMAND bash ${CMAKE_SOURCE_DIR}/tests/test_soundtrack.sh
         $<TARGET_FILE:quillmora> $<TARGET_FILE:quillmora-soundtrack> 30)
set_tests_properties(soundtrack_ds PROPERTIES LABELS "gl;e2e" TIMEOUT 900)
add_test(NAME soundtrack_ds_full COMMAND bash ${CMAKE_SOURCE_DIR}/tests/test_soundtrack.sh
         $<TARGET_FILE:quillmora> $<TARGET_FILE:quillmora-soundtrack>)
set_tests_properties(soundtrack_ds_full PROPERTIES LABELS long TIMEOUT 1800)
