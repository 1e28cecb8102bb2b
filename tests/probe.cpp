// quillmora-probe: the show itself (shell/main.cpp and the whole core
// library, unchanged) with a recorder linked around it, for the whole-show
// tests. It draws the same pixels and streams the same captures as quillmora;
// in addition it keeps, for every frame, the song position the frame was drawn
// at, the scene routine that drew it, the key handled in it, and the heap
// allocations our own code made during it. When the program ends the record
// goes to the file named by QUILL_PROBE_LOG (nothing is written without it).
//
// How it hooks in, without touching the program's sources: the link wraps
// (ld --wrap) timeline_frame, the ten scene drawing routines, SDL_PollEvent
// and the C allocation functions for every call made from our objects. The
// wraps record and call straight through. operator new and delete are
// replaced here; the replacement counts an allocation as ours when the first
// caller outside libstdc++ lies in this executable, so a std::vector growing
// in a scene counts, while Mesa, LLVM's JIT and SDL (which allocate inside
// their own calls) do not.
//
// With QUILL_PROBE_NOW set, it also keeps the position of the frame just
// drawn in that file, "<order> <row> <frame index>" overwritten in place
// every frame, so a test can steer by it while the show runs.
//
// Counting starts after the first frame has been drawn: start-up builds its
// tables, the show itself must not allocate.
//
// Log format, one line per frame:
//   frame <index> buffer <buffer_count> order <order> row <row> playing <0|1>
//         scene <scene id> key <SDL key symbol or 0> allocs <count>
//         flag <scene_flag> shift <0|1>
// then "allocs_after_first_frame <total>" and, per allocation recorded (at
// most PROBE_MAX_SITES), "alloc_site <frame> 0x<code address>" for addr2line.
#include <SDL.h>

#include <dlfcn.h>
#include <execinfo.h>
#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

#include "audio/audio_device.h"
#include "timeline/timeline.h"

extern "C" char __executable_start[];
extern "C" char etext[];

namespace {

constexpr int32_t PROBE_MAX_FRAMES = 1 << 16;
constexpr int32_t PROBE_MAX_SITES = 32;

struct ProbeFrame {
    int32_t buffer_count, order, row, playing;
    int32_t scene; // SceneId, -1 when no scene routine ran
    int32_t key;   // key symbol of the key-down event handled, 0 for none
    int32_t allocs;
    int32_t flag;  // scene_flag after the frame's knob writes
    int32_t shift; // 1 when a Shift key was held with the key
};

struct ProbeSite {
    int32_t frame;
    const void *pc;
};

ProbeFrame probe_frames[PROBE_MAX_FRAMES];
int32_t probe_frame_count; // frames begun
int32_t probe_pending_key, probe_pending_shift;
std::atomic<bool> probe_armed{false};
std::atomic<int64_t> probe_allocs{0};
ProbeSite probe_sites[PROBE_MAX_SITES];
std::atomic<int32_t> probe_site_count{0};

bool in_executable(const void *pc)
{
    const char *p = static_cast<const char *>(pc);
    return p >= __executable_start && p < etext;
}

ProbeFrame *current_frame()
{
    const int32_t i = probe_frame_count - 1;
    return i >= 0 && i < PROBE_MAX_FRAMES ? &probe_frames[i] : nullptr;
}

void note_allocation(const void *pc)
{
    probe_allocs.fetch_add(1);
    // The frame table belongs to the main thread; an allocation on the audio
    // thread is still counted in the total.
    if (ProbeFrame *f = current_frame()) f->allocs++;
    const int32_t s = probe_site_count.fetch_add(1);
    if (s < PROBE_MAX_SITES) probe_sites[s] = {probe_frame_count - 1, pc};
}

// Our code's call of operator new: the caller itself, or (for code compiled
// into libstdc++, such as std::string's growth) the first frame past it.
thread_local bool probe_walking = false;
void check_new_caller(const void *caller)
{
    if (!probe_armed.load(std::memory_order_relaxed) || probe_walking) return;
    if (in_executable(caller)) {
        note_allocation(caller);
        return;
    }
    Dl_info info;
    if (dladdr(caller, &info) == 0 || info.dli_fname == nullptr || !std::strstr(info.dli_fname, "libstdc++")) return;
    probe_walking = true;
    void *pcs[12];
    const int n = backtrace(pcs, 12);
    for (int i = 2; i < n; ++i) {
        if (in_executable(pcs[i])) {
            note_allocation(pcs[i]);
            break;
        }
        if (dladdr(pcs[i], &info) == 0 || info.dli_fname == nullptr || !std::strstr(info.dli_fname, "libstdc++")) break;
    }
    probe_walking = false;
}

void write_log()
{
    const char *path = std::getenv("QUILL_PROBE_LOG");
    if (path == nullptr) return;
    probe_armed = false;
    FILE *f = std::fopen(path, "w");
    if (f == nullptr) return;
    const int32_t frames = probe_frame_count < PROBE_MAX_FRAMES ? probe_frame_count : PROBE_MAX_FRAMES;
    for (int32_t i = 0; i < frames; ++i) {
        const ProbeFrame &p = probe_frames[i];
        std::fprintf(f, "frame %d buffer %d order %d row %d playing %d scene %d key %d allocs %d flag %d shift %d\n",
                     i, p.buffer_count, p.order, p.row, p.playing, p.scene, p.key, p.allocs, p.flag, p.shift);
    }
    if (probe_frame_count > PROBE_MAX_FRAMES) std::fprintf(f, "frames_not_recorded %d\n", probe_frame_count - frames);
    std::fprintf(f, "allocs_after_first_frame %lld\n", static_cast<long long>(probe_allocs.load()));
    const int32_t sites = probe_site_count < PROBE_MAX_SITES ? probe_site_count.load() : PROBE_MAX_SITES;
    for (int32_t i = 0; i < sites; ++i)
        std::fprintf(f, "alloc_site %d %p\n", probe_sites[i].frame,
                     static_cast<const void *>(static_cast<const char *>(probe_sites[i].pc) -
                                               reinterpret_cast<uintptr_t>(__executable_start)));
    std::fclose(f);
}

// Registered before the show starts; exit() from any path writes the log.
int probe_now_fd = -1;

void publish_now(const SongPosition &pos)
{
    if (probe_now_fd < 0) return;
    char line[40];
    const int n = std::snprintf(line, sizeof line, "%6d %6d %8d\n", pos.order, pos.row, probe_frame_count - 1);
    if (pwrite(probe_now_fd, line, size_t(n), 0) != n) probe_now_fd = -1;
}

[[maybe_unused]] const bool probe_registered = [] {
    if (const char *now = std::getenv("QUILL_PROBE_NOW")) probe_now_fd = open(now, O_WRONLY | O_CREAT | O_TRUNC, 0644);
    void *warm[4];
    backtrace(warm, 4); // loads the unwinder now, not inside an allocation
    return std::atexit(write_log) == 0;
}();

void record_scene(SceneId id)
{
    if (ProbeFrame *f = current_frame()) f->scene = id;
}

} // namespace

// --- Frames, scenes and keys -------------------------------------------------

extern "C" {
SceneId __real__Z14timeline_frameRK12SongPosition(const SongPosition &pos);
SceneId __wrap__Z14timeline_frameRK12SongPosition(const SongPosition &pos)
{
    ++probe_frame_count;
    if (ProbeFrame *f = current_frame())
        *f = {pos.buffer_count, pos.order, pos.row, pos.playing, -1, probe_pending_key, 0, 0, probe_pending_shift};
    probe_pending_key = probe_pending_shift = 0;
    const SceneId drawn = __real__Z14timeline_frameRK12SongPosition(pos);
    if (ProbeFrame *f = current_frame()) f->flag = knobs.scene_flag;
    publish_now(pos);
    probe_armed = true;
    return drawn;
}

int __real_SDL_PollEvent(SDL_Event *ev);
int __wrap_SDL_PollEvent(SDL_Event *ev)
{
    const int got = __real_SDL_PollEvent(ev);
    if (got && ev->type == SDL_KEYDOWN) {
        probe_pending_key = ev->key.keysym.sym;
        probe_pending_shift = (ev->key.keysym.mod & KMOD_SHIFT) ? 1 : 0;
    }
    return got;
}
}

#define PROBE_SCENE(mangled, params, args, id)                                                                         \
    extern "C" void __real_##mangled params;                                                                           \
    extern "C" void __wrap_##mangled params                                                                            \
    {                                                                                                                  \
        record_scene(id);                                                                                              \
        __real_##mangled args;                                                                                         \
    }

PROBE_SCENE(_Z10title_drawv, (), (), SCENE_TITLE)
PROBE_SCENE(_Z14projector_drawd, (double t), (t), SCENE_PROJECTOR)
PROBE_SCENE(_Z17meadow_title_drawd, (double t), (t), SCENE_MEADOW_TITLE)
PROBE_SCENE(_Z14dotscreen_drawdi, (double t, int32_t n), (t, n), SCENE_DOTSCREEN)
PROBE_SCENE(_Z15bump_scene_drawdi, (double t, int32_t n), (t, n), SCENE_BUMP)
PROBE_SCENE(_Z15blob_scene_drawd, (double t), (t), SCENE_BLOB)
PROBE_SCENE(_Z9eyes_drawd, (double t), (t), SCENE_EYES)
PROBE_SCENE(_Z19metaball_scene_drawdi, (double t, int32_t n), (t, n), SCENE_METABALL)
PROBE_SCENE(_Z11forest_drawd, (double t), (t), SCENE_FOREST)
PROBE_SCENE(_Z14signature_drawd, (double t), (t), SCENE_SIGNATURE)

// --- Allocations ---------------------------------------------------------------

extern "C" {
void *__real_malloc(size_t n);
void *__real_calloc(size_t n, size_t size);
void *__real_realloc(void *p, size_t n);
void *__wrap_malloc(size_t n)
{
    if (probe_armed.load(std::memory_order_relaxed)) note_allocation(__builtin_return_address(0));
    return __real_malloc(n);
}
void *__wrap_calloc(size_t n, size_t size)
{
    if (probe_armed.load(std::memory_order_relaxed)) note_allocation(__builtin_return_address(0));
    return __real_calloc(n, size);
}
void *__wrap_realloc(void *p, size_t n)
{
    if (probe_armed.load(std::memory_order_relaxed)) note_allocation(__builtin_return_address(0));
    return __real_realloc(p, n);
}
}

static void *probe_new(size_t n, const void *caller)
{
    check_new_caller(caller);
    if (void *p = __real_malloc(n ? n : 1)) return p;
    throw std::bad_alloc();
}

void *operator new(size_t n) { return probe_new(n, __builtin_return_address(0)); }
void *operator new[](size_t n) { return probe_new(n, __builtin_return_address(0)); }
void *operator new(size_t n, const std::nothrow_t &) noexcept
{
    check_new_caller(__builtin_return_address(0));
    return __real_malloc(n ? n : 1);
}
void *operator new[](size_t n, const std::nothrow_t &) noexcept
{
    check_new_caller(__builtin_return_address(0));
    return __real_malloc(n ? n : 1);
}
void operator delete(void *p) noexcept { std::free(p); }
void operator delete[](void *p) noexcept { std::free(p); }
void operator delete(void *p, size_t) noexcept { std::free(p); }
void operator delete[](void *p, size_t) noexcept { std::free(p); }
