# Reads a quillmora-probe log and checks that every frame was drawn by the
# scene whose section its song position falls in (ch = order heard, a = row
# heard), the forest's cut-aways included. Prints each frame that was not,
# then "sections: <frames> frames, <bad> outside their section"; exits 1 if
# any was.
function expected(ch, a) {
    if (ch <= 5) return 0            # title
    if (ch <= 31) return 1           # projector room
    if (ch <= 39) return 2           # meadow title
    if (ch <= 55) return 3           # dot screen
    if (ch <= 63) return 4           # bump tunnel
    if (ch <= 79) return 5           # blob tube
    if (ch <= 87) return 7           # metaballs
    if (ch <= 99) return 6           # eyes and helix
    if (ch <= 115) {                 # forest and its cut-aways
        if (ch == 107 && a >= 24) return 3
        if (ch == 108 && a <= 7) return 7
        if (ch == 109 && a >= 16) return 3
        if (ch == 111 && a >= 16) return 5
        if (ch == 112 && a >= 16) return 4
        if (ch == 113 && a >= 24) return 7
        if (ch == 114 && a >= 8 && a <= 15) return 5
        if (ch == 114 && a >= 16) return 4
        if (ch == 115 && a >= 4 && a <= 7) return 7
        if (ch == 115 && a >= 16 && a <= 23) return 7
        return 8
    }
    return 9                         # signature
}
$1 == "frame" {
    frames++
    ch = $6 - 1
    a = ($8 == 0) ? 31 : $8 - 1
    want = expected(ch, a)
    if ($12 != want) {
        bad++
        if (bad <= 20) printf "frame %d (order heard %d, row %d) drawn by scene %d, its section's is %d\n", $2, ch, a, $12, want
    }
}
END {
    printf "sections: %d frames, %d outside their section\n", frames, bad + 0
    exit (bad > 0 || frames == 0) ? 1 : 0
}
