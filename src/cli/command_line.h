// The tool's command line: "-i <installation directory>" or "-u"; anything else runs nothing.
#pragma once

// Creates the run's ProviderInstaller, runs at most one command with its fixed parameters and
// returns the exit status, which is always 0. Prints nothing.
int RunCommandLine(int argc, char* argv[]);
