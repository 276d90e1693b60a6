// Tablespace name patterns of ONLY= and SKIP=: "*" any run of characters, "?" one character,
// letters in any case; a list holds patterns separated by ";".
#pragma once

#include "platform/FixedText.h"

// A list is one option value, so never longer than the option text.
constexpr size_t kPatternListCapacity = 127;

// Whether the whole name matches the pattern.
bool MatchesPattern(const char *pattern, const char *name);

// Whether the name matches one of the patterns of the list; empty patterns match nothing.
bool MatchesAnyPattern(const TextBase &patternList, const char *name);

// Whether the list holds at least one pattern that is not empty.
bool HoldsPattern(const TextBase &patternList);

// Whether a tablespace is watched: ONLY= (when given) must match it and SKIP= must not; SKIP wins.
bool KeepsTablespace(const TextBase &only, const TextBase &skip, const char *name);
