// The shell's steps, gathered for the shell's files that use them: the
// pause menu, the message bar, cart storage, cart data, capture, the key
// configuration, the console's listing and downloads, and the cart
// browser; and the editors' reset (there are no editors in this build).
#pragma once

#include "console_download.h"
#include "console_text.h"
#include "zorva_capture.h"
#include "zorva_cart_data.h"
#include "zorva_cart_storage.h"
#include "zorva_keyconfig.h"
#include "zorva_message_bar.h"
#include "zorva_pause_menu.h"
#include "zorva_splore.h"

// Editors (inert in this build).
void reset_editor_state();
