// The local file of a download as the engine reads it: 0 stands for a size or time that
// cannot be read.
#pragma once

#include <cstdint>
#include <string>

#include "platform/clock.h"

namespace zenpo {

// The size in bytes of the regular file at path; 0 when there is none (an absent file, a
// directory, an unreadable path). 64-bit, so files of 2 GiB and more count.
std::int64_t LocalFileSize(const std::wstring& path);

// The last-write time of the file at path; 0 when it cannot be read.
platform::FileTime LocalFileTime(const std::wstring& path);

}  // namespace zenpo
