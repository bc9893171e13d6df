#pragma once

namespace cohortix::app {

// Parses the command line, runs the chosen subcommand and returns the exit code.
int runCommandLine(int argc, char** argv);

}  // namespace cohortix::app
