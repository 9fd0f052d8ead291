// The HTTP client on libcurl: one multi handle per request, driven by the calling thread.
//
// Each request owns a multi handle with one easy transfer. Whoever calls an open or a
// read drives the transfer (curl_multi_perform / curl_multi_poll) until it has what it
// needs; between calls nothing drives it, so the kernel's socket buffers hold the data
// and the server waits. Body bytes are copied once, from libcurl's receive buffer into
// the request, and the reads hand them out from there; once a receive buffer's worth is
// held the transfer is paused.
// A close sets a flag and wakes the poll, so the pending call returns at once; the curl
// handles are released by whichever of the close and the pending call comes last.
// Redirects are followed here, one transfer per hop, so that each hop goes through the
// proxy or directly as its own host requires.
#include "platform/posix/inet_posix.h"

#include <curl/curl.h>
#include <dirent.h>
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <mutex>
#include <vector>

#include "platform/text.h"

namespace zenpo::platform {

// The common base of root and request handles; the handle types below derive from it.
class InternetObject {
 public:
  virtual ~InternetObject() = default;
  // Marks the handle closed and wakes a call pending on it. False when closed already.
  // Safe from any thread.
  virtual bool Close() = 0;
};

namespace {

using Clock = std::chrono::steady_clock;

// libcurl's receive buffer: one receive call per 128 KiB at full speed rather than one
// per few chunks. libcurl hands the body over in pieces of at most 16 KiB.
constexpr long kReceiveBufferBytes = 128 * 1024;
// Body bytes read ahead of the caller before the transfer pauses: one receive buffer, so
// that a full one never pauses (libcurl would copy the held piece). A read then usually
// finds its bytes without a call into libcurl. At most this plus one piece is held.
constexpr std::size_t kHeldBytes = 128 * 1024;
// Reads longer than a page end on a page boundary of the resource where they can: the
// caller appends each read to its file at once, and an append that ends inside a page
// makes the file system take that page up again with the next one.
constexpr std::uint32_t kPageBytes = 4096;
// A response whose header lines exceed this is refused rather than kept in memory.
constexpr std::size_t kMaxHeaderBytes = 256 * 1024;
constexpr long kMaxRedirects = 20;

// Why the calling thread's last open failed to secure its connection; see
// InternetLastSecurityError.
thread_local std::string last_security_error;

// The results that come from securing a connection: its certificate or its handshake.
bool IsSecurityFailure(CURLcode result) {
  switch (result) {
    case CURLE_SSL_CONNECT_ERROR:
    case CURLE_PEER_FAILED_VERIFICATION:
    case CURLE_SSL_CERTPROBLEM:
    case CURLE_SSL_CIPHER:
    case CURLE_SSL_CACERT_BADFILE:
    case CURLE_SSL_CRL_BADFILE:
    case CURLE_SSL_ISSUER_ERROR:
    case CURLE_SSL_PINNEDPUBKEYNOTMATCH:
    case CURLE_SSL_INVALIDCERTSTATUS:
    case CURLE_SSL_ENGINE_NOTFOUND:
    case CURLE_SSL_ENGINE_SETFAILED:
    case CURLE_SSL_ENGINE_INITFAILED:
    case CURLE_SSL_CLIENTCERT:
      return true;
    default:
      return false;
  }
}

// Peers are always verified: their certificate against the trust store, its name against
// the host. The store is the TLS library's default unless SSL_CERT_FILE or SSL_CERT_DIR
// name another, as for any program on that library; libcurl itself looks only at its
// built-in paths.
bool VerifyPeers(CURL* easy) {
  bool ok = curl_easy_setopt(easy, CURLOPT_SSL_VERIFYPEER, 1L) == CURLE_OK &&
            curl_easy_setopt(easy, CURLOPT_SSL_VERIFYHOST, 2L) == CURLE_OK;
  const char* file = std::getenv("SSL_CERT_FILE");
  if (ok && file != nullptr && file[0] != '\0')
    ok = curl_easy_setopt(easy, CURLOPT_CAINFO, file) == CURLE_OK;
  const char* dir = std::getenv("SSL_CERT_DIR");
  if (ok && dir != nullptr && dir[0] != '\0')
    ok = curl_easy_setopt(easy, CURLOPT_CAPATH, dir) == CURLE_OK;
  return ok;
}

struct Timeouts {
  std::uint32_t connect_ms = 60000;
  std::uint32_t receive_ms = 30000;
  std::uint32_t data_receive_ms = 30000;
};

void GlobalInit() {
  static std::once_flag once;
  std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

// Every descriptor of the program is close-on-exec, so that a restarted program (or any
// program it starts) holds none of a hung request's connections. libcurl opens its
// sockets without the flag: a connection's socket is opened here instead, and the socket
// pair a multi handle keeps for its wake-ups gets the flag as soon as the handle exists.
curl_socket_t OpenSocketCloseOnExec(void*, curlsocktype, curl_sockaddr* address) {
  return socket(address->family, address->socktype | SOCK_CLOEXEC, address->protocol);
}

bool OpenSocketsCloseOnExec(CURL* easy) {
  return curl_easy_setopt(easy, CURLOPT_OPENSOCKETFUNCTION, &OpenSocketCloseOnExec) == CURLE_OK;
}

CURLM* MultiInitCloseOnExec() {
  CURLM* multi = curl_multi_init();
  // The pair's numbers are libcurl's own; every open descriptor without the flag gets it.
  if (DIR* fds = opendir("/proc/self/fd")) {
    while (dirent* entry = readdir(fds)) {
      const int fd = std::atoi(entry->d_name);
      if (fd <= STDERR_FILENO || fd == dirfd(fds)) continue;
      const int flags = fcntl(fd, F_GETFD);
      if (flags >= 0 && !(flags & FD_CLOEXEC)) fcntl(fd, F_SETFD, flags | FD_CLOEXEC);
    }
    closedir(fds);
  }
  return multi;
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() &&
         std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) ==
                  std::tolower(static_cast<unsigned char>(y));
         });
}

std::string_view TrimBlanks(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r' || s.back() == '\n'))
    s.remove_suffix(1);
  return s;
}

// The URL on the wire: the device code page, with blanks, control characters and bytes
// outside ASCII percent-encoded, since libcurl refuses them raw. A byte of the list that
// forms no character goes out as that byte, as browsers send one.
std::string WireUrl(std::wstring_view url) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string bytes = PathToSystem(url);
  std::string out;
  out.reserve(bytes.size());
  for (unsigned char c : bytes) {
    if (c <= 0x20 || c >= 0x7F) {
      out += '%';
      out += kHex[c >> 4];
      out += kHex[c & 0x0F];
    } else {
      out += static_cast<char>(c);
    }
  }
  return out;
}

// A URL's parts as libcurl reads them.
class ParsedUrl {
 public:
  explicit ParsedUrl(const std::string& url) : u_(curl_url()) {
    ok_ = u_ && curl_url_set(u_, CURLUPART_URL, url.c_str(), 0) == CURLUE_OK;
  }
  ~ParsedUrl() { curl_url_cleanup(u_); }
  ParsedUrl(const ParsedUrl&) = delete;
  ParsedUrl& operator=(const ParsedUrl&) = delete;

  // A redirect's target, taken relative to this URL the way libcurl takes it; false when
  // it cannot be read.
  bool Follow(const std::string& location) {
    ok_ = ok_ && curl_url_set(u_, CURLUPART_URL, location.c_str(),
                              CURLU_URLENCODE | CURLU_ALLOW_SPACE) == CURLUE_OK;
    return ok_;
  }
  // The part, or "" when absent or unreadable; the port counts with its default.
  std::string Get(CURLUPart what) const {
    char* part = nullptr;
    if (!ok_ || curl_url_get(u_, what, &part, what == CURLUPART_PORT ? CURLU_DEFAULT_PORT : 0) !=
                    CURLUE_OK) {
      return "";
    }
    std::string text = part;
    curl_free(part);
    return text;
  }

 private:
  CURLU* u_;
  bool ok_ = false;
};

std::string HostOf(const std::string& url) { return ParsedUrl(url).Get(CURLUPART_HOST); }

// Whether two URLs name the same server: scheme, host and port. Credentials go to the
// server the request was made for, not to one a redirect names.
bool SameServer(const std::string& a, const std::string& b) {
  ParsedUrl pa(a), pb(b);
  return EqualsNoCase(pa.Get(CURLUPART_SCHEME), pb.Get(CURLUPART_SCHEME)) &&
         EqualsNoCase(pa.Get(CURLUPART_HOST), pb.Get(CURLUPART_HOST)) &&
         pa.Get(CURLUPART_PORT) == pb.Get(CURLUPART_PORT);
}

bool IsCredentialHeader(std::string_view line) {
  std::size_t colon = line.find(':');
  if (colon == std::string_view::npos) return false;
  std::string_view name = TrimBlanks(line.substr(0, colon));
  return EqualsNoCase(name, "Authorization") || EqualsNoCase(name, "Cookie");
}

// The first header named name in a raw block, without surrounding blanks.
bool FindHeader(const std::string& block, std::string_view name, std::string* value) {
  std::size_t pos = block.find("\r\n");  // past the status line
  while (pos != std::string::npos && pos + 2 < block.size()) {
    std::size_t start = pos + 2;
    std::size_t end = block.find("\r\n", start);
    std::string_view line(block.data() + start, (end == std::string::npos ? block.size() : end) - start);
    std::size_t colon = line.find(':');
    if (colon != std::string_view::npos && EqualsNoCase(TrimBlanks(line.substr(0, colon)), name)) {
      *value = std::string(TrimBlanks(line.substr(colon + 1)));
      return true;
    }
    pos = end;
  }
  return false;
}

class Request;

class Root : public InternetObject {
 public:
  Root(std::string agent, std::string proxy, std::wstring_view bypass)
      : agent_(std::move(agent)), proxy_(std::move(proxy)) {
    // The bypass list: "<local>" for host names without a dot, or host names, separated
    // by ';', ',' or blanks.
    std::string list = ToCodePage(bypass);
    std::size_t pos = 0;
    while (pos < list.size()) {
      std::size_t end = list.find_first_of("; ,\t", pos);
      if (end == std::string::npos) end = list.size();
      std::string name = list.substr(pos, end - pos);
      if (name == "<local>") {
        bypass_local_ = true;
      } else if (!name.empty()) {
        bypass_hosts_.push_back(name);
      }
      pos = end + 1;
    }
  }

  bool Close() override;

  // Takes request under this root; false when the root is closed.
  bool Adopt(const std::shared_ptr<Request>& request);

  bool SetOption(int option, std::uint32_t value) {
    std::lock_guard lock(mutex_);
    if (closed_) return false;
    switch (option) {
      case inet_option::kConnectTimeout: timeouts_.connect_ms = value; return true;
      case inet_option::kReceiveTimeout: timeouts_.receive_ms = value; return true;
      case inet_option::kDataReceiveTimeout: timeouts_.data_receive_ms = value; return true;
      case inet_option::kConnectRetries:
      case inet_option::kConnectBackoff:
      case inet_option::kSendTimeout:
      case inet_option::kDataSendTimeout:
      case inet_option::kListenTimeout:
      case inet_option::kFromCacheTimeout:
      case inet_option::kFollowSchemeChanges:  // every redirect between them is followed
        return true;
      default:
        return false;
    }
  }

  Timeouts timeouts() const {
    std::lock_guard lock(mutex_);
    return timeouts_;
  }

  const std::string& agent() const { return agent_; }

  // The proxy for url's host, or "" to go direct.
  std::string ProxyFor(const std::string& url) const {
    if (proxy_.empty()) return "";
    std::string host = HostOf(url);
    if (bypass_local_ && host.find('.') == std::string::npos) return "";
    for (const auto& name : bypass_hosts_)
      if (EqualsNoCase(name, host)) return "";
    return proxy_;
  }

 private:
  const std::string agent_;
  const std::string proxy_;
  bool bypass_local_ = false;
  std::vector<std::string> bypass_hosts_;

  mutable std::mutex mutex_;
  bool closed_ = false;
  Timeouts timeouts_;
  std::vector<std::weak_ptr<Request>> requests_;
};

class Request : public InternetObject {
 public:
  ~Request() override { ReleaseTransfer(); }

  bool Close() override {
    {
      std::lock_guard lock(state_mutex_);
      if (closed_.exchange(true)) return false;
      if (multi_) curl_multi_wakeup(multi_);
    }
    // With no call pending the transfer goes now; otherwise the pending call lets it go.
    if (drive_mutex_.try_lock()) {
      ReleaseTransfer();
      drive_mutex_.unlock();
    }
    return true;
  }

  // Sets up the transfer; false when libcurl refuses.
  bool Prepare(const std::shared_ptr<const Root>& root, std::wstring_view url,
               std::wstring_view headers) {
    root_ = root;
    timeouts_ = root->timeouts();
    {
      std::lock_guard lock(state_mutex_);
      multi_ = MultiInitCloseOnExec();
    }
    if (!multi_) return false;
    std::string block = PathToSystem(headers);
    std::size_t pos = 0;
    while (pos < block.size()) {
      std::size_t end = block.find('\n', pos);
      if (end == std::string::npos) end = block.size();
      std::string line(TrimBlanks(std::string_view(block).substr(pos, end - pos)));
      if (!line.empty()) header_lines_.push_back(std::move(line));
      pos = end + 1;
    }
    first_url_ = WireUrl(url);
    return StartHop(first_url_);
  }

  // Drives the transfer until the final response's headers are in, following redirects.
  bool Open() {
    std::unique_lock drive(drive_mutex_);
    bool ok = false;
    for (int hops = 0;; ++hops) {
      Outcome outcome =
          Drive([this] { return final_headers_ || redirect_pending_; }, timeouts_.receive_ms);
      if (outcome == Outcome::kReady && redirect_pending_) {
        ParsedUrl next(hop_url_);
        if (hops < kMaxRedirects && next.Follow(redirect_location_)) {
          const std::string scheme = next.Get(CURLUPART_SCHEME);
          const bool web = scheme == "http" || scheme == "https";
          if (web && StartHop(next.Get(CURLUPART_URL))) continue;
        }
        break;
      }
      ok = outcome == Outcome::kReady;
      if (outcome == Outcome::kDone && result_ == CURLE_OK) {
        // A complete exchange whose last block was not a redirect is the answer.
        PublishFinal();
        ok = true;
      }
      break;
    }
    FinishCall(drive);
    return ok;
  }

  bool Read(std::uint32_t size, const char** data, std::uint32_t* read) {
    *read = 0;
    *data = nullptr;
    std::unique_lock drive(drive_mutex_);
    if (size > kPageBytes) size -= static_cast<std::uint32_t>((body_offset_ + size) % kPageBytes);
    if (closed_ || !easy_) {
      FinishCall(drive);
      return false;
    }
    bool ok = true;
    if (held_begin_ == held_.size() && !done_) {
      // What the last read handed out is the caller's no more.
      held_.clear();
      held_begin_ = 0;
      reading_ = true;
      if (paused_) {
        paused_ = false;
        // May hand over the data held since the pause through OnBody at once.
        if (curl_easy_pause(easy_, CURLPAUSE_CONT) != CURLE_OK) SetDone(CURLE_RECV_ERROR);
      }
      Outcome outcome = Drive([this] { return !held_.empty(); }, timeouts_.data_receive_ms);
      reading_ = false;
      ok = outcome != Outcome::kClosed && (!held_.empty() || outcome == Outcome::kDone);
    }
    const std::size_t n = ok ? std::min<std::size_t>(size, held_.size() - held_begin_) : 0;
    if (ok && n == 0) ok = BodyEndedCleanly();
    if (ok) {
      *data = held_.data() + held_begin_;
      *read = static_cast<std::uint32_t>(n);
      held_begin_ += n;
      body_offset_ += n;
    }
    FinishCall(drive);
    return ok;
  }

  // The final response's header block, as received; "" before it is complete or once
  // the handle is closed.
  std::string RawHeaders() const {
    std::lock_guard lock(state_mutex_);
    return closed_ ? std::string() : raw_headers_;
  }

  std::size_t peak_buffered() const { return peak_buffered_.load(); }

  // After a failed Open: why the connection could not be secured, or "".
  std::string SecurityFailure() {
    std::lock_guard drive(drive_mutex_);
    if (!IsSecurityFailure(result_)) return "";
    return error_text_[0] != '\0' ? error_text_ : curl_easy_strerror(result_);
  }

 private:
  enum class Outcome { kReady, kDone, kClosed, kTimedOut, kFailed };

  // Runs the transfer until ready() holds, the transfer ends, the handle is closed or
  // no byte arrives for idle_ms on an established connection (0: no limit).
  template <typename Ready>
  Outcome Drive(const Ready& ready, std::uint32_t idle_ms) {
    Clock::time_point last_progress = Clock::now();
    progressed_ = false;
    for (;;) {
      if (closed_) return Outcome::kClosed;
      int running = 0;
      if (curl_multi_perform(multi_, &running) != CURLM_OK) return Outcome::kFailed;
      int left = 0;
      while (CURLMsg* msg = curl_multi_info_read(multi_, &left))
        if (msg->msg == CURLMSG_DONE) SetDone(msg->data.result);
      if (closed_) return Outcome::kClosed;
      if (ready()) return Outcome::kReady;
      if (done_) return Outcome::kDone;
      int wait_ms = 1000;
      Clock::time_point now = Clock::now();
      if (progressed_) {
        last_progress = now;
        progressed_ = false;
      }
      if (idle_ms > 0 && connected_) {
        auto idle = std::chrono::duration_cast<std::chrono::milliseconds>(now - last_progress);
        if (idle.count() >= idle_ms) return Outcome::kTimedOut;
        wait_ms = static_cast<int>(std::min<std::int64_t>(wait_ms, idle_ms - idle.count()));
      }
      int events = 0;
      if (curl_multi_poll(multi_, nullptr, 0, wait_ms, &events) != CURLM_OK)
        return Outcome::kFailed;
      // Bytes on the connection count even before they make a whole header line.
      if (events > 0) progressed_ = true;
    }
  }

  // Starts the transfer of one hop on a new easy handle, under the same multi handle so
  // that a close still wakes the pending call. Called before the request is shared, or
  // with drive_mutex_ held.
  bool StartHop(const std::string& url) {
    if (easy_) {
      curl_multi_remove_handle(multi_, easy_);
      curl_easy_cleanup(easy_);
    }
    curl_slist_free_all(header_list_);
    header_list_ = nullptr;
    easy_ = curl_easy_init();
    if (!easy_) return false;
    hop_url_ = url;
    done_ = false;
    result_ = CURLE_OK;
    paused_ = false;
    connected_ = false;
    redirect_pending_ = false;
    block_.clear();
    block_status_ = 0;
    redirect_location_.clear();
    error_text_[0] = '\0';

    const bool same_server = SameServer(first_url_, url);
    for (const std::string& line : header_lines_) {
      if (same_server || !IsCredentialHeader(line))
        header_list_ = curl_slist_append(header_list_, line.c_str());
    }
    std::string proxy = root_->ProxyFor(url);
    if (!proxy.empty()) {
      // Never from a cache: a caching proxy must ask the server.
      header_list_ = curl_slist_append(header_list_, "Pragma: no-cache");
      header_list_ = curl_slist_append(header_list_, "Cache-Control: no-cache");
    }

    return curl_easy_setopt(easy_, CURLOPT_URL, url.c_str()) == CURLE_OK &&
           curl_easy_setopt(easy_, CURLOPT_PROTOCOLS_STR, "http,https") == CURLE_OK &&
           curl_easy_setopt(easy_, CURLOPT_USERAGENT, root_->agent().c_str()) == CURLE_OK &&
           curl_easy_setopt(easy_, CURLOPT_HTTPHEADER, header_list_) == CURLE_OK &&
           // "" keeps libcurl from taking a proxy from the environment.
           curl_easy_setopt(easy_, CURLOPT_PROXY, proxy.c_str()) == CURLE_OK &&
           curl_easy_setopt(easy_, CURLOPT_PROXYTYPE, CURLPROXY_HTTP) == CURLE_OK &&
           curl_easy_setopt(easy_, CURLOPT_SUPPRESS_CONNECT_HEADERS, 1L) == CURLE_OK &&
           curl_easy_setopt(easy_, CURLOPT_FOLLOWLOCATION, 0L) == CURLE_OK &&
           curl_easy_setopt(easy_, CURLOPT_HTTP_VERSION, CURL_HTTP_VERSION_1_1) == CURLE_OK &&
           curl_easy_setopt(easy_, CURLOPT_NOSIGNAL, 1L) == CURLE_OK &&
           curl_easy_setopt(easy_, CURLOPT_BUFFERSIZE, kReceiveBufferBytes) == CURLE_OK &&
           curl_easy_setopt(easy_, CURLOPT_CONNECTTIMEOUT_MS,
                            static_cast<long>(timeouts_.connect_ms)) == CURLE_OK &&
           curl_easy_setopt(easy_, CURLOPT_HEADERFUNCTION, &Request::OnHeader) == CURLE_OK &&
           curl_easy_setopt(easy_, CURLOPT_HEADERDATA, this) == CURLE_OK &&
           curl_easy_setopt(easy_, CURLOPT_WRITEFUNCTION, &Request::OnBody) == CURLE_OK &&
           curl_easy_setopt(easy_, CURLOPT_WRITEDATA, this) == CURLE_OK &&
           curl_easy_setopt(easy_, CURLOPT_PREREQFUNCTION, &Request::OnConnected) == CURLE_OK &&
           curl_easy_setopt(easy_, CURLOPT_PREREQDATA, this) == CURLE_OK &&
           curl_easy_setopt(easy_, CURLOPT_ERRORBUFFER, error_text_) == CURLE_OK &&
           VerifyPeers(easy_) && OpenSocketsCloseOnExec(easy_) &&
           curl_multi_add_handle(multi_, easy_) == CURLM_OK;
  }

  void SetDone(CURLcode result) {
    if (done_) return;
    done_ = true;
    result_ = result;
  }

  // A body that stops short of its announced Content-Length counts as ended: the caller
  // finds the shortfall by comparing sizes and resumes from what it has. Cut short
  // without a length (a chunked body missing its last chunk), nothing would show the
  // loss, so that is an error.
  bool BodyEndedCleanly() const {
    if (result_ == CURLE_OK) return true;
    std::string ignored;
    return result_ == CURLE_PARTIAL_FILE && FindHeader(RawHeaders(), "Content-Length", &ignored);
  }

  // Ends a call: a handle closed meanwhile lets its transfer go. Called with drive held.
  void FinishCall(std::unique_lock<std::mutex>& drive) {
    if (closed_) ReleaseTransfer();
    drive.unlock();
    // A close that came while the lock was held could not release the transfer itself.
    if (closed_ && drive_mutex_.try_lock()) {
      ReleaseTransfer();
      drive_mutex_.unlock();
    }
  }

  // Frees the curl handles. Called with drive_mutex_ held, or from the destructor.
  void ReleaseTransfer() {
    CURLM* multi;
    {
      std::lock_guard lock(state_mutex_);
      multi = multi_;
      multi_ = nullptr;
    }
    if (multi && easy_) curl_multi_remove_handle(multi, easy_);
    if (easy_) curl_easy_cleanup(easy_);
    if (multi) curl_multi_cleanup(multi);
    curl_slist_free_all(header_list_);
    easy_ = nullptr;
    header_list_ = nullptr;
    // The held bytes stay: the last read's caller may still be using them.
  }

  static int OnConnected(void* self, char*, char*, int, int) {
    auto* r = static_cast<Request*>(self);
    r->connected_ = true;
    r->progressed_ = true;
    return CURL_PREREQFUNC_OK;
  }

  static std::size_t OnHeader(char* data, std::size_t size, std::size_t count, void* self) {
    auto* r = static_cast<Request*>(self);
    std::size_t n = size * count;
    r->progressed_ = true;
    std::string_view line(data, n);
    if (line.rfind("HTTP/", 0) == 0) {
      r->block_.clear();
      r->block_status_ = 0;
      r->redirect_location_.clear();
      std::size_t sp = line.find(' ');
      if (sp != std::string_view::npos)
        r->block_status_ = std::atoi(std::string(line.substr(sp + 1, 3)).c_str());
    }
    std::string_view text = TrimBlanks(line);
    if (r->block_.size() + text.size() + 2 > kMaxHeaderBytes) return 0;  // fails the transfer
    r->block_.append(text).append("\r\n");
    if (std::size_t colon = text.find(':'); colon != std::string_view::npos) {
      std::string_view value = TrimBlanks(text.substr(colon + 1));
      if (EqualsNoCase(text.substr(0, colon), "Location") && r->redirect_location_.empty())
        r->redirect_location_ = value;
    }
    if (text.empty()) {
      // The block is complete. An interim answer or a redirect (which Open follows) is
      // not the final response.
      bool interim = r->block_status_ >= 100 && r->block_status_ < 200;
      bool redirect = r->block_status_ >= 300 && r->block_status_ < 400 &&
                      !r->redirect_location_.empty();
      if (redirect) r->redirect_pending_ = true;
      if (!interim && !redirect) r->PublishFinal();
    }
    return n;
  }

  // The header block just received is the final response's. Its body starts at the
  // first byte of a Content-Range, else at 0.
  void PublishFinal() {
    if (final_headers_) return;
    final_headers_ = true;
    std::string range;
    if (FindHeader(block_, "Content-Range", &range) && range.starts_with("bytes "))
      body_offset_ = std::strtoull(range.c_str() + 6, nullptr, 10);
    std::lock_guard lock(state_mutex_);
    raw_headers_ = block_;
  }

  static std::size_t OnBody(char* data, std::size_t size, std::size_t count, void* self) {
    auto* r = static_cast<Request*>(self);
    std::size_t n = size * count;
    r->progressed_ = true;
    if (r->redirect_pending_) return n;  // a redirect's body is dropped with its hop
    r->PublishFinal();
    // The piece waits for the reads, which take it from here without another copy. With
    // no read waiting, or enough held, the transfer pauses and the rest stays with the
    // server.
    if (!r->reading_ || r->held_.size() - r->held_begin_ >= kHeldBytes) {
      r->paused_ = true;
      return CURL_WRITEFUNC_PAUSE;
    }
    r->held_.insert(r->held_.end(), data, data + n);
    std::size_t held = r->held_.size() - r->held_begin_;
    if (held > r->peak_buffered_.load(std::memory_order_relaxed))
      r->peak_buffered_.store(held, std::memory_order_relaxed);
    return n;
  }

  // Touched only by the thread that holds drive_mutex_ (callbacks run inside its calls).
  std::mutex drive_mutex_;
  CURL* easy_ = nullptr;
  curl_slist* header_list_ = nullptr;
  Timeouts timeouts_;
  bool done_ = false;
  CURLcode result_ = CURLE_OK;
  char error_text_[CURL_ERROR_SIZE] = {};  // libcurl's words on the hop's failure
  bool paused_ = false;
  bool connected_ = false;
  bool progressed_ = false;  // a byte, an event or a connection since the idle clock looked
  std::string block_;
  int block_status_ = 0;
  std::string redirect_location_;  // the block's first Location
  bool redirect_pending_ = false;  // the hop ended in a redirect not yet followed
  std::shared_ptr<const Root> root_;
  std::vector<std::string> header_lines_;
  std::string first_url_;
  std::string hop_url_;
  bool reading_ = false;  // a read waits for body bytes
  // Body bytes received and not yet read: held_begin_ onwards.
  std::vector<char> held_;
  std::size_t held_begin_ = 0;
  bool final_headers_ = false;
  std::uint64_t body_offset_ = 0;  // where in the resource the next body byte lies

  // Shared with closing and querying threads.
  mutable std::mutex state_mutex_;
  std::atomic<bool> closed_{false};
  CURLM* multi_ = nullptr;  // written under state_mutex_, which the wake-up also holds
  std::string raw_headers_;
  std::atomic<std::size_t> peak_buffered_{0};
};

bool Root::Close() {
  std::vector<std::weak_ptr<Request>> requests;
  {
    std::lock_guard lock(mutex_);
    if (closed_) return false;
    closed_ = true;
    requests.swap(requests_);
  }
  for (auto& weak : requests)
    if (auto request = weak.lock()) request->Close();
  return true;
}

bool Root::Adopt(const std::shared_ptr<Request>& request) {
  std::lock_guard lock(mutex_);
  if (closed_) return false;
  std::erase_if(requests_, [](const std::weak_ptr<Request>& w) { return w.expired(); });
  requests_.push_back(request);
  return true;
}

std::shared_ptr<Root> AsRoot(const HINTERNET& handle) {
  return std::dynamic_pointer_cast<Root>(handle);
}

// The caller's handle keeps the request alive through the call: no count of its own per
// read.
Request* AsRequest(const HINTERNET& handle) { return dynamic_cast<Request*>(handle.get()); }

}  // namespace

HINTERNET InternetOpen(std::wstring_view agent, InternetAccess access, std::wstring_view proxy,
                       std::wstring_view bypass) {
  GlobalInit();
  if (access == InternetAccess::kProxy) {
    if (proxy.empty()) return nullptr;
    return std::make_shared<Root>(ToCodePage(agent), ToCodePage(proxy), bypass);
  }
  if (access != InternetAccess::kDirect) return nullptr;
  return std::make_shared<Root>(ToCodePage(agent), std::string(), std::wstring_view());
}

bool InternetSetOption(const HINTERNET& root, int option, std::uint32_t value) {
  auto r = AsRoot(root);
  return r && r->SetOption(option, value);
}

HINTERNET InternetOpenUrl(const HINTERNET& root, std::wstring_view url, std::wstring_view headers) {
  last_security_error.clear();
  auto r = AsRoot(root);
  if (!r) return nullptr;
  auto request = std::make_shared<Request>();
  if (!request->Prepare(r, url, headers) || !r->Adopt(request)) return nullptr;
  if (!request->Open()) {
    last_security_error = request->SecurityFailure();
    return nullptr;
  }
  return request;
}

std::wstring InternetLastSecurityError() { return FromCodePage(last_security_error); }

bool HttpQueryInfo(const HINTERNET& request, int info_level, std::wstring* text) {
  text->clear();
  auto r = AsRequest(request);
  if (!r) return false;
  std::string block = r->RawHeaders();
  if (block.empty()) return false;
  std::string value;
  switch (info_level) {
    case inet_query::kRawHeadersCrlf:
      value = block;
      break;
    case inet_query::kStatusCode: {
      std::size_t sp = block.find(' ');
      std::size_t end = block.find_first_not_of("0123456789", sp + 1);
      if (sp == std::string::npos || end == sp + 1) return false;
      value = block.substr(sp + 1, end - sp - 1);
      break;
    }
    case inet_query::kContentLength:
      if (!FindHeader(block, "Content-Length", &value)) return false;
      break;
    case inet_query::kContentRange:
      if (!FindHeader(block, "Content-Range", &value)) return false;
      break;
    default:
      return false;
  }
  *text = FromCodePage(value);
  return true;
}

bool HttpQueryLastModified(const HINTERNET& request, CalendarTime* time) {
  auto r = AsRequest(request);
  if (!r) return false;
  std::string value;
  if (!FindHeader(r->RawHeaders(), "Last-Modified", &value)) return false;
  std::time_t t = curl_getdate(value.c_str(), nullptr);
  std::tm tm{};
  if (t == -1 || gmtime_r(&t, &tm) == nullptr) return false;
  *time = CalendarTime{tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday,
                       tm.tm_hour,        tm.tm_min,     tm.tm_sec, 0};
  return true;
}

bool InternetReadFile(const HINTERNET& request, std::uint32_t size, const char** data,
                      std::uint32_t* read) {
  auto r = AsRequest(request);
  if (!data || !read) return false;
  *data = nullptr;
  *read = 0;
  return r && r->Read(size, data, read);
}

bool InternetCloseHandle(const HINTERNET& handle) {
  // A copy keeps the object alive should the caller's reference be reset meanwhile.
  HINTERNET keep = handle;
  return keep && keep->Close();
}

std::size_t InternetPeakBufferedBytes(const HINTERNET& request) {
  auto r = AsRequest(request);
  return r ? r->peak_buffered() : 0;
}

}  // namespace zenpo::platform
