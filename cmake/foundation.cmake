# Foundation: shell, audio clock and sequencer, drawing helpers.
target_sources(quillmora_core PRIVATE
  shell/startup.cpp
  shell/frame_loop.cpp
  audio/audio_device.cpp
  audio/sequencer.cpp
  gfx/vec.cpp
  gfx/draw.cpp)
