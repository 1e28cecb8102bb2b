# Live frame rates from the show's frame log (QUILL_FRAME_LOG: one line per
# presented frame, "seconds order row scene"): for each scene its frames, the
# median and worst time between frames and the frames per second that the
# median gives, leaving out the first second after each change of scene (the
# scene's start-up frames and the cut itself); then the longest pause between
# any two frames and where it was.
#
#   awk [-v until=SECONDS] -f frame_log.awk FRAME_LOG
# With until, only the frames of the song's first SECONDS count.
# The median from a histogram of gaps in tenths of a millisecond.
function median(scene, n,    k, seen_so_far) {
    for (k = 0; k <= top[scene]; ++k) {
        seen_so_far += hist[scene, k]
        if (seen_so_far * 2 >= n) return k / 10000
    }
    return 0
}
/^#/ { next }
until != "" && $1 + 0 >= until + 0 { next }
{
    t = $1; scene = $4
    if (seen) {
        gap = t - last
        if (gap > longest) { longest = gap; longest_at = last; longest_scene = scene }
        if (scene == last_scene && t - section_start >= 1) {
            if (!(scene in count)) order[++scenes] = scene
            count[scene]++
            bin = int(gap * 10000 + 0.5)
            hist[scene, bin]++
            if (bin > top[scene]) top[scene] = bin
            if (gap > worst[scene]) worst[scene] = gap
        }
    }
    if (!seen || scene != last_scene) section_start = t
    seen = 1; last = t; last_scene = scene; frames++
}
END {
    printf "%-14s %7s %10s %10s %6s\n", "scene", "frames", "median ms", "worst ms", "fps"
    for (i = 1; i <= scenes; ++i) {
        s = order[i]
        m = median(s, count[s])
        printf "%-14s %7d %10.1f %10.1f %6.1f\n", s, count[s], 1000 * m, 1000 * worst[s], (m > 0 ? 1 / m : 0)
    }
    printf "%d frames in %.1f s; longest pause %.3f s, after %.3f s (%s)\n", frames, last, longest, longest_at, longest_scene
}
