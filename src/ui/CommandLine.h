#pragma once

// Answers --help and --version and ends the program there, before any window
// opens and without a display; anything else on the command line is left
// alone. Returns only when neither was asked for.
void answerHelpAndVersion(int argc, char *argv[]);

// True when the arguments ask for a run without the window.
bool asksForRunWithoutWindow(int argc, char *argv[]);
