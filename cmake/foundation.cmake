# Foundation: shell, audio clock and sequencer, drawing helpers.
target_sources(quillmora_core PRIVATE
  gfx/vec.cpp)
