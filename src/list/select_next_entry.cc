// SelectNextEntry: the selection's line rule and the entry's options.
#include "list/select_next_entry.h"

#include <mutex>

#include "fields/credential.h"
#include "fields/decimal.h"
#include "list/list_entry.h"
#include "list/list_reports.h"
#include "list/rewrite_list.h"
#include "report/report_message.h"

namespace zenpo {
namespace {

// The notices of one pass, reported once the pass is over.
struct SelectionNotes {
  std::wstring cut_options;  // the keys whose values were cut, e.g. "Agent= Cookie="
  std::wstring refused_url;  // the first URL refused for its length, shortened for the log
};

// The last refused URL that was logged: a line that stays refused is logged once, not at
// every pass of the cycle.
std::mutex refused_mutex;
std::wstring last_refused_url;

void CopyCapped(std::wstring_view value, std::size_t capacity, std::wstring* to,
                std::wstring_view key, SelectionNotes* notes) {
  if (value.size() > capacity) {
    value = value.substr(0, capacity);
    notes->cut_options.append(key).append(L" ");
  }
  to->assign(value);
}

void TakeOptions(const ListEntry& e, SelectedEntry* entry, SelectionNotes* notes) {
  for (std::size_t i = e.first_option; i < e.fields.count; ++i) {
    const ListOption o = MatchOption(e.fields.field[i]);
    switch (o.key) {
      case OptionKey::kNone:
        break;
      case OptionKey::kAgent:
        CopyCapped(o.value, entry_capacity::kAgent, &entry->agent, L"Agent=", notes);
        break;
      case OptionKey::kReferer:
        CopyCapped(o.value, entry_capacity::kReferer, &entry->referer, L"Referer=", notes);
        break;
      case OptionKey::kAuthid: {
        bool cut = false;
        entry->authorization = EncodeCredential(o.value, &cut);
        if (cut) notes->cut_options.append(L"Authid= ");
        break;
      }
      case OptionKey::kAuthidE:
        CopyCapped(o.value, entry_capacity::kAuthorization, &entry->authorization,
                   L"AuthidE=", notes);
        break;
      case OptionKey::kCookie:
        CopyCapped(o.value, entry_capacity::kCookie, &entry->cookie, L"Cookie=", notes);
        break;
    }
  }
}

// Whether the line's status field shows, from the bytes alone, that the line is not
// chosen: a first field of digits, signs and blanks whose value is one that is never
// taken again. Such bytes at the start of a line are the same characters in every code
// page the list may be in, so the verdict is the one the parse copy would give; whatever
// else the line holds, it is not chosen. Most lines of a long list are finished ones,
// and this spares them their wide copy.
bool PassedOverByStatus(std::string_view bytes) {
  std::size_t begin = bytes.find_first_not_of('|');
  if (begin == std::string_view::npos) return false;
  constexpr std::size_t kMaxStatusChars = 16;
  wchar_t wide[kMaxStatusChars];
  std::size_t n = 0;
  for (std::size_t i = begin; i < bytes.size() && bytes[i] != '|'; ++i, ++n) {
    const char c = bytes[i];
    const bool digit = c >= '0' && c <= '9';
    const bool sign_or_blank = c == '+' || c == '-' || IsDecimalBlank(static_cast<wchar_t>(c));
    if (n == kMaxStatusChars || !(digit || sign_or_blank)) return false;
    wide[n] = static_cast<wchar_t>(c);
  }
  return n > 0 && !IsChosenAgain(ReadDecimal32(std::wstring_view(wide, n)));
}

// Logs the first refused URL of a pass unless it was the last one logged.
ResultCode ReportRefusedUrl(const std::wstring& url) {
  {
    std::lock_guard<std::mutex> lock(refused_mutex);
    if (url == last_refused_url) return 0;
    last_refused_url = url;
  }
  return ReportMessage(list_message::kUrlTooLong + url, level::kOutcome, level::kNotShown);
}

}  // namespace

ResultCode SelectNextEntry(SelectedEntry* entry) {
  bool chosen = false;
  SelectionNotes notes;
  const LineRule rule = [&](const ListLine& line) -> LineEdit {
    if (chosen || !line.starts_line() || PassedOverByStatus(line.bytes())) {
      return LineEdit::Keep();
    }
    const ListEntry e = ParseListEntry(line.parse());
    if (e.form == EntryForm::kNone || !IsChosenAgain(e.status) || line.Cuts(e.url)) {
      return LineEdit::Keep();
    }
    // A shortened URL would fetch another file: such an entry is passed over.
    if (e.url.size() > entry_capacity::kUrl) {
      if (notes.refused_url.empty()) {
        constexpr std::size_t kShown = 256;
        notes.refused_url.assign(e.url.substr(0, kShown)).append(L"...");
      }
      return LineEdit::Keep();
    }
    chosen = true;
    entry->url.assign(e.url);
    TakeOptions(e, entry, &notes);
    return LineEdit::Mark(rc::kInProgress, line.StatusColumnBytes(e.fields, e.status));
  };
  bool complete = false;
  const ResultCode code = RewriteList(rule, kSelectionCodes, &complete);
  // The list was put back without the mark: the entry is not taken.
  if (!complete) *entry = SelectedEntry();
  if (code != rc::kSelectDone) return code;

  if (!entry->url.empty()) {
    if (ReportMessage(list_message::kChosen + entry->url, level::kOutcome, level::kNotShown) ==
        rc::kLogUnusable) {
      return rc::kLogUnusable;
    }
    if (!notes.cut_options.empty()) {
      notes.cut_options.pop_back();
      if (ReportMessage(list_message::kOptionCut + notes.cut_options, level::kOutcome,
                        level::kNotShown) == rc::kLogUnusable) {
        return rc::kLogUnusable;
      }
    }
  }
  if (!notes.refused_url.empty() && ReportRefusedUrl(notes.refused_url) == rc::kLogUnusable) {
    return rc::kLogUnusable;
  }
  return rc::kSelectDone;
}

}  // namespace zenpo
