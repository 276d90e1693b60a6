// The run driver: start-up, the single-system run, item mode and its system loop, and the way
// every run ends.
#pragma once

#include "platform/FixedText.h"

// Runs the sensor for the command line and ends the process; never returns.
[[noreturn]] void RunSensor(int argc, char **argv);

// Reports an error as the PRTG error document, closes an open connection and exits with status 2.
[[noreturn]] void RaiseError(const char *message);

// Reports a failed function-module call: the text collected in the document buffer with the trace
// notice, as an error document.
[[noreturn]] void ReportRfcFailure();

// Upper-cased option text keyword that selects a line output mode.
void SelectOutputMode();

// The option text as given, cut at its first "#" and "@", as the verbose option line shows it.
void ShownOptions(TextBase &shown, const TextBase &optionTextAsGiven);

// The item name behind a keyword: up to the first blank or comma or 90 characters, ':' as blanks.
void TakeItemName(TextBase &itemName, const char *from);
