// The run driver: start-up, the single-system run, item mode and its system loop, and the workers
// of PARALLEL=n. It alone decides how a run ends; a failure inside the RFC library and the deadline
// are the only early ends, and they write through the same document writer.
#pragma once

#include "output/Document.h"
#include "platform/FixedText.h"

constexpr const char *kProgramName = "Marrowind";
constexpr const char *kProgramVersion = "Vers 4.3 / 29.08.22";

// How a run ended: the exit status (0 success, 2 an error document) and the error that ends it
// (empty on success), which main writes through the document writer.
struct RunEnd {
    int status = 0;
    FixedText<kDocumentCapacity> error;
};

// Runs the sensor for the command line (or, in a worker of PARALLEL=n, serves its parent and ends
// the process).
void RunSensor(int argc, char **argv, RunEnd &end);
