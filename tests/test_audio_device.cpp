// The sound device on SDL's silent driver (no sound card, no window): a
// device that does not give 44100 Hz signed 16-bit stereo is refused with a
// message; a device that cannot be opened at all stops the program, or with
// QUILL_SILENT_FALLBACK=1 is replaced by the silent driver; a device that
// stops taking sound is reported once and the clock runs on; shutdown closes
// the device, waiting for a callback that is running, before the position
// lock it uses is destroyed; in normal play the threads that draw give way
// to the ones SDL starts for the sound.
//
// Two SDL calls are interposed: the definitions below take the place of
// SDL's for the whole program, since the library reaches SDL through the
// dynamic linker, and pass on to SDL's own.
#include <gtest/gtest.h>

#include <SDL.h>
#include <dirent.h>
#include <dlfcn.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <set>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

#include "audio/audio_device.h"
#include "shell/shell.h"

namespace {

// A callback inside the lock; how often the lock was destroyed meanwhile.
std::atomic<bool> callback_inside{false};
std::atomic<int> destroyed_under_callback{0};
std::atomic<int> destroyed{0};

// When set, SDL_OpenAudio "obtains" the wanted format with these changes.
bool fake_device = false;
SDL_AudioSpec fake_change = {};
// When set, every driver but the silent one has no device.
bool fake_no_device = false;
// When set, unpausing the device does nothing: it never calls back.
bool device_never_starts = false;

// Runs inside the lock of the first real buffer's publish step: stays there
// long enough for shutdown to begin.
uint32_t slow_ticks()
{
    callback_inside = true;
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    callback_inside = false;
    return 1;
}

} // namespace

extern "C" void SDL_DestroySemaphore(SDL_sem *sem)
{
    static auto real = reinterpret_cast<void (*)(SDL_sem *)>(dlsym(RTLD_NEXT, "SDL_DestroySemaphore"));
    ++destroyed;
    if (callback_inside) ++destroyed_under_callback;
    real(sem);
}

extern "C" int SDL_OpenAudio(SDL_AudioSpec *desired, SDL_AudioSpec *obtained)
{
    static auto real = reinterpret_cast<int (*)(SDL_AudioSpec *, SDL_AudioSpec *)>(dlsym(RTLD_NEXT, "SDL_OpenAudio"));
    const char *driver = getenv("SDL_AUDIODRIVER");
    if (fake_no_device && !(driver && strcmp(driver, "dummy") == 0)) {
        SDL_SetError("No available audio device");
        return -1;
    }
    if (!fake_device) return real(desired, obtained);
    *obtained = *desired;
    if (fake_change.format) obtained->format = fake_change.format;
    if (fake_change.channels) obtained->channels = fake_change.channels;
    if (fake_change.samples) obtained->samples = fake_change.samples;
    return 0;
}

extern "C" void SDL_PauseAudio(int pause_on)
{
    static auto real = reinterpret_cast<void (*)(int)>(dlsym(RTLD_NEXT, "SDL_PauseAudio"));
    if (!(pause_on == 0 && device_never_starts)) real(pause_on);
}

std::set<int> thread_ids()
{
    std::set<int> ids;
    DIR *dir = opendir("/proc/self/task");
    while (const dirent *e = dir ? readdir(dir) : nullptr)
        if (atoi(e->d_name) > 0) ids.insert(atoi(e->d_name));
    if (dir) closedir(dir);
    return ids;
}

int niceness_of(int tid)
{
    errno = 0;
    const int n = getpriority(PRIO_PROCESS, id_t(tid));
    return errno == 0 ? n : -100;
}

// What is wrong with the niceness of the threads after audio_init, as text
// (empty when all is well). A thread started before the device stands for
// the GL driver's.
std::string give_way_problems()
{
    std::string problems;
    const auto expect = [&](const char *what, int got, int want) {
        if (got != want)
            problems += std::string(what) + ": niceness " + std::to_string(got) + ", not " + std::to_string(want) + "\n";
    };
    setenv("SDL_AUDIODRIVER", "dummy", 1);
    audio_tick_source = SDL_GetTicks;
    const int base = niceness_of(int(gettid()));
    if (base > 19 - DRAW_NICENESS) return "no room to raise the niceness\n";
    std::atomic<bool> stop{false};
    std::atomic<int> drawer_tid{0};
    std::thread drawer([&] {
        drawer_tid = int(gettid());
        while (!stop) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    });
    while (drawer_tid == 0) std::this_thread::sleep_for(std::chrono::milliseconds(1));

    capture_mode = CAPTURE_SOUND;
    audio_init();
    expect("the main thread after a capture's audio_init", niceness_of(int(gettid())), base);
    audio_shutdown();

    capture_mode = CAPTURE_NONE;
    const std::set<int> before = thread_ids();
    audio_init();
    expect("the main thread", niceness_of(int(gettid())), base + DRAW_NICENESS);
    expect("a thread started before the device", niceness_of(drawer_tid), base + DRAW_NICENESS);
    int sound_threads = 0;
    for (int tid : thread_ids()) {
        if (before.count(tid)) continue;
        ++sound_threads;
        expect("a thread SDL started for the sound", niceness_of(tid), base);
    }
    if (sound_threads == 0) problems += "SDL started no audio thread\n";
    audio_shutdown();
    stop = true;
    drawer.join();
    return problems;
}

// In a process of its own: a thread made nicer stays so, and the other tests
// keep time on the main thread.
TEST(AudioDevice, InNormalPlayTheThreadsThatDrawGiveWayToTheSound)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            const std::string problems = give_way_problems();
            fputs(problems.c_str(), stderr);
            _exit(problems.empty() ? 0 : 1);
        },
        testing::ExitedWithCode(0), "");
}

TEST(AudioDevice, RefusesADeviceThatIsNot44100HzSigned16BitStereoButTakesAnyBufferSize)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    setenv("SDL_AUDIODRIVER", "dummy", 1);
    fake_device = true;
    fake_change = {};
    fake_change.format = AUDIO_S16MSB;
    EXPECT_EXIT(audio_init(), testing::ExitedWithCode(1), "^Couldn't get signed 16-bit stereo! \\(got format 0x9010, 2 channels\\)\n$");
    fake_change = {};
    fake_change.channels = 1;
    EXPECT_EXIT(audio_init(), testing::ExitedWithCode(1), "^Couldn't get signed 16-bit stereo! \\(got format 0x8010, 1 channels\\)\n$");
    fake_change = {};
    fake_change.samples = 512;
    EXPECT_EXIT(
        {
            audio_init();
            fprintf(stderr, "opened");
            exit(0);
        },
        testing::ExitedWithCode(0), "^opened$");
    fake_device = false;
}

TEST(AudioDevice, NoDeviceStopsTheProgramUnlessASilentShowIsAskedFor)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    fake_no_device = true;
    setenv("SDL_AUDIODRIVER", "pulse", 1);
    unsetenv("QUILL_SILENT_FALLBACK");
    EXPECT_EXIT(audio_init(), testing::ExitedWithCode(1), "^OpenAudio failed, No available audio device$");

    setenv("QUILL_SILENT_FALLBACK", "1", 1);
    capture_mode = CAPTURE_NONE;
    audio_tick_source = SDL_GetTicks;
    testing::internal::CaptureStderr();
    audio_init();
    const std::string said = testing::internal::GetCapturedStderr();
    fake_no_device = false;
    unsetenv("QUILL_SILENT_FALLBACK");
    EXPECT_EQ(said, "quillmora: no sound device was found (No available audio device); playing without sound\n");
    EXPECT_STREQ(getenv("SDL_AUDIODRIVER"), "dummy");
    // The silent driver calls back at the pace of real time: the song starts.
    audio_start(0);
    SongPosition pos = {};
    const auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (pos.start_ticks == 0 && std::chrono::steady_clock::now() < give_up) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
        read_position(&pos);
    }
    EXPECT_NE(pos.start_ticks, 0u) << "the song never started on the silent driver";
    audio_shutdown();
}

namespace {

// Blocks the song should have published by now, going by the wall clock.
double blocks_due(const SongPosition &pos) { return (SDL_GetTicks() - pos.start_ticks) * 0.001 / AUDIO_BUFFER_SEC + 1; }

// How far behind the wall clock the song may be: a quarter of a second. A
// clock that stood still for the second between checks would be 43 blocks
// behind.
constexpr double BLOCKS_LATE = 11;

// Once the device takes sound again its callbacks set the pace, and SDL's
// silent driver keeps time by sleeping a buffer's length after each one, so
// on a busy machine (the sanitizer build beside a show being drawn) it falls
// behind the wall clock by itself. Going on from the block where the device
// stopped instead would leave the song the whole pause (about 120 blocks)
// behind.
constexpr double BLOCKS_LATE_ON_DEVICE = 40;

// The closest the song came to the wall clock in the second half of the last
// play_for, in blocks (huge if it never started). The closest, not the last:
// the main thread here is a nice one (audio_init makes it so), and on a
// machine busy with other tests it may wait a few hundred milliseconds
// between keeping time and reading the clock.
double closest_to_clock;

// Plays as the frame loop would (audio_keep_time, then the position) for ms
// milliseconds; returns what was said on standard error meanwhile.
std::string play_for(uint32_t ms, SongPosition *pos)
{
    testing::internal::CaptureStderr();
    const uint32_t until = SDL_GetTicks() + ms, second_half = until - ms / 2;
    closest_to_clock = 1e9;
    while (int32_t(SDL_GetTicks() - until) < 0) {
        audio_keep_time();
        read_position(pos);
        if (pos->start_ticks != 0 && int32_t(SDL_GetTicks() - second_half) >= 0)
            closest_to_clock = std::min(closest_to_clock, std::fabs(pos->buffer_count - blocks_due(*pos)));
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return testing::internal::GetCapturedStderr();
}

int count_of(const std::string &text, const char *what)
{
    int n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
    return n;
}

const char LOST[] = "quillmora: the sound stopped";

} // namespace

// A paused device takes no sound, like one whose server went away.
TEST(AudioDevice, ADeviceThatStopsTakingSoundIsReportedOnceAndTheSongGoesOnByTheWallClock)
{
    setenv("SDL_AUDIODRIVER", "dummy", 1);
    capture_mode = CAPTURE_NONE;
    audio_tick_source = SDL_GetTicks;
    audio_init();
    audio_start(0);
    SongPosition pos = {};
    EXPECT_EQ(count_of(play_for(2500, &pos), LOST), 0) << "reported while the device plays";
    ASSERT_NE(pos.start_ticks, 0u);
    ASSERT_GT(pos.buffer_count, 20);

    SDL_PauseAudio(1);
    const int32_t count_at_pause = pos.buffer_count;
    EXPECT_EQ(count_of(play_for(300, &pos), LOST), 0) << "reported before half a second had passed";
    EXPECT_LE(pos.buffer_count, count_at_pause + 2) << "a paused device went on rendering";
    EXPECT_EQ(count_of(play_for(1500, &pos), LOST), 1);
    EXPECT_LE(closest_to_clock, BLOCKS_LATE) << "the song did not catch up with the wall clock";
    play_for(1000, &pos);
    EXPECT_LE(closest_to_clock, BLOCKS_LATE) << "the song did not keep pace with the wall clock";

    SDL_PauseAudio(0); // the device takes sound again: it goes on from there
    const std::string said = play_for(1000, &pos);
    EXPECT_EQ(count_of(said, "quillmora: the sound is back\n"), 1);
    EXPECT_EQ(count_of(said, LOST), 0);
    EXPECT_LE(closest_to_clock, BLOCKS_LATE_ON_DEVICE) << "the device did not go on from the wall clock's block";
    audio_shutdown();
}

TEST(AudioDevice, ADeviceThatNeverTakesSoundStillStartsTheSong)
{
    setenv("SDL_AUDIODRIVER", "dummy", 1);
    capture_mode = CAPTURE_NONE;
    audio_tick_source = SDL_GetTicks;
    audio_init();
    device_never_starts = true;
    audio_start(0);
    device_never_starts = false;
    SongPosition pos = {};
    // A device is given a few seconds to start; then the pre-roll and the
    // song are rendered in its place.
    const std::string said = play_for(AUDIO_START_GRACE_MS + 1500, &pos);
    EXPECT_EQ(count_of(said, LOST), 1);
    EXPECT_NE(pos.start_ticks, 0u) << "the pre-roll was never rendered in the device's place";
    EXPECT_LE(closest_to_clock, BLOCKS_LATE);
    audio_shutdown();
}

TEST(AudioDevice, ShutdownWaitsForARunningCallbackBeforeDestroyingTheLock)
{
    setenv("SDL_AUDIODRIVER", "dummy", 1);
    capture_mode = CAPTURE_NONE;
    audio_tick_source = slow_ticks;
    audio_init();
    audio_start(0);
    // The silent driver calls back at the pace of real time: the pre-roll,
    // then the first real buffer, whose publish step waits in slow_ticks.
    const auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (!callback_inside && std::chrono::steady_clock::now() < give_up)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    ASSERT_TRUE(callback_inside) << "no callback reached the publish step";
    const int before = destroyed;
    audio_shutdown();
    EXPECT_GT(destroyed, before) << "shutdown destroyed the lock";
    EXPECT_EQ(destroyed_under_callback, 0) << "the lock was destroyed while a callback was using it";
    EXPECT_FALSE(callback_inside);
}
