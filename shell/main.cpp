#include "tamu.h"

int main(int argc, char **argv) {
    argv = tamu_platform_arguments(&argc, argv);
    return tamu_main(argc, argv);
}
