# Installing and packaging: the program's --help and --version.

# --help and --version; only this file is rebuilt when the version changes.
target_sources(quillmora_core PRIVATE shell/usage.cpp)
set_source_files_properties(shell/usage.cpp PROPERTIES COMPILE_DEFINITIONS "QUILL_VERSION=\"${PROJECT_VERSION}\"")
