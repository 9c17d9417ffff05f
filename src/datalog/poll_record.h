#pragma once
// What one record of the data log holds: the sixteen rows of the register
// list in list order, then the parameter value.

#include "register_map.h"

#include <string>
#include <vector>

// The row captions, then "Значение параметра".
std::vector<std::string> PollRecordCaptions(MeterRegisters& registers);

// The value texts of the rows as the list shows them, then `parameterText`.
std::vector<std::string> PollRecordValues(MeterRegisters& registers, const std::string& parameterText);
