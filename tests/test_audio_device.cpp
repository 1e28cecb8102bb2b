// The sound device's opening and closing, on SDL's silent driver (no sound
// card, no window): a device that does not give 44100 Hz signed 16-bit stereo
// in 1024-frame buffers is refused with a message, and shutdown closes the
// device, waiting for a callback that is running, before the position lock
// it uses is destroyed.
//
// Two SDL calls are interposed: the definitions below take the place of
// SDL's for the whole program, since the library reaches SDL through the
// dynamic linker, and pass on to SDL's own.
#include <gtest/gtest.h>

#include <SDL.h>
#include <dlfcn.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
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
    if (!fake_device) return real(desired, obtained);
    *obtained = *desired;
    if (fake_change.format) obtained->format = fake_change.format;
    if (fake_change.channels) obtained->channels = fake_change.channels;
    if (fake_change.samples) obtained->samples = fake_change.samples;
    return 0;
}

TEST(AudioDevice, RefusesADeviceThatIsNot44100HzSigned16BitStereoIn1024FrameBuffers)
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
    EXPECT_EXIT(audio_init(), testing::ExitedWithCode(1), "^Couldn't set the audio buffer to 1024 frames! \\(got 512\\)\n$");
    fake_device = false;
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
