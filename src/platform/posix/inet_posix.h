// What the libcurl client shows its tests beyond the inet service.
#pragma once

#include <cstddef>

#include "platform/inet.h"

namespace zenpo::platform {

// The most body bytes the request has held ahead of the caller at any one time (read
// ahead of the caller: at most 150 KiB); 0 for anything but a request handle.
std::size_t InternetPeakBufferedBytes(const HINTERNET& request);

}  // namespace zenpo::platform
