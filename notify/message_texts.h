#pragma once
// The subject and body of a notification, built from the templates with the
// settings of the moment; no engine is needed, so a test mail uses them too.
#include <cstdint>
#include <string>

#include "parameters/parameter_record.h"

struct Settings;

std::wstring BuildSubject(const Settings& settings, int id, ParameterState state);
// missing: why a value of N/A is missing; given, it follows as its own line.
std::wstring BuildBody(const Settings& settings, int id, int64_t value, ParameterState state,
                       const std::wstring& missing = {});
// A blank, then the body on one line, for the log.
std::wstring FlattenBody(const std::wstring& body);
