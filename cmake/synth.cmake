# Synthesizer: instrument voices and mixer, the soundtrack export tool, their
# tests and the synthesis benchmark.
target_sources(quillmora_core PRIVATE audio/voices.cpp)
# The voices must render the same bytes everywhere: no fused multiply-adds,
# whatever flags the rest of the build uses.
set_source_files_properties(audio/voices.cpp PROPERTIES COMPILE_OPTIONS -ffp-contract=off)

add_executable(test_voices tests/test_voices.cpp)
target_link_libraries(test_voices PRIVATE ${QUILL_TEST_LIBS})
target_compile_options(test_voices PRIVATE ${QUILL_WARNINGS})
add_test(NAME voices COMMAND test_voices)
