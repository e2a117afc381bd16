#pragma once

class CommandLine;

// The unattended station without a window: the station on the
// QCoreApplication that is running, set up from the settings store and the
// command line, journalling to standard error, stopped by SIGTERM or SIGINT as
// Disconnect stops it. Returns the exit status of the event loop (2 for
// presets that cannot be taken). No widget is made.
int runHeadless(const CommandLine &cl);
