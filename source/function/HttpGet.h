#pragma once
// HTTP GET of a whole, small document.

#include <cstddef>
#include <cstdint>
#include <string>

namespace vemro {

struct THttpLimits {
  size_t MaxBytes = 4 * 1024 * 1024;  // a longer body is cut here
  int32_t ConnectTimeoutMs = 5000;
  int32_t TimeoutMs = 20000;           // the whole transfer
};

// The body at Url (blanks and control bytes trimmed off both ends), whatever the status;
// what arrived before a failure or the size limit; empty when nothing arrived. Follows
// redirects, over http and https only. Blocks: call it from a worker thread.
std::string HttpGetText(const std::string& Url, const THttpLimits& Limits = {});

}  // namespace vemro
