// Records every message box instead of showing it, for as long as it lives.
#pragma once

#include <mutex>
#include <string>
#include <vector>

namespace zenpo::test {

class RecordingMessageBox {
 public:
  RecordingMessageBox();
  ~RecordingMessageBox();

  std::vector<std::wstring> texts() const;

 private:
  mutable std::mutex mutex_;
  std::vector<std::wstring> texts_;
};

}  // namespace zenpo::test
