// The executable's entry point.
#include "host/entry.h"

int main(int argc, char** argv) {
    return RunProcess(argc, argv);
}
