#include "tamu.h"

int main(int argc, char **argv) { return tamu_main(argc, argv); }
