// Running a cart.
#include "zorva_run.h"

#include "lauxlib.h"
#include "lgc.h"
#include "lparser.h"
#include "lstate.h"
#include "lua.h"
#include "lualib.h"
#include "tamu.h"
#include "zorva_bindings.h"
#include "zorva_buttons.h"
#include "zorva_cart.h"
#include "zorva_cpu.h"
#include "zorva_hooks.h"
#include "zorva_memory.h"
#include "zorva_preprocess.h"
#include "zorva_print.h"
#include "zorva_sound_hooks.h"
#include "zorva_state.h"

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <ctime>

const char *const ZORVA_TAB_SEPARATOR = "\n-->8\n";

char lua_code_buffer[LUA_CODE_BUFFER_SIZE];

int error_line = 0;
int error_tab = 0;

namespace {

char preprocess_buffer[ZORVA_PREPROCESS_BUFFER_SIZE];

// Every block handed to the script engine follows a header whose first
// word holds its charge; the header keeps the block aligned as the
// engine's objects need.
constexpr size_t BLOCK_HEADER = 8;

// The header script: two lines, the second one long line of statements
// separated by tabs and ending with one.
const char *const header_line_1 = "-- zorva header\n";
const char *const header_line_2 =
    "_pausemenu = {}\t"
    "function menuitem(index, label, callback) if index == nil or index < 1 or index > 5 then return end"
    " _pausemenu[index] = {label = label, callback = callback} _menuitem(index, label) end\t"
    "function all(c) if c == nil or #c == 0 then return function() end end local i, last = 1, nil"
    " return function() if last ~= nil and c[i] == last then i = i + 1 end"
    " while c[i] == nil and i <= #c do i = i + 1 end last = c[i] return last end end\t"
    "function foreach(c, f) for v in all(c) do f(v) end end\t"
    "function count(c) if c == nil then return 0 end local n = 0"
    " for i = 1, #c do if c[i] ~= nil then n = n + 1 end end return n end\t"
    "function add(c, v) if c == nil then return end c[#c + 1] = v return v end\t"
    "function del(c, v) if c == nil or #c == 0 then return end for j = 1, #c do if c[j] == v then"
    " for k = j, #c - 1 do c[k] = c[k + 1] end c[#c] = nil return end end end\t";

// The generated main loop, after the cart source.
const char *const trailer =
    "\n_end_of_program = 1\n"
    "if _init then _init() end\n"
    "_set_mainloop_exists(0)\n"
    "if _mainloop then _set_mainloop_exists(1) end\n"
    "if _update60 then _set_fps(60) end\n"
    "if not _mainloop and (_draw or _update or _update60) then\n"
    " _set_mainloop_exists(2)\n"
    " function _mainloop()\n"
    "  while true do\n"
    "   local num = min(1, _get_frames_skipped())\n"
    "   for i = 0, num do\n"
    "    _update_buttons()\n"
    "    if _update60 then _update60() elseif _update then _update() end\n"
    "   end\n"
    "   holdframe()\n"
    "   if _draw then _draw() end\n"
    "   flip()\n"
    "   for i = 1, 5 do\n"
    "    if _get_menu_item_selected(i) then\n"
    "     local item = _pausemenu[i]\n"
    "     if item and item.callback then item.callback() end\n"
    "    end\n"
    "   end\n"
    "  end\n"
    " end\n"
    "end\n"
    "if _mainloop then _mainloop() end\n";

// The console commands that may be typed without brackets.
const char *const short_command[] = {
    "load", "save", "run", "reboot", "shutdown", "exit", "info", "help", "ls", "dir", "cd",
    "mkdir", "folder", "install_demos", "install_games", "keyconfig", "splore", "export", "import", "login", "logout",
};

// Set when the last resume ended in a yield for the memory limit, which
// the frame goes on from in the same update.
int yielded_for_memory = 0;

// The frame's budget ran out during this resume (the frame CPU starts
// again once the shell has ended the frame).
int budget_spent = 0;
// Hook calls since the last look for a quit request, and since the frame
// had to end while the running thread could not yield.
constexpr int QUIT_LOOK_CALLS = 16;
int calls_since_quit_look = 0;
int calls_past_frame = 0;
// Budgets' worth of units that a host callback of the cart (a __pairs
// metamethod, say) may run past the frame before it is stopped.
constexpr int CALLBACK_GRACE_BUDGETS = 8;
// The program was stopped because the player quits: not its failure.
int stopped_for_quit = 0;
// run_slice is resuming the cart.
int in_slice = 0;

// The running cart as it was started: its name, its code and the lines
// of its code tabs, for error reports after it has loaded another cart.
char running_name[ZORVA_PATH_SIZE];
char running_code[ZORVA_CODE_BUFFER_SIZE];
int running_tab_span[ZORVA_CODE_TABS];

// Finalizer errors logged for the current script state.
constexpr int FINALIZER_ERRORS_LOGGED = 8;
int finalizer_errors = 0;

// Finalizers run between frames and when a script state closes, outside
// any frame's budget, and a cart can leave tens of thousands of them: the
// finalizers of one pass (a collection, a close) get FINALIZER_PASS_MS
// together, none run once the player quits, and the objects of the rest
// go without theirs.
constexpr int FINALIZER_PASS_MS = 50;
int finalizer_pass_start = 0;

void begin_finalizer_pass() { finalizer_pass_start = tamu_get_time(); }

int finalizer_guard(void *, lua_State *) {
    if (tamu_quit) return 0;
    int spent = tamu_get_time() - finalizer_pass_start;
    return spent >= 0 && spent < FINALIZER_PASS_MS ? 1 : 0;
}

// Saved by pause_program for continue_program.
int paused_camera_x = 0, paused_camera_y = 0;

// A thread of the cart state that reads the tracebacks of the main one
// (which is dead after an error, so it runs nothing itself).
lua_State *traceback_thread = nullptr;

int32_t add_held(int32_t a, int32_t b) {
    int64_t sum = int64_t(a) + b;
    if (sum > INT32_MAX) return INT32_MAX;
    if (sum < INT32_MIN) return INT32_MIN;
    return int32_t(sum);
}

zorva_cart *working_cart() { return zorva_shell.working_cart ? zorva_shell.working_cart() : nullptr; }

void set_wait_for_button() {
    if (zorva_shell.set_wait_for_button) zorva_shell.set_wait_for_button(1);
}

void copy_text(char *out, size_t size, const char *text) { std::snprintf(out, size, "%s", text ? text : ""); }

bool begins_with(const char *text, const char *prefix) {
    return std::strncmp(text, prefix, std::strlen(prefix)) == 0;
}

// Clears the mixer registers through console memory, so that their bytes
// read back as 0 too.
void clear_mixer_registers() {
    for (int i = 0; i < 4; i++) zorva_poke(&pstate, pstate.live_cart, ZORVA_ADDR_MIXER + i, 0);
}

// ---------------------------------------------------------------------------
// The engine's hooks

void hook_spend_cpu(int units) { spend_cpu(units); }

// A cart may make finalizers fail by the thousand: the first few are
// logged.
void report_gc_error(void *, lua_State *, const char *message) {
    finalizer_errors++;
    if (finalizer_errors <= FINALIZER_ERRORS_LOGGED)
        tamu_debugf("cart finalizer: %.400s\n", message ? message : "");
    if (finalizer_errors == FINALIZER_ERRORS_LOGGED)
        tamu_debug("cart finalizer: further errors of this run are not logged\n");
}

// The charge of a new block of an object kind (the engine's type number).
int32_t charge_for_kind(size_t kind, size_t size) {
    switch (kind) {
    case 0: return pstate.compiling ? 0 : int32_t(size / 2);
    case 4: return size > 8 ? int32_t(size - 8) : 0;
    case 1:
    case 3:
    case 5:
    case 6: return int32_t(size / 2);
    default: return kind >= 7 && kind <= 19 ? 32 : 0;
    }
}

// ---------------------------------------------------------------------------
// Program text

struct text_builder {
    char *out;
    int size;
    int length;
    bool overflow;
};

void add_text(text_builder &b, const char *text, size_t n) {
    if (b.overflow || n >= size_t(b.size - b.length)) {
        b.overflow = true;
        return;
    }
    std::memcpy(b.out + b.length, text, n);
    b.length += int(n);
    b.out[b.length] = 0;
}

void add_text(text_builder &b, const char *text) { add_text(b, text, std::strlen(text)); }

// text as the body of a double-quoted script string.
void add_quoted(text_builder &b, const char *text) {
    add_text(b, "\"");
    for (const char *p = text; *p; p++) {
        char c = *p;
        if (c == '"' || c == '\\') {
            char escaped[2] = {'\\', c};
            add_text(b, escaped, 2);
        } else if (c == '\n') {
            add_text(b, "\\n");
        } else if (c == '\r') {
            add_text(b, "\\r");
        } else {
            add_text(b, &c, 1);
        }
    }
    add_text(b, "\"");
}

bool global_exists(const char *name) {
    lua_getglobal(L0, name);
    bool exists = !lua_isnil(L0, -1);
    lua_pop(L0, 1);
    return exists;
}

// The program text of a console command: a short command typed without
// brackets becomes a call; anything else is the preprocessed text.
void add_command(text_builder &b, const char *source, const char *preprocessed) {
    for (const char *name : short_command) {
        size_t n = std::strlen(name);
        if (std::strcmp(source, name) == 0) {
            add_text(b, name);
            add_text(b, "()");
            return;
        }
        if (std::strncmp(source, name, n) == 0 && (source[n] & 0xDF) == 0 && std::strlen(source) >= n + 2 &&
            source[n + 1] != '"') {
            add_text(b, name);
            add_text(b, "(");
            add_quoted(b, source + n + 1);
            add_text(b, ")");
            return;
        }
    }
    if (std::strcmp(source, "s") == 0) {
        add_text(b, "splore()");
        return;
    }
    if (std::strcmp(source, "resume") == 0) {
        block_buttons();
        if (global_exists("_mainloop"))
            add_text(b, "_mainloop()");
        else
            zorva_print("no _mainloop()");
        return;
    }
    add_text(b, preprocessed);
}

int count_newlines(const char *text) {
    int n = 0;
    for (const char *p = text; *p; p++) n += *p == '\n';
    return n;
}

// The line within its tab of a 0-based line of a source whose tabs span
// the given numbers of lines; past the last tab -1 and tab 0.
int tab_line_from_spans(const int *spans, int line, int *tab_out) {
    for (int t = 0; t < ZORVA_CODE_TABS; t++) {
        if (spans[t] > line) {
            if (tab_out) *tab_out = t;
            return line;
        }
        line -= spans[t];
    }
    if (tab_out) *tab_out = 0;
    return -1;
}

void report_syntax_error(const char *source, int is_command) {
    const char *message = lua_tostring(L0, -1);
    if (!message) message = "";
    open_cart_error_report();
    pstate.draw_state.pen_colour = 6;
    if (is_command) {
        zorva_print_col("syntax error", 14);
        extract_syntax_error(message, nullptr);
    } else {
        int last = zorva_last_line_number - 3;
        int line = count_newlines(source) + 1;
        if (last < line) line = last;
        if (line < 0) line = 0;
        int tab = 0;
        int in_tab = find_tab_line(line, &tab);
        std::snprintf(global_str, sizeof global_str, "syntax error line %d (tab %d)", in_tab + 1, in_tab < 0 ? 0 : tab);
        zorva_print_col(global_str, 14);
        static char source_line[ZORVA_CODE_BUFFER_SIZE];
        copy_text(source_line, sizeof source_line, get_nth_line(source, last));
        zorva_print_col(source_line, 7);
        extract_syntax_error(message, source_line);
    }
    close_cart_error_report();
    set_wait_for_button();
}

// The header of a runtime error names a line of the running cart's code
// (the working cart may be another one since it called load).
void report_runtime_error(lua_State *L) {
    if (!pstate.running) {
        zorva_print_col("runtime error", 14);
    } else if (zorva_runtime_line >= 3) {
        int source_line = zorva_runtime_line - 3;
        static char line_text[ZORVA_CODE_BUFFER_SIZE];
        copy_text(line_text, sizeof line_text, get_nth_line(running_code, source_line));
        int tab = 0;
        int in_tab = tab_line_from_spans(running_tab_span, source_line, &tab);
        if (in_tab < 0) tab = 0;
        std::snprintf(global_str, sizeof global_str, "runtime error line %d tab %d", in_tab + 1, tab);
        zorva_print_col(global_str, 14);
        zorva_print_col(line_text, 7);
        navigate_to_error_line(in_tab + 1, tab);
    }
    const char *message = lua_type(L, -1) == LUA_TSTRING ? lua_tostring(L, -1) : "";
    extract_runtime_error(message);
    if (pstate.assert_message[0]) zorva_print(pstate.assert_message);
}

// The memory limit between rounds: a full collection, then an emergency
// one, then the cart is dropped. Returns false when it was dropped.
bool keep_within_memory() {
    if (memory_in_use() <= ZORVA_MEMORY_LIMIT) return true;
    lua_gc(L0, LUA_GCCOLLECT, 0);
    if (memory_in_use() <= ZORVA_MEMORY_LIMIT) return true;
    int before = memory_in_use();
    luaC_fullgc(L0, 1);
    tamu_debugf("gc hard collect: %d -> %d\n", before, memory_in_use());
    if (memory_in_use() <= ZORVA_MEMORY_LIMIT) return true;
    reset_lua_machine();
    pause_program();
    open_cart_error_report();
    zorva_print_col("out of memory", 6);
    close_cart_error_report();
    return false;
}

void save_cart_data_when_due() {
    int now = tamu_get_time();
    if (pstate.cart_data_dirty && now - pstate.cart_data_saved_at > 1000) {
        if (zorva_shell.save_cdata) zorva_shell.save_cdata();
        pstate.cart_data_saved_at = now;
    }
}

ctext *code_tab(int t) { return t >= 0 && t < ZORVA_CODE_TABS ? pstate.code_tabs[t] : nullptr; }

bool any_code_tab() {
    for (int t = 0; t < ZORVA_CODE_TABS; t++)
        if (code_tab(t)) return true;
    return false;
}

// The lines each code tab spans: its own lines and the separator's.
void code_tab_spans(int *spans) {
    for (int t = 0; t < ZORVA_CODE_TABS; t++) {
        ctext *field = code_tab(t);
        spans[t] = count_newlines(field && field->text ? field->text : "") + 2;
    }
}

bool in_folder(const char *name, const char *folder) { return folder[0] && begins_with(name, folder); }

}  // namespace

// ---------------------------------------------------------------------------

void open_cart_error_report() {
    pstate.run_failed = 1;
    zorva_open_report();
}

void close_cart_error_report() { zorva_close_report(running_name); }

int cart_slice_running() { return in_slice; }

int cart_stopped_for_quit() { return stopped_for_quit; }

int cpu_budget() { return pstate.fps == 60 ? ZORVA_CPU_BUDGET_60 : ZORVA_CPU_BUDGET_30; }

int memory_in_use() { return add_held(pstate.memory_baseline, pstate.script_memory); }

void install_console_hooks() {
    zorva_hook_spend_cpu = hook_spend_cpu;
    zorva_hook_assert_message = zorva_assert_message;
    zorva_hook_find_tab_line = find_tab_line;
    zorva_hook_alloc = zorva_lua_alloc;
}

void start_lua_machine() {
    install_console_hooks();
    lua_State *L = lua_newstate(zorva_lua_alloc, nullptr);
    if (!L) {
        L0 = nullptr;
        return;
    }
    finalizer_errors = 0;
    lua_setgcerrorf(L, report_gc_error, nullptr);
    lua_setfinalizerbudget(L, ZORVA_FINALIZER_BUDGET);
    lua_setfinalizerguard(L, finalizer_guard, nullptr);
    add_c_functions(L);
    traceback_thread = lua_newthread(L);
    lua_rawsetp(L, LUA_REGISTRYINDEX, &traceback_thread);
    L0 = L;
}

void close_lua_machine() {
    lua_State *old = L0;
    // Nothing reaches the old state while it closes (its finalizers may
    // call cart functions).
    L0 = nullptr;
    traceback_thread = nullptr;
    begin_finalizer_pass();
    if (old) lua_close(old);
    pstate.script_memory = 0;
    pstate.soft_yield_requested = 0;
}

void reset_lua_machine() {
    close_lua_machine();
    start_lua_machine();
}

void run_cart() {
    merge_code_from_tabs();
    zorva_cart *cart = working_cart();

    copy_text(pstate.parameter, sizeof pstate.parameter, pstate.pending_parameter);
    pstate.pending_parameter[0] = 0;
    pstate.cart_id[0] = 0;
    pstate.cart_directory[0] = 0;
    pstate.devkit_notice_shown = 0;
    if (zorva_shell.set_wait_for_button) zorva_shell.set_wait_for_button(0);

    const char *name = pstate.working_file_name;
    char bbs[ZORVA_PATH_SIZE] = "";
    tamu_prefix_with_appdata_path("bbs/", bbs);
    if (in_folder(name, pstate.root_path))
        copy_text(pstate.cart_directory, sizeof pstate.cart_directory, name + std::strlen(pstate.root_path));
    else if (in_folder(name, bbs))
        copy_text(pstate.cart_id, sizeof pstate.cart_id, get_lid_from_filename(name));
    else
        copy_text(pstate.cart_directory, sizeof pstate.cart_directory, name);

    reset_lua_machine();
    zorva_reload(&pstate, pstate.live_cart, 0, 0, ZORVA_ROM_SIZE);

    // The values the cart set since the last save go to its file before
    // its id is let go.
    if (zorva_shell.save_cdata) zorva_shell.save_cdata();
    pstate.cartdata_id[0] = 0;
    std::memset(pstate.menu_labels, 0, sizeof pstate.menu_labels);
    std::memset(pstate.menu_selected, 0, sizeof pstate.menu_selected);
    pstate.frame_counter = 0;

    zorva_srand(uint32_t(std::time(nullptr)) + uint32_t(tamu_get_time()));

    // A cart whose code did not fit was read without its last lines: what
    // is left is not the program.
    if (cart && cart->code_cut) {
        copy_text(running_name, sizeof running_name, pstate.working_file_name);
        open_cart_error_report();
        zorva_print("program exceeds char limit");
        zorva_print_2("%d / %d chars\n", cart->full_code_length, ZORVA_CHAR_LIMIT);
        close_cart_error_report();
        set_wait_for_button();
    } else {
        run_program(cart && cart->code ? cart->code : "", 0);
    }

    console_stop_all_sound();
    clear_mixer_registers();
    pstate.fps = 30;
    block_buttons();
}

// Keeps what the error reports of the program need: the cart's name,
// its code and the lines of its tabs.
static void note_running_program(const char *source, int is_command) {
    if (is_command) {
        copy_text(running_name, sizeof running_name, "console command");
        running_code[0] = 0;
        std::memset(running_tab_span, 0, sizeof running_tab_span);
        return;
    }
    copy_text(running_name, sizeof running_name, pstate.working_file_name);
    copy_text(running_code, sizeof running_code, source);
    code_tab_spans(running_tab_span);
}

int run_program(const char *source, int is_command) {
    if (!source) source = "";
    note_running_program(source, is_command);
    stopped_for_quit = 0;
    int tokens = 0;
    if (!is_command) {
        int length = int(std::strlen(source));
        if (length > ZORVA_CHAR_LIMIT) {
            open_cart_error_report();
            zorva_print("program exceeds char limit");
            zorva_print_2("%d / %d chars\n", length, ZORVA_CHAR_LIMIT);
            close_cart_error_report();
            return 0;
        }
        tokens = count_tokens(source);
        if (tokens > ZORVA_TOKEN_LIMIT) {
            open_cart_error_report();
            zorva_print("program too large");
            zorva_print_2("%d / %d tokens\n", tokens, ZORVA_TOKEN_LIMIT);
            close_cart_error_report();
            return 0;
        }
    }
    if (!L0) start_lua_machine();
    if (!L0) return 0;

    lua_reset_call_state_zorva(L0);
    pstate.mainloop_kind = 0;
    pstate.paused = 0;
    tamu_set_paused(0);

    text_builder b = {lua_code_buffer, LUA_CODE_BUFFER_SIZE, 0, false};
    lua_code_buffer[0] = 0;
    add_text(b, header_line_1);
    add_text(b, header_line_2);
    if (std::strcmp(pstate.cart_id, "19488") == 0 || std::strcmp(pstate.cart_id, "10388") == 0) add_text(b, " nd=0 ");
    add_text(b, "\n");
    if (zorva_preprocess(source, preprocess_buffer, sizeof preprocess_buffer) < 0) {
        open_cart_error_report();
        zorva_print("program too large");
        close_cart_error_report();
        return 0;
    }
    if (is_command) {
        add_command(b, source, preprocess_buffer);
        add_text(b, "\n _end_of_program = 1 \n");
    } else {
        add_text(b, preprocess_buffer);
        add_text(b, trailer);
    }
    if (b.overflow) {
        open_cart_error_report();
        zorva_print("program too large");
        zorva_print_2("%d / %d chars\n", int(std::strlen(preprocess_buffer)), LUA_CODE_BUFFER_SIZE);
        close_cart_error_report();
        return 0;
    }

    pstate.compiling = 1;
    int status = luaL_loadstring(L0, lua_code_buffer);
    pstate.compiling = 0;
    pstate.memory_baseline = is_command ? 0 : tokens * 16;
    if (status != LUA_OK) {
        report_syntax_error(source, is_command);
        lua_pop(L0, 1);
        return 0;
    }
    lua_setglobal(L0, "_zv_program");

    if (pstate.REQUEST == REQUEST_RUN) reset_runtime_state();
    clear_buttons();
    update_buttons();
    pstate.buttons_read = 0;
    pstate.MODE = MODE_RUNNING;
    pstate.running = is_command ? 0 : 1;
    return 1;
}

// Steps 1-3 of a round: a full collection, the memory limit, the
// collector stopped for the run. False when there is no state to run.
static bool prepare_round() {
    pstate.soft_yield_requested = 0;
    if (!L0) return false;
    begin_finalizer_pass();
    lua_gc(L0, LUA_GCRESTART, 0);
    if (lua_gc(L0, LUA_GCISRUNNING, 0)) lua_gc(L0, LUA_GCCOLLECT, 0);
    if (!keep_within_memory()) return false;
    lua_gc(L0, LUA_GCSTOP, 0);
    return true;
}

// The shell ends the frame once the cart's main thread is back: the
// frame CPU starts again after a frame whose budget ran out, which the
// cart's main loop then catches up on.
static void end_frame() {
    if (budget_spent) {
        pstate.frame_cpu = 0;
        if (pstate.frames_skipped < INT32_MAX) pstate.frames_skipped++;
    }
    budget_spent = 0;
    pstate.frame_over = 0;
    calls_past_frame = 0;
}

// A cart that ended in an error: reported, unless the error only stopped
// it for the player to quit.
static void report_failed_run(lua_State *L, int status) {
    if (stopped_for_quit) return;
    open_cart_error_report();
    if (status == LUA_ERRMEM) {
        // The engine's "not enough memory" is not shown; the reason the
        // cart stopped is.
        zorva_print_col("out of memory", 6);
    } else {
        report_runtime_error(L);
        // No traceback follows a failed allocation.
        if (!pstate.out_of_memory) print_traceback(L);
    }
    pstate.out_of_memory = 0;
    close_cart_error_report();
}

void run_slice_section() {
    if (prepare_round() && pstate.MODE == MODE_RUNNING) {
        lua_State *L = L0;
        // A finished program starts again from the top; a suspended one
        // goes on where it yielded.
        if (lua_status(L) == LUA_OK) {
            lua_settop(L, 0);
            lua_getglobal(L, "_zv_program");
        }
        pstate.spend_remainder = 0;
        // What an earlier run left must not show with this one's errors.
        zorva_runtime_line = 0;
        pstate.assert_message[0] = 0;
        yielded_for_memory = 0;
        // (A finalizer run between frames may have called flip.)
        pstate.frame_over = 0;
        lua_sethook(L, instruction_limiter, LUA_MASKCOUNT, ZORVA_HOOK_COUNT);
        in_slice = 1;
        int status = lua_resume(L, nullptr, 0);
        in_slice = 0;
        end_frame();
        if (status == LUA_OK) {
            pause_program();
        } else if (status == LUA_YIELD) {
            // What the main thread yielded goes nowhere.
            lua_settop(L, 0);
        } else if (pstate.suspend_counter < 1) {
            pause_program();
            report_failed_run(L, status);
        }
    }
    save_cart_data_when_due();
}

void run_slice() {
    for (int round = 0; round < 1024; round++) {
        yielded_for_memory = 0;
        run_slice_section();
        if (!pstate.soft_yield_requested || pstate.REQUEST == REQUEST_RESET_SCRIPT) break;
        // Over the memory limit once the frame was over (a flip, or the
        // budget spent): collect now, but run nothing more this frame.
        if (!yielded_for_memory) {
            prepare_round();
            break;
        }
    }
}

// The running thread's part of the frame is over. A coroutine yields to
// whoever resumed it (whose coresume yields in turn, see zv_coresume); the
// cart's main thread yields to the shell. A thread that cannot yield is
// inside a host function that called back into the cart: it may finish
// that callback within a grace, else (and at once when the player quits)
// it is stopped with an error.
static void leave_frame(lua_State *L) {
    if (L->nny == 0) {
        lua_yieldk(L, 0, 0, nullptr);
        return;
    }
    calls_past_frame++;
    if (!stopped_for_quit && calls_past_frame * ZORVA_HOOK_COUNT < CALLBACK_GRACE_BUDGETS * cpu_budget()) return;
    lua_zorva_record_error_line(L, 0);   // the cart function the hook stopped in
    lua_pushliteral(L, "attempt to yield across a C-call boundary");
    lua_error(L);
}

void instruction_limiter(lua_State *L, lua_Debug *) {
    pstate.frame_cpu = add_held(pstate.frame_cpu, ZORVA_HOOK_COUNT);
    pstate.total_cpu = add_held(pstate.total_cpu, ZORVA_HOOK_COUNT);
    // The budget is the frame's, whichever of the cart's threads spends
    // it.
    if (pstate.frame_cpu >= cpu_budget() && !budget_spent) {
        budget_spent = 1;
        pstate.frame_overrun = 1;
        pstate.frame_over = 1;
    }
    // Between frames the shell reads the window's events; a cart that
    // keeps the frame from ending must not keep the player from quitting.
    if (++calls_since_quit_look >= QUIT_LOOK_CALLS) {
        calls_since_quit_look = 0;
        if (tamu_quit_requested()) {
            stopped_for_quit = 1;
            pstate.frame_over = 1;
        }
    }
    if (pstate.frame_over) {
        leave_frame(L);
        return;
    }
    // Memory went over the limit: back to run_slice for a collection, from
    // the main thread, where a yield is always allowed.
    if (pstate.soft_yield_requested && L == L0 && L->nny == 0) {
        yielded_for_memory = 1;
        lua_yieldk(L, 0, 0, nullptr);
    }
}

void *zorva_lua_alloc(void *, void *ptr, size_t old_size, size_t new_size) {
    if (new_size == 0) {
        if (!ptr) return nullptr;
        char *block = static_cast<char *>(ptr) - BLOCK_HEADER;
        int32_t charge;
        std::memcpy(&charge, block, sizeof charge);
        pstate.script_memory -= charge;
        tamu_free(block);
        return nullptr;
    }
    if (memory_in_use() > ZORVA_MEMORY_LIMIT) {
        pstate.soft_yield_requested = 1;
        if (L0) lua_zorva_soft_yield(L0);
        // A block that shrinks always succeeds: the engine frees memory
        // that way inside the collector.
        bool grows = !ptr || new_size > old_size;
        if (memory_in_use() > ZORVA_MEMORY_HARD_LIMIT && grows) {
            pstate.out_of_memory = 1;
            return nullptr;
        }
    }
    if (new_size > size_t(INT32_MAX) - BLOCK_HEADER - 64) {
        pstate.out_of_memory = 1;
        return nullptr;
    }
    char *old_block = ptr ? static_cast<char *>(ptr) - BLOCK_HEADER : nullptr;
    int32_t old_charge = 0;
    if (old_block) std::memcpy(&old_charge, old_block, sizeof old_charge);
    char *block = static_cast<char *>(tamu_realloc(old_block, int(new_size + BLOCK_HEADER)));
    if (!block) return nullptr;
    int32_t charge;
    if (ptr)
        charge = old_charge == 0 ? 0 : old_charge == int32_t(old_size / 2) ? int32_t(new_size / 2) : int32_t(new_size);
    else
        charge = charge_for_kind(old_size, new_size);
    pstate.script_memory += charge - old_charge;
    std::memcpy(block, &charge, sizeof charge);
    return block + BLOCK_HEADER;
}

void pause_program() {
    if (pstate.suspend_counter >= 1) return;
    zorva_draw_state &d = pstate.draw_state;
    if (pstate.running) {
        console_stop_all_sound();
        pstate.paused = 0;
        tamu_set_paused(0);
        if (zorva_shell.save_cdata) zorva_shell.save_cdata();
        if (zorva_peek(&pstate, pstate.live_cart, 0x5F2E) != 1)
            for (int i = 0; i < 16; i++) d.screen_palette[i] = i;
        if (zorva_peek(&pstate, pstate.live_cart, 0x5F44) == 0) clear_mixer_registers();
        if (zorva_shell.program_paused) zorva_shell.program_paused();
        set_wait_for_button();
    }
    pstate.MODE = MODE_CONSOLE;
    pstate.hold_frame = 0;
    paused_camera_x = d.camera_x;
    paused_camera_y = d.camera_y;
    d.camera_x = 0;
    d.camera_y = 0;
    if (pstate.screen) tamu_reset_clip(pstate.screen);
    d.cursor_x = 0;
    if (d.cursor_y < 0) d.cursor_y = 0;
    if (d.cursor_y > 120) d.cursor_y = 120;
    while (tamu_keypressed()) tamu_readkey();
    if (pstate.exec_mode) tamu_quit = 1;
}

void continue_program() {
    zorva_draw_state &d = pstate.draw_state;
    d.camera_x = paused_camera_x;
    d.camera_y = paused_camera_y;
    if (pstate.screen) tamu_set_clip(pstate.screen, d.clip_x0, d.clip_y0, d.clip_x1, d.clip_y1);
    pstate.MODE = MODE_RUNNING;
}

void reset_runtime_state() {
    zorva_draw_state &d = pstate.draw_state;
    d.cursor_x = 0;
    d.pen_colour = 6;
    d.camera_x = 0;
    d.camera_y = 0;
    for (int i = 0; i < 16; i++) {
        d.draw_palette[i] = i;
        d.screen_palette[i] = i;
    }
    d.draw_palette[0] = 16;
    d.screen_mode = 0;
    d.clip_x0 = 0;
    d.clip_y0 = 0;
    d.clip_x1 = 128;
    d.clip_y1 = 128;
    if (pstate.screen) tamu_reset_clip(pstate.screen);
    d.fill_pattern = 0;
    gpio_open();
    pstate.assert_message[0] = 0;
}

void zorva_assert_message(const char *text) {
    pstate.assert_message[0] = 0;
    copy_text(pstate.assert_message, sizeof pstate.assert_message, text);
}

int find_tab_line(int line, int *tab_out) {
    int spans[ZORVA_CODE_TABS];
    code_tab_spans(spans);
    return tab_line_from_spans(spans, line, tab_out);
}

void split_code_to_tabs() {
    zorva_cart *cart = working_cart();
    const char *code = cart && cart->code ? cart->code : "";
    size_t separator = std::strlen(ZORVA_TAB_SEPARATOR);
    for (int t = 0; t < ZORVA_CODE_TABS; t++) {
        ctext *field = code_tab(t);
        const char *end = t < ZORVA_CODE_TABS - 1 ? std::strstr(code, ZORVA_TAB_SEPARATOR) : nullptr;
        size_t n = end ? size_t(end - code) : std::strlen(code);
        if (field && field->text) {
            if (n > size_t(field->max_len)) n = size_t(field->max_len);
            std::memcpy(field->text, code, n);
            field->text[n] = 0;
            field->cursor = field->sel_anchor = field->sel_end = 0;
            field->scroll_x = field->scroll_y = 0;
        }
        code = end ? end + separator : code + std::strlen(code);
    }
}

void merge_code_from_tabs() {
    zorva_cart *cart = working_cart();
    if (!cart || !cart->code || !any_code_tab()) return;
    int last = 0;
    for (int t = 0; t < ZORVA_CODE_TABS; t++) {
        ctext *field = code_tab(t);
        if (field && field->text && field->text[0]) last = t;
    }
    if (pstate.current_tab > last && pstate.current_tab < ZORVA_CODE_TABS) last = pstate.current_tab;
    text_builder b = {cart->code, ZORVA_CODE_BUFFER_SIZE, 0, false};
    cart->code[0] = 0;
    int full_length = 0;
    bool cut = false;
    for (int t = 0; t <= last; t++) {
        ctext *field = code_tab(t);
        full_length += int(std::strlen(field && field->text ? field->text : ""));
        if (t < last) full_length += int(std::strlen(ZORVA_TAB_SEPARATOR));
    }
    for (int t = 0; t <= last; t++) {
        ctext *field = code_tab(t);
        const char *text = field && field->text ? field->text : "";
        // What does not fit is cut, and the cart is marked so that the cut
        // code is never saved over the file.
        int room = b.size - 1 - b.length;
        size_t n = std::strlen(text);
        if (n > size_t(room)) {
            n = size_t(room);
            cut = true;
        }
        add_text(b, text, n);
        if (t < last) {
            if (std::strlen(ZORVA_TAB_SEPARATOR) > size_t(b.size - 1 - b.length)) {
                cut = true;
                break;
            }
            add_text(b, ZORVA_TAB_SEPARATOR);
        }
    }
    if (cut) {
        cart->code_cut = 1;
        cart->full_code_length = full_length;
    }
}

const char *get_lid_from_filename(const char *name) {
    static char lid[ZORVA_PATH_SIZE];
    lid[0] = 0;
    if (!name) return lid;
    const char *zv = std::strstr(name, ".zv");
    if (!zv) return lid;
    const char *start = zv;
    while (start > name) {
        char c = start[-1];
        bool ok = (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '_';
        if (!ok) break;
        start--;
    }
    size_t n = size_t(zv - start);
    if (n >= sizeof lid) n = sizeof lid - 1;
    std::memcpy(lid, start, n);
    lid[n] = 0;
    return lid;
}

const char *get_nth_line(const char *text, int n) {
    static char line[ZORVA_CODE_BUFFER_SIZE];
    line[0] = 0;
    if (!text) return line;
    if (n < 0) return "<eof>";
    const char *p = text;
    for (int i = 0; i < n; i++) {
        p = std::strchr(p, '\n');
        if (!p) return "<eof>";
        p++;
    }
    const char *end = std::strchr(p, '\n');
    size_t length = end ? size_t(end - p) : std::strlen(p);
    if (length >= sizeof line) length = sizeof line - 1;
    std::memcpy(line, p, length);
    line[length] = 0;
    return line;
}

void extract_syntax_error(const char *message, const char *source_line) {
    if (!message) message = "";
    if (std::strstr(message, "_end_of_program")) return;
    const char *close = std::strstr(message, "to close '");
    if (std::strstr(message, "<eof>") && close) {
        close += std::strlen("to close '");
        const char *end = std::strchr(close, '\'');
        size_t n = end ? size_t(end - close) : std::strlen(close);
        char kind[256];
        if (n >= sizeof kind) n = sizeof kind - 1;
        std::memcpy(kind, close, n);
        kind[n] = 0;
        zorva_print_2("unclosed %s\n", kind);
        return;
    }
    // The text after the position "...]:<line>: "; a message without one
    // is cut after its last ":" instead.
    const char *text = message;
    const char *position = std::strstr(message, "]:");
    const char *p = position ? position + 2 : nullptr;
    if (p && *p >= '0' && *p <= '9') {
        while (*p >= '0' && *p <= '9') p++;
        if (p[0] == ':' && p[1] == ' ') text = p + 2;
    }
    if (text == message) {
        const char *colon = std::strrchr(message, ':');
        if (colon) text = colon[1] == ' ' ? colon + 2 : colon + 1;
    }
    char cut[1024];
    copy_text(cut, sizeof cut, text);
    if (std::strcmp(cut, "unexpected symbol near 'end'") == 0 && source_line && !std::strstr(source_line, "end"))
        zorva_print("unexpected end of line");
    else
        zorva_print(cut);
}

void extract_runtime_error(const char *message) {
    if (!message) message = "";
    if (std::strstr(message, "-- zorva header")) {
        if (std::strstr(message, "assertion failed")) {
            zorva_print("assertion failed");
            zorva_print_col(pstate.assert_message, 7);
        }
        return;
    }
    if (std::strcmp(message, "not enough memory") != 0) zorva_print(message);
}

void print_traceback(lua_State *L) {
    lua_State *T = traceback_thread;
    if (!T || L != L0) return;
    lua_settop(T, 0);
    lua_pushcfunction(T, db_traceback);
    lua_rawgeti(T, LUA_REGISTRYINDEX, LUA_RIDX_MAINTHREAD);
    if (lua_pcall(T, 1, 1, 0) != LUA_OK || lua_type(T, -1) != LUA_TSTRING) {
        lua_settop(T, 0);
        return;
    }
    const char *text = lua_tostring(T, -1);
    for (int i = 0; i < 10 && *text; i++) {
        char line[512];
        const char *end = std::strchr(text, '\n');
        size_t n = end ? size_t(end - text) : std::strlen(text);
        copy_text(line, n + 1 < sizeof line ? n + 1 : sizeof line, text);
        text = end ? end + 1 : text + n;
        if (std::strstr(line, "stack traceback") || std::strstr(line, "main chunk") || std::strstr(line, "'_mainloop"))
            continue;
        const char *colon = std::strchr(line, ':');
        int program_line = 0;
        if (colon) std::sscanf(colon + 1, "%d", &program_line);
        const char *function = std::strstr(line, "in function '");
        // Program line 3 is the source's first line.
        if (program_line - 3 < 0 || !function) continue;
        function += std::strlen("in function '");
        char name[256];
        const char *name_end = std::strchr(function, '\'');
        size_t name_length = name_end ? size_t(name_end - function) : std::strlen(function);
        if (name_length >= sizeof name) name_length = sizeof name - 1;
        std::memcpy(name, function, name_length);
        name[name_length] = 0;
        int tab = 0;
        int in_tab = tab_line_from_spans(running_tab_span, program_line - 3, &tab);
        std::snprintf(global_str, sizeof global_str, "in %s line %d (tab %d)", name, in_tab + 1, tab);
        zorva_print_col(global_str, 13);
    }
    lua_settop(T, 0);
}

void navigate_to_error_line(int line, int tab) {
    if (line < 1) return;
    set_code_tab(tab);
    ctext *field = code_tab(tab);
    if (field && field->text) {
        field->cursor = ctext_get_pos_for_line_number(field->text, line - 1);
        field->sel_anchor = field->sel_end = field->cursor;
        ctext_bound_scrolling_to_cursor(field, 0);
    }
    error_line = line;
    error_tab = tab;
}

void line_counter() { std::printf("line\n"); }

void set_view(int) {}
void move_keyboard_cursor() {}
void draw_code_tab_preview() {}
void invalidate_capacity_cache() {}
void set_code_tab(int) {}
void draw_help_tip() {}
