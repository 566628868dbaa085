// The cart browser screen: set-up, the frame update, the controls, the
// actions on entries, the cart menu and the drawing.
#include "zorva_splore.h"

int anim_t = 0;
int glow_t = 0;
int selected_t = 0;
int cart_launch_t = 0;
