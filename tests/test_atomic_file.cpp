// Whole-or-nothing output files: a committed file appears complete under its
// name, a failed write or a signal mid-write leaves the folder as it was.
#include <gtest/gtest.h>

#include <dirent.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <fstream>
#include <set>
#include <string>
#include <vector>

#include "tools/atomic_file.h"

namespace {

std::string temp_dir()
{
    char tmpl[] = "/tmp/quill-atomic-XXXXXX";
    const char *d = mkdtemp(tmpl);
    return d ? d : "";
}

std::set<std::string> names_in(const std::string &dir)
{
    std::set<std::string> names;
    DIR *d = opendir(dir.c_str());
    if (!d) return names;
    while (const dirent *e = readdir(d))
        if (std::string(e->d_name) != "." && std::string(e->d_name) != "..") names.insert(e->d_name);
    closedir(d);
    return names;
}

std::string contents(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

} // namespace

TEST(AtomicFile, ReplacesTheFileOnlyWhenComplete)
{
    const std::string dir = temp_dir();
    ASSERT_FALSE(dir.empty());
    const std::string path = dir + "/out.bin";
    ASSERT_EQ(atomic_file_write_all(path.c_str(), "old", 3), 0);

    AtomicFile f;
    ASSERT_EQ(atomic_file_open(&f, path.c_str()), 0);
    ASSERT_EQ(atomic_file_write(&f, "new ", 4), 0);
    EXPECT_EQ(contents(path), "old") << "the old file stays until the new one is complete";
    EXPECT_EQ(names_in(dir).size(), 2u) << "the temporary file sits beside it";
    ASSERT_EQ(atomic_file_write(&f, "data", 4), 0);
    ASSERT_EQ(atomic_file_commit(&f), 0);
    EXPECT_EQ(contents(path), "new data");
    EXPECT_EQ(names_in(dir), std::set<std::string>{"out.bin"});

    // Given up: the old file stays, nothing else is left.
    ASSERT_EQ(atomic_file_open(&f, path.c_str()), 0);
    ASSERT_EQ(atomic_file_write(&f, "partial", 7), 0);
    atomic_file_abort(&f);
    atomic_file_abort(&f);
    EXPECT_EQ(contents(path), "new data");
    EXPECT_EQ(names_in(dir), std::set<std::string>{"out.bin"});

    // A folder that does not exist, a name too long for the system, a folder
    // in the way of the final name: -1 with the reason, nothing written.
    EXPECT_EQ(atomic_file_write_all((dir + "/missing/out.bin").c_str(), "x", 1), -1);
    EXPECT_EQ(errno, ENOENT);
    EXPECT_EQ(atomic_file_write_all((dir + "/" + std::string(300, 'n')).c_str(), "x", 1), -1);
    EXPECT_EQ(errno, ENAMETOOLONG);
    ASSERT_EQ(mkdir((dir + "/sub").c_str(), 0777), 0);
    EXPECT_EQ(atomic_file_write_all((dir + "/sub").c_str(), "x", 1), -1);
    EXPECT_EQ(names_in(dir), (std::set<std::string>{"out.bin", "sub"}));
}

// The failures are made real in a child process: a file-size limit makes the
// write fail (signal ignored) or ends the program with SIGXFSZ mid-write, and
// SIGTERM arrives while the file is open.
TEST(AtomicFile, AFailedOrInterruptedWriteLeavesNothing)
{
    const std::string dir = temp_dir();
    ASSERT_FALSE(dir.empty());
    const std::string path = dir + "/out.bin";
    ASSERT_EQ(atomic_file_write_all(path.c_str(), "old", 3), 0);
    const std::vector<char> big(100000, 'b');

    enum { FAIL_WRITE, SIGXFSZ_MID_WRITE, SIGTERM_WHILE_OPEN };
    for (int how : {FAIL_WRITE, SIGXFSZ_MID_WRITE, SIGTERM_WHILE_OPEN}) {
        SCOPED_TRACE(how);
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            const rlimit limit = {4096, 4096};
            setrlimit(RLIMIT_FSIZE, &limit);
            if (how == FAIL_WRITE) signal(SIGXFSZ, SIG_IGN);
            AtomicFile f;
            if (atomic_file_open(&f, path.c_str()) != 0) _exit(10);
            if (how == SIGTERM_WHILE_OPEN) raise(SIGTERM);
            if (atomic_file_write(&f, big.data(), big.size()) == 0) _exit(11);
            const int err = errno;
            atomic_file_abort(&f);
            _exit(err == EFBIG ? 0 : 12);
        }
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        if (how == FAIL_WRITE) {
            EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "status " << status;
        } else {
            ASSERT_TRUE(WIFSIGNALED(status)) << "status " << status;
            EXPECT_EQ(WTERMSIG(status), how == SIGTERM_WHILE_OPEN ? SIGTERM : SIGXFSZ);
        }
        EXPECT_EQ(names_in(dir), std::set<std::string>{"out.bin"});
        EXPECT_EQ(contents(path), "old");
    }
}
