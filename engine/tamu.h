// The engine library.
#pragma once

#include "tamu_main.h"
#include "tamu_memory.h"
#include "tamu_file.h"
#include "tamu_config.h"
#include "tamu_platform.h"
#include "tamu_video.h"
#include "tamu_input.h"
#include "tamu_gui.h"
#include "tamu_text.h"
#include "tamu_math.h"
#include "tamu_bitmap.h"
#include "tamu_draw.h"
#include "tamu_pod.h"
#include "tamu_image.h"
#include "tamu_sha1.h"
#include "tamu_stable.h"
