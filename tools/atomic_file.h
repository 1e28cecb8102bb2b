// Output files that appear whole or not at all, for the helper programs and
// the build-time generators (songc, quillmora-soundtrack, quillmora-shot, the
// PNG writer).
//
// A file is written under a temporary name in the folder of its final path
// and renamed over that path only when every byte has been written, flushed
// and closed without an error, so a reader never finds a half-written file
// under the real name and an older file stays as it was until the new one is
// complete. A failure removes the temporary file, and so does a signal that
// ends the program while the file is open (interrupt, termination, hang-up,
// quit, broken pipe, file-size limit): its handler removes every open
// temporary file and then lets the signal take its course. Only SIGKILL and a
// crash can leave one behind, named "<path>.<pid>.tmp".
//
// Not for the show: tool code, main thread only. Errors are returned as -1
// with errno set, so the caller can say why.
#pragma once

#include <cstddef>

inline constexpr int ATOMIC_FILE_MAX_OPEN = 4; // temporary files open at once

struct AtomicFile {
    int fd;    // of the temporary file, -1 when none is open
    int slot;  // its entry in the table the signal handler clears
};

// Creates the temporary file next to path. Returns 0, or -1 (errno set; no
// file is left).
int atomic_file_open(AtomicFile *f, const char *path);
// Writes all n bytes. Returns 0, or -1 (errno set; the file stays open, and
// atomic_file_abort must follow).
int atomic_file_write(AtomicFile *f, const void *data, size_t n);
// Flushes and closes the temporary file and renames it to the path given to
// atomic_file_open. Returns 0, or -1 (errno set) after removing it.
int atomic_file_commit(AtomicFile *f);
// Closes and removes the temporary file; the final path is untouched. Safe to
// call after any atomic_file_open, also a failed one, and more than once.
void atomic_file_abort(AtomicFile *f);

// Writes n bytes to path through a temporary file (all of the above).
// Returns 0, or -1 with errno set.
int atomic_file_write_all(const char *path, const void *data, size_t n);
