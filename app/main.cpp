#include "Startup.h"

int main(int argc, char** argv) { return RunVexmor(argc, argv); }
