// Parameters as a user names them on the command line: by their full table
// name or by index, with values in the parameter's own unit, turned into the
// 0...1 values a host passes to setParameter.
#pragma once

#include <string>

struct ParamAssignment
{
    int index = -1;
    float plain = 0.0f;      // in the parameter's own unit
    float normalised = 0.0f; // what setParameter receives; not clamped
};

// The parameter named by text: its full table name (case-sensitive, e.g.
// "Dry Level") or a decimal index 0...kNumParams-1. Surrounding blanks are
// ignored. Returns -1 and a message in *error when text names none or, like
// "Unused", more than one.
int FindParamIndex(const std::string& text, std::string* error);

// A plain decimal number ("1", "-0.5", "1e3"), surrounding blanks allowed,
// nothing else; infinities and NaN are refused.
bool ParsePlainValue(const std::string& text, float* value);

// A plain value of the parameter at index in the host's 0...1 range. Values
// outside the parameter's range map outside 0...1.
float PlainToNormalised(int index, float plain);

// Whether plain lies inside the parameter's min...max.
bool IsPlainInRange(int index, float plain);

// "Dry Level (39, 0...2)": the parameter's name, index and range, for
// messages.
std::string DescribeParam(int index);

// Parses "NAME=VALUE" or "INDEX=VALUE" into *out. Returns false and a message
// in *error for a missing '=', an unknown name, an index out of range, a
// value that is not a number or one without a 0...1 equivalent (0 Hz on a
// logarithmic frequency scale).
bool ParseParamAssignment(const std::string& text, ParamAssignment* out, std::string* error);

// Non-fatal remarks on an assignment (a value outside the range, a slot the
// plug-in ignores); empty when there are none.
std::string ParamAssignmentWarning(const ParamAssignment& assignment);
