// "zenpo --add URL...": queues URLs from a script or a shell without starting the
// program; a running instance takes them at its next pass.
#pragma once

#include <string>
#include <vector>

namespace zenpo {

// The URLs when the first argument is exactly "--add" (then is_add is set), else none.
std::vector<std::string> FindAddedUrls(const std::vector<std::string>& args, bool* is_add);

// The exit statuses of an add besides the list's own codes.
namespace add_status {
constexpr int kAllQueued = 0;
constexpr int kSomeRefused = 1;  // an argument was no download URL; the others were queued
constexpr int kNoUrl = 2;        // nothing to queue was given
}  // namespace add_status

// Appends each URL, in the device code page, as the clipboard watcher does: only download
// URLs that fit one line, with the list's lock, retried for about two seconds while the
// list is in use. Stops at the first list failure and returns its code (161 when the list
// stayed in use, 151, 153, 102); the URLs after it are not queued. Each URL not queued is
// named on stderr. Reads the settings first, for the log.
int AddUrls(const std::vector<std::string>& urls);

}  // namespace zenpo
