// The frame-shot tool says when it cannot do what was asked: times that would
// share a file name, a write that fails and a path too long for the system
// each end with a message and a non-zero status, and leave no file (run under
// Xvfb: the last two open the window).
#include <gtest/gtest.h>

#include <dirent.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <climits>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

namespace {

std::string temp_dir()
{
    char tmpl[] = "/tmp/quill-shotfail-XXXXXX";
    const char *d = mkdtemp(tmpl);
    return d ? d : "";
}

int run(const std::string &cmd)
{
    const int status = std::system(cmd.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::vector<std::string> files_in(const std::string &dir)
{
    std::vector<std::string> names;
    if (DIR *d = opendir(dir.c_str())) {
        while (const dirent *e = readdir(d))
            if (e->d_type != DT_DIR) names.push_back(e->d_name);
        closedir(d);
    }
    return names;
}

std::string text_of(const std::string &path)
{
    std::ifstream in(path);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

const std::string TOOL = QUILL_SHOT_TOOL;

} // namespace

TEST(ShotToolFailures, RefusesTimesThatShareAFileName)
{
    const std::string dir = temp_dir();
    ASSERT_FALSE(dir.empty());
    EXPECT_EQ(run(TOOL + " -o " + dir + " 1 2.5 2.5004 2>" + dir + "/err.txt"), 2);
    EXPECT_EQ(text_of(dir + "/err.txt"),
              "quillmora-shot: 2.5 and 2.5004 would both be written to 2.500.png; give each time once\n");
    EXPECT_EQ(run(TOOL + " -o " + dir + " 0.5 0.5 2>/dev/null"), 2) << "the same time twice";
    EXPECT_EQ(files_in(dir), std::vector<std::string>{"err.txt"});
}

TEST(ShotToolFailures, AFailedWriteLeavesNoPicture)
{
    const std::string dir = temp_dir();
    ASSERT_FALSE(dir.empty());
    // 16 KiB is far below an 800 x 600 title picture.
    EXPECT_EQ(run("ulimit -f 16; trap '' XFSZ; " + TOOL + " -o " + dir + "/shots 7.5 2>" + dir + "/err.txt"), 1);
    EXPECT_NE(text_of(dir + "/err.txt").find("cannot write " + dir + "/shots/7.500.png: File too large"), std::string::npos)
        << text_of(dir + "/err.txt");
    EXPECT_TRUE(files_in(dir + "/shots").empty());
}

TEST(ShotToolFailures, APathTooLongForTheSystemFails)
{
    // A folder whose path the system still takes, but not with the file name
    // added: "<folder>/0.000.png" is longer than PATH_MAX.
    std::string dir = temp_dir();
    ASSERT_FALSE(dir.empty());
    const std::string top = dir;
    while (dir.size() + 201 < PATH_MAX - 6) dir.append(1, '/').append(200, 'd');
    const size_t last = PATH_MAX - 6 - dir.size() - 1;
    dir.append(1, '/').append(last, 'e');
    ASSERT_EQ(dir.size(), size_t(PATH_MAX - 6));
    ASSERT_EQ(run("mkdir -p " + dir), 0);
    EXPECT_EQ(run(TOOL + " -o " + dir + " 0 2>" + top + "/err.txt"), 1);
    EXPECT_NE(text_of(top + "/err.txt").find("File name too long"), std::string::npos) << text_of(top + "/err.txt");
    EXPECT_TRUE(files_in(dir).empty()) << "nothing saved under a shortened name";
}
