#pragma once
// A pass in the Prometheus text exposition format, version 0.0.4.
#include <string>
#include <string_view>

#include "metrics/metrics_pass.h"

inline constexpr char kMetricsContentType[] = "text/plain; version=0.0.4; charset=utf-8";

// The page a scrape gets.
std::string RenderMetrics(const MetricsPass& pass);

// UTF-8 with backslash, double quote and line feed escaped, as a label value.
std::string EscapeLabelValue(std::wstring_view text);
