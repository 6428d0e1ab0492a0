#pragma once
// The endpoint's side of one HTTP/1.1 exchange. Every answer closes the
// connection, so there is no keep-alive or pipelining to get wrong.
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

inline constexpr size_t kMaxRequestBytes = 8192;

// The answer to what a client has sent so far, or none while its request
// header is incomplete and still within kMaxRequestBytes. page is the body
// of GET /metrics.
std::optional<std::string> AnswerRequest(std::string_view received, const std::string& page);
