// The short usage that an administrator gets with SapMarrowind --help, -h or /?, and the version
// with --version or /v.
#pragma once

// Whether argument 1 asks for the usage instead of naming a profile.
bool IsUsageRequest(const char *argument);

// Writes the usage to standard output.
void WriteUsage();

// Whether argument 1 asks for the version.
bool IsVersionRequest(const char *argument);

// Writes "SAP Marrowind <release> (<header version>), build <commit or date>" to standard output.
void WriteVersion();
