# Timeline, precalculation and scenes.
target_sources(quillmora_core PRIVATE
  timeline/timeline.cpp
  gfx/precalc.cpp)
