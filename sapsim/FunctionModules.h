// The function modules of the simulated SAP system and what they answer.
#ifndef SAPSIM_FUNCTION_MODULES_H
#define SAPSIM_FUNCTION_MODULES_H

#include "Landscape.h"
#include "Values.h"

#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace sapsim {

// Importing parameters and result tables of one call, by name.
struct Answer {
    std::map<std::string, Value, std::less<>> parameters;
    std::map<std::string, std::vector<Row>, std::less<>> tables;
};

// The answer of a function module of the system; false when the system has no such function module.
bool AnswerCall(std::string_view function, const System &system, Answer &answer);

} // namespace sapsim

#endif
