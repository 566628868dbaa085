// The editors' reset (see zorva_shell_steps.h).
#include "zorva_shell_steps.h"

#include "zorva_app.h"

// Editors: there are none, so their state is only their reset words.

void reset_editor_state() {
    app.editor_word = 0;
    app.editor_flag = 1;
}
