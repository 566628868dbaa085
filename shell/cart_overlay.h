// The key configuration and the cart browser opened by a running cart:
// the cart waits under the overlay (it is not run, its screen and draw
// state are kept) and goes on where it was when the user leaves it. A cart
// launched from the browser takes the waiting cart's place.
#pragma once

struct cbitmap;

// Shows the overlay (OVERLAY_KEYCONFIG or OVERLAY_BROWSER). While a cart
// program runs it waits under it; otherwise the overlay is the console's.
void show_overlay(int overlay);
// 1 while a cart waits under an overlay.
int overlay_over_cart();
// One tick of the overlay while the cart waits: its update, then, when the
// user has left it, back to the cart.
void overlay_over_cart_tick();
// Draws the overlay on a page of its own and puts it on the console back
// page and on page (the cart's screen is left as it is).
void draw_overlay_over_cart(cbitmap *page);
// The cart no longer waits (it was replaced, or it stopped): the overlay,
// if any, stays as the console's.
void forget_overlay_over_cart();
// Frees the overlay's page.
void release_cart_overlay();
