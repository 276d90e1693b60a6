// The run driver: start-up, the single-system run, item mode and its system loop. It alone decides
// the document's end and the exit status; the RFC library's failure handler is the only other way
// out of a run.
#pragma once

constexpr const char *kProgramName = "Marrowind";
constexpr const char *kProgramVersion = "Vers 4.3 / 29.08.22";

// Runs the sensor for the command line; returns the exit status (0 success, 2 an error document).
int RunSensor(int argc, char **argv);
