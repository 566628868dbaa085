// Engine fixed-point math, trigonometry and the random generator.
#include "tamu.h"

void tamu_srand(unsigned int) {}
