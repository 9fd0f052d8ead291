// DownloadUrl: one URL from the choice of request headers to the finished file.
#pragma once

#include <string>

#include "platform/window.h"
#include "report/result_codes.h"
#include "runtime/window_messages.h"

namespace zenpo {

// The period of the progress timer (timer_id::kProgress), started when the body begins.
constexpr int kProgressTimerPeriodMs = 1000;

// Fetches url (beginning "http://") into its local path under ProgramPaths.DownloadDir
// and returns the outcome: 900 downloaded, 901/902/903 already complete, or the code of
// the failure with its report (101 user abort, 102 log unusable, 103 a call that could
// not be taken back, 104/105 network, 132 to 138 final failures, 200/400/500/600
// passing ones). agent, referer and authorization (Base64) are the entry's own, empty
// when it has none; the host profiles and the settings fill in the rest. A list entry's
// cookie is not sent.
//
// Runs on the calling (job) thread and blocks until the file is finished, skipped or
// abandoned; each blocking network call runs on a worker of its own, waited for with
// CNTimeout or DLTimeout (a negative one: no limit). When it returns, it waits for no
// worker any more, though an abandoned one may still run. It writes StateLine, UrlLine,
// ResumeLine and, under SharedLock, ProgressState with ProgressLine, TimeLine and
// BandLine; asks window to repaint; starts the progress timer on window when the body
// begins and kills it when the body has ended (on an early exit the caller kills it).
// Every byte received is in the file before the next read, so any exit leaves a file
// that a later call resumes.
ResultCode DownloadUrl(const std::wstring& url, platform::RepaintTarget& window, std::wstring agent,
                       std::wstring referer, std::wstring authorization);

}  // namespace zenpo
