// The cart API table: the globals that every new script state of a cart
// receives, and the list of their names that the tokenizer uses to class
// a name as an API name.
#pragma once

struct lua_State;

constexpr int ZORVA_API_NAMES = 256;      // names in the list at most
constexpr int ZORVA_API_NAME_SIZE = 65;   // at most 64 characters

// The registered names in registration order: api_function_name[0] to
// api_function_name[api_function_count - 1].
extern char api_function_name[ZORVA_API_NAMES][ZORVA_API_NAME_SIZE];
extern int api_function_count;

// Empties the list.
void init_api_function_names();
// Adds name at the end of the list. A name that does not fit (longer than
// 64 characters, or the list full) is left out.
void add_api_function_name(const char *name);
// 1 when name is in the list.
int is_api_function_name(const char *name);

// Registers every cart function as a global of L, in the table's order,
// and lists their names afresh.
void add_c_functions(lua_State *L);
