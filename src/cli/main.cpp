// zt4gac: installs the provider assemblies into the GAC ("-i <dir>") or removes them ("-u").
#include "cli/command_line.h"

int main(int argc, char* argv[]) { return RunCommandLine(argc, argv); }
