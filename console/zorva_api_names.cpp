// The registered cart-function names.
#include "zorva_api_names.h"

#include <cstring>

char api_function_name[ZORVA_API_NAME_MAX][ZORVA_API_NAME_LENGTH];
int api_function_names = 0;

void init_api_function_names() {
    std::memset(api_function_name, 0, sizeof api_function_name);
    api_function_names = 0;
}

void add_api_function_name(const char *name) {
    if (!name || api_function_names >= ZORVA_API_NAME_MAX) return;
    char *slot = api_function_name[api_function_names++];
    std::strncpy(slot, name, ZORVA_API_NAME_LENGTH - 1);
    slot[ZORVA_API_NAME_LENGTH - 1] = 0;
}

int is_api_function_name(const char *name) {
    if (!name) return 0;
    for (int i = 0; i < api_function_names; i++)
        if (std::strcmp(api_function_name[i], name) == 0) return 1;
    return 0;
}
