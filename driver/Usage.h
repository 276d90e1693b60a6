// The short usage that an administrator gets with SapMarrowind --help, -h or /?.
#pragma once

// Whether argument 1 asks for the usage instead of naming a profile.
bool IsUsageRequest(const char *argument);

// Writes the usage to standard output.
void WriteUsage();
