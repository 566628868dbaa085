// The console's wait for a forum cart download: while the download slot is
// busy the shell holds the running program (or console command) back and
// polls the slot each tick; a finished info file or cart image becomes the
// working cart.
#pragma once

// Each tick of MODE 1 while the download slot is busy: the time-out, Esc
// and the pause button cancel; a finished download is taken in (an info
// file ".nfo" names the cart and may start the cart image's download; a
// cart image becomes the working cart); a failed one is reported.
void update_load_download();
