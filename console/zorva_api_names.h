// The names of the cart functions registered on the current script state,
// in registration order. The source tokenizer classes a name found here as
// an API name (for colouring).
#pragma once

constexpr int ZORVA_API_NAME_MAX = 256;       // names kept
constexpr int ZORVA_API_NAME_LENGTH = 64;     // characters of a name, NUL included

extern char api_function_name[ZORVA_API_NAME_MAX][ZORVA_API_NAME_LENGTH];
extern int api_function_names;                // names in use

// Empties the list.
void init_api_function_names();
// Adds a name (cut to ZORVA_API_NAME_LENGTH - 1 characters); a null name,
// or one past the first ZORVA_API_NAME_MAX, is ignored.
void add_api_function_name(const char *name);
// 1 when the name is in the list.
int is_api_function_name(const char *name);
