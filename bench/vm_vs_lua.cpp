// The script VM against Debian's lua5.2 on the cart-language scripts in
// bench/scripts/: each script runs on both engines in the same run, each as
// a coroutine with a count hook every 1024 instructions (as the console
// runs carts), best of five; the table shows both times and the ratio
// lua5.2 / zorva (1 or more: zorva is at least as fast). The scripts' outputs must
// agree (numbers within 0.001, as lua5.2 prints doubles).
//
//   vm_vs_lua [SCRIPT-NAME...]
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "lsource_load.h"
#include "ltestlib.h"
#include "lua.h"

namespace fs = std::filesystem;

namespace {

const int kRepeats = 5;

// The lua5.2 side: the same names as the cart side, the same hook, the
// best of the repeats reported on standard error.
const char *const kLuaRunner = R"(
local path, reps = arg[1], tonumber(arg[2])
out = function(...)
  local t = {...}
  for i = 1, select('#', ...) do t[i] = tostring(t[i]) end
  io.write(table.concat(t, ' '), '\n')
end
cocreate, coresume, costatus, yield = coroutine.create, coroutine.resume, coroutine.status, coroutine.yield
fullgc = function() collectgarbage('collect') end
heapkb = function() return math.floor(collectgarbage('count')) end
local hooks = 0
local best
for r = 1, reps do
  local f = assert(loadfile(path))
  collectgarbage('collect')
  local co = coroutine.create(f)
  debug.sethook(co, function() hooks = hooks + 1 end, '', 1024)
  local real_out = out
  if r > 1 then out = function() end end
  local t0 = os.clock()
  repeat
    local ok, e = coroutine.resume(co)
    if not ok then error(e) end
  until coroutine.status(co) == 'dead'
  local t = os.clock() - t0
  out = real_out
  if not best or t < best then best = t end
end
io.stderr:write(string.format('TIME %.6f\n', best))
)";

long hook_calls = 0;
void count_hook(lua_State *, lua_Debug *) { hook_calls++; }

void *plain_alloc(void *, void *ptr, size_t, size_t nsize) {
    if (nsize == 0) {
        std::free(ptr);
        return nullptr;
    }
    return std::realloc(ptr, nsize);
}

int z_fullgc(lua_State *L) {
    lua_gc(L, LUA_GCCOLLECT, 0);
    return 0;
}

int z_heapkb(lua_State *L) {
    lua_pushunsigned(L, (lua_Unsigned)lua_gc(L, LUA_GCCOUNT, 0));
    return 1;
}

double cpu_seconds() { return (double)std::clock() / CLOCKS_PER_SEC; }

// Runs the script once on a fresh zorva state; returns the seconds it took
// (or a negative value on error) and its output.
double run_zorva(const std::string &source, const std::string &name, std::string *output, std::string *error) {
    lua_State *L = lua_newstate(plain_alloc, nullptr);
    zorva_testlib::open_cart_functions(L, output);
    lua_register(L, "fullgc", z_fullgc);
    lua_register(L, "heapkb", z_heapkb);
    lua_sethook(L, count_hook, LUA_MASKCOUNT, 1024);
    if (zorva_load_source(L, source.data(), source.size(), name.c_str()) != LUA_OK) {
        *error = lua_tostring(L, -1);
        lua_close(L);
        return -1;
    }
    lua_gc(L, LUA_GCCOLLECT, 0);
    double t0 = cpu_seconds();
    int status;
    while ((status = lua_resume(L, nullptr, 0)) == LUA_YIELD) lua_settop(L, 0);
    double t = cpu_seconds() - t0;
    if (status != LUA_OK) *error = lua_tostring(L, -1) ? lua_tostring(L, -1) : "?";
    lua_close(L);
    return status == LUA_OK ? t : -1;
}

// Runs the script in a lua5.2 process, twice (the second run finds the
// process warmed up, as every zorva run does); returns the better time.
double run_lua(const fs::path &runner, const fs::path &script, std::string *output) {
    fs::path err = fs::temp_directory_path() / "zorva_vm_vs_lua.err";
    std::string cmd = "timeout 60 lua5.2 '" + runner.string() + "' '" + script.string() + "' " +
                      "2 2>'" + err.string() + "'";
    FILE *p = popen(cmd.c_str(), "r");
    if (p == nullptr) return -1;
    char buf[4096];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) output->append(buf, n);
    int st = pclose(p);
    std::ifstream in(err);
    std::string line;
    double t = -1;
    while (std::getline(in, line)) {
        if (line.rfind("TIME ", 0) == 0) t = std::atof(line.c_str() + 5);
        else if (st != 0) std::fprintf(stderr, "lua5.2: %s\n", line.c_str());
    }
    fs::remove(err);
    return st == 0 ? t : -1;
}

// Outputs agree when they have the same words, numbers within 0.001; a
// number after a word ending in "-kb" is a measurement (a heap size) and
// is not compared.
bool outputs_agree(const std::string &a, const std::string &b) {
    std::istringstream sa(a), sb(b);
    std::string wa, wb;
    bool measured = false;
    while (true) {
        bool ga = (bool)(sa >> wa), gb = (bool)(sb >> wb);
        if (ga != gb) return false;
        if (!ga) return true;
        bool skip = measured;
        measured = wa.size() > 3 && wa.compare(wa.size() - 3, 3, "-kb") == 0;
        if (wa == wb || skip) continue;
        char *ea, *eb;
        double da = std::strtod(wa.c_str(), &ea), db = std::strtod(wb.c_str(), &eb);
        if (*ea || *eb || std::fabs(da - db) > 0.001) return false;
    }
}

std::string first_line(const std::string &s) { return s.substr(0, s.find('\n')); }

} // namespace

int main(int argc, char **argv) {
    fs::path dir = fs::path(__FILE__).parent_path() / "scripts";
    std::vector<fs::path> scripts;
    for (const auto &e : fs::directory_iterator(dir))
        if (e.path().extension() == ".lua") scripts.push_back(e.path());
    std::sort(scripts.begin(), scripts.end());
    if (argc > 1) {
        std::vector<fs::path> chosen;
        for (const auto &s : scripts)
            for (int i = 1; i < argc; i++)
                if (s.stem() == argv[i]) chosen.push_back(s);
        scripts = chosen;
    }
    bool have_lua = std::system("lua5.2 -e '' >/dev/null 2>&1") == 0;
    fs::path runner = fs::temp_directory_path() / "zorva_vm_vs_lua_runner.lua";
    {
        std::ofstream f(runner);
        f << kLuaRunner;
    }
    std::printf("VM against lua5.2 (best of %d, count hook every 1024 instructions on both)\n", kRepeats);
    std::printf("%-12s %10s %10s %8s  %s\n", "script", "zorva ms", "lua5.2 ms", "ratio", "output");
    int failures = 0;
    for (const fs::path &script : scripts) {
        std::ifstream in(script, std::ios::binary);
        std::stringstream ss;
        ss << in.rdbuf();
        std::string zout, lout, error;
        // The engines take turns, so that both meet the same load on the
        // machine; the best run of each counts.
        double tz = -1, tl = -1;
        std::string name = script.stem().string();
        for (int r = 0; r < kRepeats && error.empty(); r++) {
            std::string o;
            double t = run_zorva(ss.str(), "@" + script.filename().string(), &o, &error);
            if (t < 0) break;
            if (r == 0) zout = o;
            if (tz < 0 || t < tz) tz = t;
            if (!have_lua) continue;
            o.clear();
            t = run_lua(runner, script, &o);
            if (t < 0) continue;
            if (r == 0) lout = o;
            if (tl < 0 || t < tl) tl = t;
        }
        if (!error.empty()) {
            std::printf("%-12s error: %s\n", name.c_str(), error.c_str());
            failures++;
            continue;
        }
        if (tl < 0) {
            std::printf("%-12s %10.2f %10s %8s  %s\n", name.c_str(), tz * 1000, "-", "-", first_line(zout).c_str());
            continue;
        }
        bool agree = outputs_agree(zout, lout);
        if (!agree) failures++;
        std::printf("%-12s %10.2f %10.2f %8.2f  %s%s%s\n", name.c_str(), tz * 1000, tl * 1000, tz > 0 ? tl / tz : 0.0,
                    first_line(zout).c_str(), agree ? "" : "  DIFFERS from lua5.2: ", agree ? "" : first_line(lout).c_str());
    }
    fs::remove(runner);
    return failures ? 1 : 0;
}
