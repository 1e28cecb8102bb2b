// song-meter: renders the embedded song and prints its levels: loudness,
// true peak, DC, clipping, and a table of RMS and peak per order with each
// channel's share. With -o it also writes the rendering as raw 16-bit stereo.
//
//   song-meter [-o song.raw] [-tail seconds]
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "tools/song_meter.h"

static double db(double v) { return v > 0 ? 20.0 * std::log10(v / 32768.0) : -120.0; }

int main(int argc, char **argv)
{
    const char *raw_path = nullptr;
    double tail = 6.0;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (!std::strcmp(argv[i], "-o")) raw_path = argv[i + 1];
        else if (!std::strcmp(argv[i], "-tail")) tail = std::atof(argv[i + 1]);
    }
    static SongMeasure m;
    song_meter_render(quill_song_image, tail, &m);
    const int16_t *song_pcm = m.pcm.data() + 2 * m.preroll_frames;
    const int64_t frames = int64_t(m.pcm.size() / 2) - m.preroll_frames;
    std::printf("loudness %.2f LUFS  true peak %.2f dBTP  dc %.1f %.1f  full-scale samples %lld  mix overflows %lld\n",
                song_loudness_lufs(song_pcm, frames), song_true_peak_dbtp(song_pcm, frames), m.dc_left, m.dc_right,
                (long long)m.full_scale_samples, (long long)m.mix_overflows);
    std::printf("order   rms dB  peak dB  tp dB | channel rms dB 0..13\n");
    for (int o = 0; o <= m.order_count; ++o) {
        const OrderLevels &lv = o == m.order_count ? m.tail : m.orders[o];
        std::printf(o == m.order_count ? "tail " : "%4d ", o);
        std::printf("  %6.1f  %6.1f", db(lv.rms), db(lv.peak));
        // True peak of the order's frames (orders follow one another from the first row on).
        const int64_t first = o == m.order_count ? frames - lv.frames : m.song_frames - int64_t(m.order_count) * lv.frames + int64_t(o) * lv.frames;
        std::printf(" %6.1f |", first >= 0 && first + lv.frames <= frames ? song_true_peak_dbtp(song_pcm + 2 * first, lv.frames) : 0.0);
        for (int c = 0; c < 14; ++c) std::printf(" %4.0f", db(lv.channel_rms[c]));
        std::printf("\n");
    }
    std::printf("channel peaks dB:");
    for (int c = 0; c < 14; ++c) std::printf(" %.1f", db(m.channel_peak[c]));
    std::printf("\n");
    std::printf("channel dc:");
    for (int c = 0; c < 14; ++c) std::printf(" %.1f", m.channel_dc[c]);
    std::printf("\n");
    if (raw_path) {
        FILE *f = std::fopen(raw_path, "wb");
        if (!f || std::fwrite(m.pcm.data(), 2, m.pcm.size(), f) != m.pcm.size()) return 1;
        std::fclose(f);
    }
    return 0;
}
