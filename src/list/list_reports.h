// How the list operations report: their texts, and the helpers that turn a report into
// the operation's result (102 wins over every code of its own).
#pragma once

#include <string_view>

#include "report/result_codes.h"

namespace zenpo {
namespace list_message {

inline constexpr wchar_t kInUse[] = L"listfileを他で使用中です(ReTry)";
inline constexpr wchar_t kSetupFailed[] = L"listfileの初期化でerrorが発生しました";
inline constexpr wchar_t kOpenFailed[] = L"listfileのopenでerrorが発生しました";
inline constexpr wchar_t kWriteOpenFailed[] = L"listfileの書込openでerrorが発生しました";
inline constexpr wchar_t kWriteFailed[] = L"listfileの書込でerrorが発生しました";
inline constexpr wchar_t kReleaseFailed[] = L"listfileの書込ロック解除でerrorが発生しました";
inline constexpr wchar_t kDeleteFailed[] = L"TempFile削除でerrorが発生しました";
inline constexpr wchar_t kAppendOpenFailed[] = L"listfileの追記openでerrorが発生しました";
inline constexpr wchar_t kAppendReleaseFailed[] =
    L"listfileの追記ロック解除でerrorが発生しました";
inline constexpr wchar_t kChosen[] = L"ListFileURL->";
inline constexpr wchar_t kUrlTooLong[] = L"ListFileのURLが長すぎるため選択しません->";
inline constexpr wchar_t kOptionCut[] = L"ListFileのオプションが長すぎるため切り詰めました->";

}  // namespace list_message

// Reports text at the given levels and returns code, or 102 when the log failed.
ResultCode ReportListResult(std::wstring_view text, int logLevel, int msgLevel,
                            ResultCode code);

// After a failed step while the list is locked: gives the list its name back, reports
// text (shown to the user) and returns code. When the name cannot be given back,
// release_text is reported too, since the list then stays blocked. 102 when a report
// could not be logged.
ResultCode ReturnListAndReport(std::wstring_view text, ResultCode code,
                               std::wstring_view release_text);

}  // namespace zenpo
