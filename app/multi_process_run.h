// The multi-process run: with "-cores N" and several input files that are not merged, this
// process contours nothing itself. It runs this same program once per input file, at most N at a
// time, each child an ordinary run on its one file with the options of this run
// (app/child_commands.h), and waits for them all.
//
// The run fails (exit code 1) when any child fails, is killed, or cannot be started; one line per
// such input names it and how its child ended. Interrupted by SIGINT or SIGTERM, it passes the
// signal on to the running children, starts no further child, waits for the running ones,
// removes its list file and then ends by the same signal.
#pragma once

struct CommandLine;

// `cores` lies in 1..128; more cores than input files run one child per file.
int run_multi_process(CommandLine& line, int cores);
