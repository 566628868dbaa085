// Running a cart: the program text (a header script, the preprocessed
// cart source, a generated main loop) compiled on a script state whose
// allocator charges memory to the cart, and resumed as a coroutine once
// per host frame under the CPU budget; errors and tracebacks reported on
// the console in the cart's own lines and code tabs; pausing and going
// on.
//
// Lines: the program text starts with the two lines of the header script,
// so line L of the program text is line L - 2 of the cart source (0-based
// L - 3). The source joins the eight code tabs with the line "-->8"
// between them; find_tab_line turns a source line into a line of a tab.
#pragma once

#include <cstddef>

struct lua_Debug;
struct lua_State;

// CPU units of one frame.
constexpr int ZORVA_CPU_BUDGET_30 = 0x22222;
constexpr int ZORVA_CPU_BUDGET_60 = 0x11111;
// Instructions between two calls of the count hook.
constexpr int ZORVA_HOOK_COUNT = 1024;
// Charged memory a cart may keep, and beyond which allocations fail.
constexpr int ZORVA_MEMORY_LIMIT = 0x200000;
constexpr int ZORVA_MEMORY_HARD_LIMIT = 0x8000000;
// Limits of a cart's source.
constexpr int ZORVA_CHAR_LIMIT = 65536;
constexpr int ZORVA_TOKEN_LIMIT = 8192;
// Room for the assembled program text.
constexpr int LUA_CODE_BUFFER_SIZE = 81920;
// Instructions that one "__gc" finalizer of a cart may run.
constexpr int ZORVA_FINALIZER_BUDGET = 0x4000;
// Between two code tabs in the joined source.
extern const char *const ZORVA_TAB_SEPARATOR;   // "\n-->8\n"

extern char lua_code_buffer[LUA_CODE_BUFFER_SIZE];

// The frame's CPU budget at the current fps.
int cpu_budget();
// Charged memory in use: the baseline plus the script memory counter.
int memory_in_use();

// Installs the console's functions in the script engine's hooks (CPU
// charging, assert messages, tab lines, the allocator).
void install_console_hooks();
// Makes the cart script state L0 (closing the current one, if any) with
// the console's allocator and the cart API.
void start_lua_machine();
void reset_lua_machine();
// Closes L0 (its finalizers run within their time) and leaves none.
void close_lua_machine();

// Starts the working cart: its code tabs joined into its code, a new
// script state, console memory reloaded from it, the program compiled.
void run_cart();
// Preprocesses, counts, assembles and compiles source; a command
// (is_command 1) skips the limits and gets no main loop. Returns 1 when
// the program was made ready to run (MODE 1), else 0 after reporting why.
int run_program(const char *source, int is_command);
// Runs the program for one host frame.
void run_slice();
// One round of run_slice.
void run_slice_section();
// The count hook.
void instruction_limiter(lua_State *L, lua_Debug *ar);
// The script engine's allocator. Every block carries its charge to the
// cart in front of it.
void *zorva_lua_alloc(void *ud, void *ptr, size_t old_size, size_t new_size);

// A cart's error report: opening marks the run as failed (pstate's
// run_failed) and keeps what is printed until closing, which writes it to
// the log and standard error under the running cart's name.
void open_cart_error_report();
void close_cart_error_report();
// 1 while run_slice resumes the cart (the script state is in use).
int cart_slice_running();
// 1 when the running program was stopped (or made to yield) because the
// player is asked to quit.
int cart_stopped_for_quit();

// Stops a running program and returns to the console (not while the
// suspend counter is 1 or more).
void pause_program();
// Goes on with the paused program.
void continue_program();
// The draw state of a new program.
void reset_runtime_state();
// Keeps the message of a failing assert (up to 254 characters).
void zorva_assert_message(const char *text);

// The 0-based line within its code tab of a 0-based line of the joined
// source, its tab in *tab_out (when not null); past the last tab -1 and
// tab 0. Each tab spans its own lines plus the separator line.
int find_tab_line(int line, int *tab_out);
// Cuts the working cart's code into the eight code tabs; the last tab
// takes whatever follows its start.
void split_code_to_tabs();
// Joins the code tabs into the working cart's code: every tab up to the
// last non-empty one or the current one, whichever comes later.
void merge_code_from_tabs();
// The cart id of a file name: the run of a-z, 0-9, "-" and "_" just
// before its first ".zv"; empty when there is none. The result lives
// until the next call.
const char *get_lid_from_filename(const char *name);
// Line n (0-based) of text without its newline; "<eof>" past the last
// line; empty for a null text. The result lives until the next call.
const char *get_nth_line(const char *text, int n);

// The message parts of the error reports. source_line is the cart's line
// of a syntax error (null for a console command).
void extract_syntax_error(const char *message, const char *source_line);
void extract_runtime_error(const char *message);
// Prints the script functions of L's call stack as lines and tabs of the
// cart.
void print_traceback(lua_State *L);
// Notes the line (from 1) and tab of an error for the shell; nothing for
// a line below 1.
void navigate_to_error_line(int line, int tab);
extern int error_line;   // from 1; 0 for none
extern int error_tab;
// Prints "line" on standard output.
void line_counter();

// The editor's entry points; there is no code editor, so they do nothing.
void set_view(int view);
void move_keyboard_cursor();
void draw_code_tab_preview();
void invalidate_capacity_cache();
void set_code_tab(int tab);
void draw_help_tip();
