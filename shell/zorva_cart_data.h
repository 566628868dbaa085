// Cart data: the 64 values a running cart keeps between runs under an id it
// claims with cartdata(), stored in "<id>.zvd.txt" in the cart-data folder
// (cart_data_file.h gives the file's text).
#pragma once

// Claims the id for the running cart and reads its file. 0 when the file
// was read; 1 when no cart program runs (nothing claimed) or there is no
// file (the id is claimed and the values are 0); 2 when the id is refused
// (the cart is stopped with a runtime error); 3 for a null id.
//
// A file that the reader had to guess at (stray characters, a cut value,
// more than the values) is copied into "backup/" before anything can
// replace it; a file that cannot be read or copied there is never written
// over while this id is claimed.
int load_cdata(const char *id);
// Writes the values of the claimed id when a cart program runs. 0 when
// written or there is nothing to write; 1 when the file could not be
// written whole (the old file stays as it was and the values stay marked
// for saving, so that the next save tries again) or must not be replaced.
int save_cdata();
// 1 for the characters of a cart-data id: a-z, 0-9 and '_'.
int is_legal_cart_label_char(int c);
// The cart-data file of an id: cart-data folder + id + ".zvd.txt". 0, or 1
// when it does not fit in 1024 characters.
int get_cdata_filename(const char *id, char *out);

// Puts load_cdata and save_cdata into the console's hooks.
void install_cart_data_hooks();
