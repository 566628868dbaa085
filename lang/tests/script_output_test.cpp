// Every lang/tests/scripts/NAME.lua runs through the test tool
// (build/tools/zscript), plain and with the count hook installed, and must
// print exactly NAME.out. A script whose expected output ends in an
// "error: " line must exit with status 1, any other with 0.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace fs = std::filesystem;

namespace {

std::string read_all(const fs::path &p) {
    std::ifstream in(p, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

// Runs the command; returns its exit status and standard output.
int run(const std::string &cmd, std::string *out) {
    FILE *p = popen(cmd.c_str(), "r");
    if (p == nullptr) return -1;
    char buf[4096];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) out->append(buf, n);
    int st = pclose(p);
    return WIFEXITED(st) ? WEXITSTATUS(st) : -1;
}

} // namespace

TEST(ScriptOutput, ScriptsPrintTheirExpectedOutput) {
    fs::path tool = fs::path(ZORVA_BINARY_DIR) / "tools" / "zscript";
    ASSERT_TRUE(fs::exists(tool)) << tool << " is not built";
    fs::path dir = fs::path(ZORVA_SOURCE_DIR) / "lang" / "tests" / "scripts";
    int scripts = 0;
    for (const auto &entry : fs::directory_iterator(dir)) {
        if (entry.path().extension() != ".lua") continue;
        fs::path expected_file = entry.path();
        expected_file.replace_extension(".out");
        ASSERT_TRUE(fs::exists(expected_file)) << expected_file;
        std::string expected = read_all(expected_file);
        bool fails = expected.find("\nerror: ") != std::string::npos || expected.rfind("error: ", 0) == 0;
        for (const char *opt : {"", "--hook "}) {
            std::string out;
            int status = run("timeout 20 '" + tool.string() + "' " + opt + "'" + entry.path().string() + "'", &out);
            EXPECT_EQ(out, expected) << opt << entry.path();
            EXPECT_EQ(status, fails ? 1 : 0) << opt << entry.path();
        }
        scripts++;
    }
    EXPECT_GT(scripts, 0);
}

TEST(ScriptOutput, CompileErrorsAndMissingFiles) {
    fs::path tool = fs::path(ZORVA_BINARY_DIR) / "tools" / "zscript";
    ASSERT_TRUE(fs::exists(tool));
    fs::path src = fs::temp_directory_path() / "zscript_bad_syntax.lua";
    {
        std::ofstream f(src);
        f << "out('fine')\nlocal = 3\n";
    }
    std::string out;
    EXPECT_EQ(run("timeout 20 '" + tool.string() + "' '" + src.string() + "'", &out), 1);
    EXPECT_EQ(out.rfind("error: ", 0), 0u) << out;
    EXPECT_EQ(out.find("fine"), std::string::npos); // nothing ran
    // Lines in messages are the file's own, also the line a closing
    // token refers to.
    {
        std::ofstream f(src);
        f << "out('fine')\n\nlocal function f()\n  return 1\n";
    }
    out.clear();
    EXPECT_EQ(run("timeout 20 '" + tool.string() + "' '" + src.string() + "'", &out), 1);
    EXPECT_NE(out.find(".lua:5: 'end' expected (to close 'function' at line 3) near <eof>\n"), std::string::npos)
        << out;
    fs::remove(src);
    out.clear();
    EXPECT_EQ(run("timeout 20 '" + tool.string() + "' /nonexistent/x.lua", &out), 1);
    EXPECT_EQ(out.rfind("error: ", 0), 0u);
}
