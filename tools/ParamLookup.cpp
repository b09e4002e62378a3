#include "tools/ParamLookup.h"

#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "plugin/ParameterValues.h"
#include "xfadelooper/ParamInfo.h"

namespace
{
std::string trim(const std::string& text)
{
    size_t begin = 0;
    size_t end = text.size();
    while (begin < end && std::isspace(static_cast<unsigned char>(text[begin])))
        ++begin;
    while (end > begin && std::isspace(static_cast<unsigned char>(text[end - 1])))
        --end;
    return text.substr(begin, end - begin);
}

std::string lower(std::string text)
{
    for (char& c : text)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

// An optional sign followed by digits only.
bool looksLikeInteger(const std::string& text)
{
    size_t i = (!text.empty() && (text[0] == '-' || text[0] == '+')) ? 1 : 0;
    if (i == text.size())
        return false;
    for (; i < text.size(); ++i)
        if (!std::isdigit(static_cast<unsigned char>(text[i])))
            return false;
    return true;
}

std::string formatNumber(float value)
{
    char text[32];
    snprintf(text, sizeof(text), "%g", static_cast<double>(value));
    return text;
}
} // namespace

int FindParamIndex(const std::string& text, std::string* error)
{
    const std::string name = trim(text);
    if (name.empty())
    {
        if (error)
            *error = "no parameter name or index given";
        return -1;
    }
    if (looksLikeInteger(name))
    {
        errno = 0;
        long index = std::strtol(name.c_str(), nullptr, 10);
        if (errno == 0 && IsValidParamIndex(index))
            return static_cast<int>(index);
        if (error)
            *error = "parameter index " + name + " is out of range 0..." + std::to_string(kNumParams - 1);
        return -1;
    }

    std::vector<int> exact;
    std::vector<int> caseless;
    for (int i = 0; i < kNumParams; ++i)
    {
        if (name == astParamInfos[i].name)
            exact.push_back(i);
        else if (lower(name) == lower(astParamInfos[i].name))
            caseless.push_back(i);
    }
    if (exact.size() == 1)
        return exact[0];
    if (error)
    {
        if (exact.size() > 1)
        {
            *error = "parameter name \"" + name + "\" is shared by indices";
            for (int i : exact)
                *error += " " + std::to_string(i);
            *error += "; name it by its index";
        }
        else
        {
            *error = "unknown parameter \"" + name + "\"";
            if (!caseless.empty())
                *error += std::string(" (names are case-sensitive: did you mean \"") + astParamInfos[caseless[0]].name +
                          "\"?)";
            else
                *error += " (use a full name as 'orvo-host info' lists it, or an index 0..." +
                          std::to_string(kNumParams - 1) + ")";
        }
    }
    return -1;
}

bool ParsePlainValue(const std::string& text, float* value)
{
    const std::string number = trim(text);
    if (number.empty())
        return false;
    char* end = nullptr;
    errno = 0;
    double parsed = std::strtod(number.c_str(), &end);
    if (end != number.c_str() + number.size() || errno == ERANGE || !std::isfinite(parsed))
        return false;
    float result = static_cast<float>(parsed);
    if (!std::isfinite(result))
        return false;
    if (value)
        *value = result;
    return true;
}

float PlainToNormalised(int index, float plain)
{
    AudioUnitParameter p = {nullptr, static_cast<AudioUnitParameterID>(index), 0, 0};
    return AUParameterValueToLinear(plain, &p);
}

bool IsPlainInRange(int index, float plain)
{
    const ParamInfo& info = astParamInfos[index];
    return plain >= info.min && plain <= info.max;
}

std::string DescribeParam(int index)
{
    const ParamInfo& info = astParamInfos[index];
    return std::string(info.name) + " (" + std::to_string(index) + ", " + formatNumber(info.min) + "..." +
           formatNumber(info.max) + ")";
}

bool ParseParamAssignment(const std::string& text, ParamAssignment* out, std::string* error)
{
    const size_t equals = text.find('=');
    if (equals == std::string::npos)
    {
        if (error)
            *error = "\"" + text + "\" is not NAME=VALUE or INDEX=VALUE";
        return false;
    }
    std::string why;
    const int index = FindParamIndex(text.substr(0, equals), &why);
    if (index < 0)
    {
        if (error)
            *error = why;
        return false;
    }
    const std::string valueText = text.substr(equals + 1);
    float plain = 0.0f;
    if (!ParsePlainValue(valueText, &plain))
    {
        if (error)
            *error = "value \"" + trim(valueText) + "\" for " + DescribeParam(index) + " is not a number";
        return false;
    }
    // A frequency at or below 0 Hz has no place on the logarithmic scale.
    const float normalised = PlainToNormalised(index, plain);
    if (!std::isfinite(normalised))
    {
        if (error)
            *error = "value " + formatNumber(plain) + " for " + DescribeParam(index) + " has no 0...1 equivalent";
        return false;
    }
    if (out)
    {
        out->index = index;
        out->plain = plain;
        out->normalised = normalised;
    }
    return true;
}

std::string ParamAssignmentWarning(const ParamAssignment& assignment)
{
    if (!IsParameterUsed(assignment.index))
        return "parameter " + std::to_string(assignment.index) + " is an unused slot; the plug-in ignores it";
    if (!IsPlainInRange(assignment.index, assignment.plain))
        return formatNumber(assignment.plain) + " is outside the range of " + DescribeParam(assignment.index) +
               "; passed on unclamped";
    return std::string();
}
