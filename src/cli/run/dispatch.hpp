// Running the action that a parsed command line names: its input taken from
// the literal, a file or standard input (in chunks), its core routine run,
// its result written to the -o file (whole, or not at all) or handed back
// for standard output, whole or still to be made. The dispatcher never
// prints and never ends the process: it returns the outcome.
#pragma once

#include "cli/files/interruption.hpp"
#include "cli/parse/parser.hpp"
#include "cli/run/outcome.hpp"

namespace korvalith::cli {

// What a run is given by whoever starts it.
struct RunContext {
    // Asked before each read and write whether the run is asked to stop
    // (Ctrl-C, SIGTERM, SIGHUP).
    Interruption interruption{};
    // The descriptor a data argument of "-" reads.
    int standard_input = 0;
    // The descriptor results and messages are printed to.
    int standard_output = 1;
};

// Runs the action of the matches (as parse_arguments yields them): the line
// to print on success, or the failure with its kind and message.
Outcome dispatch(const Matches& matches, const RunContext& context = {});

}  // namespace korvalith::cli
