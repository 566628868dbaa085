// The window, the back page and its presentation.
#pragma once

int tamu_system_init();
int tamu_system_exit();
int tamu_video_init();
int tamu_video_exit();
int tamu_blit_back_page();
int tamu_get_windowed();
