#include "space/Patterns.h"

bool MatchesPattern(const char *pattern, const char *name) {
    // Greedy matching with one resume point: on a mismatch the last "*" takes one character more.
    const char *star = nullptr;
    const char *resume = nullptr;
    while (*name != '\0') {
        if (*pattern == '*') {
            star = pattern++;
            resume = name;
        } else if (*pattern != '\0' && (*pattern == '?' || UpperAscii(*pattern) == UpperAscii(*name))) {
            ++pattern;
            ++name;
        } else if (star != nullptr) {
            pattern = star + 1;
            name = ++resume;
        } else {
            return false;
        }
    }
    while (*pattern == '*')
        ++pattern;
    return *pattern == '\0';
}

bool MatchesAnyPattern(const TextBase &patternList, const char *name) {
    size_t start = 0;
    while (start <= patternList.size()) {
        size_t end = patternList.Find(";", start);
        if (end == TextBase::npos) end = patternList.size();
        FixedText<kPatternListCapacity> pattern;
        pattern.AssignPart(patternList.c_str() + start, end - start);
        if (!pattern.empty() && MatchesPattern(pattern.c_str(), name)) return true;
        start = end + 1;
    }
    return false;
}

bool HoldsPattern(const TextBase &patternList) {
    for (size_t i = 0; i < patternList.size(); ++i)
        if (patternList[i] != ';') return true;
    return false;
}

bool KeepsTablespace(const TextBase &only, const TextBase &skip, const char *name) {
    if (!only.empty() && !MatchesAnyPattern(only, name)) return false;
    return !MatchesAnyPattern(skip, name);
}
