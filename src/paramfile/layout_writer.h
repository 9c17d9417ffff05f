#pragma once
// The parameter file text of a meter configuration.

#include "meter_config.h"

#include <string>
#include <vector>

// The lines of the file, without line ends; ASCII only.
std::vector<std::string> ParamFileLines(const MeterConfig& config);
// Every line followed by "\r\n".
std::string ParamFileText(const MeterConfig& config);

// printf "%f" of the value widened to double, always with '.'; non-finite
// values as "+INF", "-INF", "+NAN", "-NAN".
std::string FormatCFixed(float v);
// printf "%e" likewise ("1.250000e-03": at least two exponent digits).
std::string FormatCExp(float v);
