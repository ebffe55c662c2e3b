// The program's entry, called by the launcher `vexmor` once no running copy took the start's request.
#include "Startup.h"

extern "C" __attribute__((visibility("default"))) int VexmorRun(int argc, char** argv) {
    return RunVexmor(argc, argv);
}
