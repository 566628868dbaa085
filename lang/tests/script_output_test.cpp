// Every lang/tests/scripts/NAME.lua runs through the test tool
// (build/tools/zscript), plain and with the count hook installed, and must
// print exactly NAME.out. A script whose expected output ends in an
// "error: " line must exit with status 1, any other with 0.
#include <gtest/gtest.h>

#include "run_program.h"

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

// Runs the tool for at most 20 seconds; returns its exit status and
// standard output.
int run(const std::vector<std::string> &args, std::string *out) {
    program_run how;
    how.timeout_seconds = 20;
    program_result r = run_program(args, how);
    *out += r.out;
    return r.status;
}

} // namespace

TEST(ScriptOutput, ScriptsPrintTheirExpectedOutput) {
    fs::path tool = fs::path(ZORVA_BINARY_DIR) / "tools" / ("zscript" ZORVA_EXE_SUFFIX);
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
        for (const char *opt : {"", "--hook"}) {
            std::string out;
            std::vector<std::string> args = {tool.string(), entry.path().string()};
            if (opt[0]) args.insert(args.begin() + 1, opt);
            int status = run(args, &out);
            EXPECT_EQ(out, expected) << opt << entry.path();
            EXPECT_EQ(status, fails ? 1 : 0) << opt << entry.path();
        }
        scripts++;
    }
    EXPECT_GT(scripts, 0);
}

TEST(ScriptOutput, CompileErrorsAndMissingFiles) {
    fs::path tool = fs::path(ZORVA_BINARY_DIR) / "tools" / ("zscript" ZORVA_EXE_SUFFIX);
    ASSERT_TRUE(fs::exists(tool));
    fs::path src = fs::temp_directory_path() / "zscript_bad_syntax.lua";
    {
        std::ofstream f(src);
        f << "out('fine')\nlocal = 3\n";
    }
    std::string out;
    EXPECT_EQ(run({tool.string(), src.string()}, &out), 1);
    EXPECT_EQ(out.rfind("error: ", 0), 0u) << out;
    EXPECT_EQ(out.find("fine"), std::string::npos); // nothing ran
    // Lines in messages are the file's own, also the line a closing
    // token refers to.
    {
        std::ofstream f(src);
        f << "out('fine')\n\nlocal function f()\n  return 1\n";
    }
    out.clear();
    EXPECT_EQ(run({tool.string(), src.string()}, &out), 1);
    EXPECT_NE(out.find(".lua:5: 'end' expected (to close 'function' at line 3) near <eof>\n"), std::string::npos)
        << out;
    fs::remove(src);
    out.clear();
    EXPECT_EQ(run({tool.string(), "/nonexistent/x.lua"}, &out), 1);
    EXPECT_EQ(out.rfind("error: ", 0), 0u);
}
