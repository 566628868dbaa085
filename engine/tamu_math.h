// Engine fixed-point math, trigonometry and the random generator.
#pragma once

void tamu_srand(unsigned int seed);
