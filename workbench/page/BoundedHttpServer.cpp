#include "workbench/page/BoundedHttpServer.h"

#include <arpa/inet.h>
#include <dirent.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <charconv>
#include <cstring>

namespace ornr::workbench {

using namespace std::chrono_literals;

namespace {
// How often a handler is woken again while its client is gone and it has not noticed.
constexpr auto kTellHangUpAgain = 250ms;
}  // namespace

struct BoundedHttpServer::Connection {
  int fd = -1;
  // Bytes read and not yet served: the request being received, or the whole one for a worker.
  std::string pending;
  Clock::time_point opened;
  Clock::time_point requestStarted;
  Clock::time_point deadline;
  // A request of it showed the client is trusted.
  bool trusted = false;
  // While a worker has it: the client hung up (it stays so), or shut its side of the connection.
  std::atomic<bool> gone{false};
  bool shutSeen = false;
  std::size_t served = 0;
  // The whole request's length in pending, once it is with a worker.
  std::size_t requestBytes = 0;
  bool busy = false;  // a worker has it
  // A kept-alive connection with no byte of its next request yet, and since when.
  bool Idle() const { return !busy && served > 0 && pending.empty(); }
  Clock::time_point idleSince;
};

namespace {

std::string NumericHost(const sockaddr* address) {
  char text[INET6_ADDRSTRLEN] = {};
  if (address->sa_family == AF_INET) {
    inet_ntop(AF_INET, &reinterpret_cast<const sockaddr_in*>(address)->sin_addr, text, sizeof text);
    return text;
  }
  if (address->sa_family != AF_INET6) return {};
  const in6_addr& v6 = reinterpret_cast<const sockaddr_in6*>(address)->sin6_addr;
  // An IPv4 client of a socket bound to "::" shows as ::ffff:a.b.c.d; it named a.b.c.d.
  if (IN6_IS_ADDR_V4MAPPED(&v6)) {
    inet_ntop(AF_INET, &v6.s6_addr[12], text, sizeof text);
    return text;
  }
  inet_ntop(AF_INET6, &v6, text, sizeof text);
  return text;
}

int PortOf(const sockaddr* address) {
  if (address->sa_family == AF_INET) {
    return ntohs(reinterpret_cast<const sockaddr_in*>(address)->sin_port);
  }
  if (address->sa_family == AF_INET6) {
    return ntohs(reinterpret_cast<const sockaddr_in6*>(address)->sin6_port);
  }
  return -1;
}

bool IsWildcard(const sockaddr* address) {
  if (address->sa_family == AF_INET) {
    return reinterpret_cast<const sockaddr_in*>(address)->sin_addr.s_addr == htonl(INADDR_ANY);
  }
  return address->sa_family == AF_INET6 &&
         IN6_IS_ADDR_UNSPECIFIED(&reinterpret_cast<const sockaddr_in6*>(address)->sin6_addr);
}

std::size_t OpenFileCount() {
  DIR* dir = opendir("/proc/self/fd");
  if (dir == nullptr) return 0;
  std::size_t count = 0;
  while (const dirent* entry = readdir(dir)) {
    if (entry->d_name[0] != '.') ++count;
  }
  closedir(dir);
  return count > 0 ? count - 1 : 0;  // not the folder's own
}

std::string Answer(int status, std::string_view reason, std::string_view text) {
  std::string answer = "HTTP/1.1 " + std::to_string(status) + " " + std::string(reason) + "\r\n";
  answer += "Content-Type: text/plain; charset=utf-8\r\n";
  answer += "Content-Length: " + std::to_string(text.size() + 1) + "\r\n";
  answer += "Connection: close\r\nCache-Control: no-store\r\n";
  if (status == 503) answer += "Retry-After: 1\r\n";
  answer += "\r\n" + std::string(text) + "\n";
  return answer;
}

// Waits until fd is ready for events or stopFd is readable; false on stop, time-out or error.
bool WaitFor(int fd, short events, int stopFd, std::chrono::steady_clock::time_point deadline) {
  for (;;) {
    const auto left =
        std::chrono::ceil<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) return false;
    pollfd fds[2] = {{fd, events, 0}, {stopFd, POLLIN, 0}};
    const int n = poll(fds, 2, static_cast<int>(std::min<long long>(left.count(), 60000)));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 || fds[1].revents != 0) return false;
    // A hang-up or error is "ready": the next read or write fails at once and says so.
    if (fds[0].revents != 0) return true;
  }
}

// A request read whole in advance, then the socket for the response. Reads past the bytes in
// hand (a body httplib skips) wait no longer than the request's deadline; a write waits for the
// client no longer than the write time; both fail at once when the server stops.
class RequestStream final : public httplib::Stream {
 public:
  RequestStream(int fd, const std::string& pending, int stopFd,
                std::chrono::steady_clock::time_point readDeadline,
                std::chrono::milliseconds writeTime, const std::atomic<bool>& gone)
      : fd_(fd),
        pending_(pending),
        stopFd_(stopFd),
        readDeadline_(readDeadline),
        writeTime_(writeTime),
        gone_(gone) {}

  using httplib::Stream::write;

  bool is_readable() const override {
    return used_ < pending_.size() ||
           WaitFor(fd_, POLLIN, stopFd_, std::chrono::steady_clock::now() + 1ms);
  }
  bool is_writable() const override {
    return !gone_ && WaitFor(fd_, POLLOUT, stopFd_, std::chrono::steady_clock::now() + writeTime_);
  }
  ssize_t read(char* ptr, size_t size) override {
    if (used_ < pending_.size()) {
      const std::size_t n = std::min(size, pending_.size() - used_);
      std::memcpy(ptr, pending_.data() + used_, n);
      used_ += n;
      return static_cast<ssize_t>(n);
    }
    if (!WaitFor(fd_, POLLIN, stopFd_, readDeadline_)) return -1;
    ssize_t n = 0;
    do {
      n = recv(fd_, ptr, size, MSG_DONTWAIT);
    } while (n < 0 && errno == EINTR);
    return n;
  }
  ssize_t write(const char* ptr, size_t size) override {
    // A client that hung up may still take a write or two into its socket's buffers.
    if (gone_) return -1;
    for (;;) {
      const ssize_t n = send(fd_, ptr, size, MSG_NOSIGNAL | MSG_DONTWAIT);
      if (n >= 0) return n;
      if (errno == EINTR) continue;
      if (errno != EAGAIN && errno != EWOULDBLOCK) return -1;
      if (!WaitFor(fd_, POLLOUT, stopFd_, std::chrono::steady_clock::now() + writeTime_)) {
        return -1;
      }
    }
  }
  void get_remote_ip_and_port(std::string& ip, int& port) const override {
    sockaddr_storage address{};
    socklen_t length = sizeof address;
    if (getpeername(fd_, reinterpret_cast<sockaddr*>(&address), &length) != 0) return;
    ip = NumericHost(reinterpret_cast<const sockaddr*>(&address));
    port = PortOf(reinterpret_cast<const sockaddr*>(&address));
  }
  void get_local_ip_and_port(std::string& ip, int& port) const override {
    sockaddr_storage address{};
    socklen_t length = sizeof address;
    if (getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &length) != 0) return;
    ip = NumericHost(reinterpret_cast<const sockaddr*>(&address));
    port = PortOf(reinterpret_cast<const sockaddr*>(&address));
  }
  socket_t socket() const override { return fd_; }

  std::size_t Used() const noexcept { return used_; }

 private:
  int fd_;
  const std::string& pending_;
  std::size_t used_ = 0;
  int stopFd_;
  std::chrono::steady_clock::time_point readDeadline_;
  std::chrono::milliseconds writeTime_;
  const std::atomic<bool>& gone_;
};

// The target of a request line ("GET /a/b?c HTTP/1.1"); empty when it is no such line.
std::string_view RequestTarget(std::string_view line) {
  const std::size_t start = line.find(' ');
  if (start == std::string_view::npos) return {};
  const std::size_t end = line.find(' ', start + 1);
  if (end == std::string_view::npos) return {};
  return line.substr(start + 1, end - start - 1);
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) ==
                  std::tolower(static_cast<unsigned char>(y));
         });
}

std::string_view Trim(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r')) {
    text.remove_suffix(1);
  }
  return text;
}

// Where a chunked body that starts at from ends, when it has come whole.
struct ChunkedBody {
  enum class State { Incomplete, Whole, TooLarge, Malformed };
  State state = State::Incomplete;
  std::size_t end = 0;
};

ChunkedBody FindChunkedEnd(std::string_view data, std::size_t from, std::size_t maxBody) {
  std::size_t at = from;
  std::size_t total = 0;
  for (;;) {
    const std::size_t lineEnd = data.find("\r\n", at);
    if (lineEnd == std::string_view::npos) return {};
    std::size_t size = 0;
    const auto [end, error] = std::from_chars(data.data() + at, data.data() + lineEnd, size, 16);
    if (error != std::errc{} || (end != data.data() + lineEnd && *end != ';')) {
      return {ChunkedBody::State::Malformed};
    }
    at = lineEnd + 2;
    if (size == 0) break;
    total += size;
    if (size > maxBody || total > maxBody) return {ChunkedBody::State::TooLarge};
    if (data.size() < at + size + 2) return {};
    at += size + 2;
  }
  // Trailer fields, then an empty line.
  for (;;) {
    const std::size_t lineEnd = data.find("\r\n", at);
    if (lineEnd == std::string_view::npos) return {};
    const bool empty = lineEnd == at;
    at = lineEnd + 2;
    if (empty) return {ChunkedBody::State::Whole, at};
  }
}

}  // namespace

bool IsLoopbackAddress(const sockaddr* address) {
  if (address->sa_family == AF_INET) {
    return (ntohl(reinterpret_cast<const sockaddr_in*>(address)->sin_addr.s_addr) >> 24) == 127;
  }
  if (address->sa_family != AF_INET6) return false;
  const in6_addr& v6 = reinterpret_cast<const sockaddr_in6*>(address)->sin6_addr;
  return IN6_IS_ADDR_LOOPBACK(&v6) || (IN6_IS_ADDR_V4MAPPED(&v6) && v6.s6_addr[12] == 127);
}

BoundedHttpServer::BoundedHttpServer(HttpLimits limits) : limits_(limits) {
  stopFd_ = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  backFd_ = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  if (stopFd_ < 0 || backFd_ < 0) {
    if (stopFd_ >= 0) close(stopFd_);
    if (backFd_ >= 0) close(backFd_);
    throw HttpServerError(std::string("no event file for the server: ") + std::strerror(errno));
  }
  // What httplib tells clients in its Keep-Alive header.
  set_keep_alive_max_count(limits_.requestsPerConnection);
  set_keep_alive_timeout(
      std::chrono::duration_cast<std::chrono::seconds>(limits_.idleTime).count());
  set_payload_max_length(limits_.maxBodyBytes);
}

BoundedHttpServer::~BoundedHttpServer() {
  Stop();
  close(stopFd_);
  close(backFd_);
}

BoundAddress BoundedHttpServer::Bind(const std::string& host, int port) {
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_flags = AI_PASSIVE | AI_NUMERICSERV;
  addrinfo* found = nullptr;
  const std::string service = std::to_string(port);
  if (const int error = getaddrinfo(host.c_str(), service.c_str(), &hints, &found); error != 0) {
    throw HttpServerError("cannot listen on " + host + ": " + gai_strerror(error));
  }
  std::string why = "no address";
  for (const addrinfo* ai = found; ai != nullptr && listenFd_ < 0; ai = ai->ai_next) {
    const int fd = socket(ai->ai_family, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0) {
      why = std::strerror(errno);
      continue;
    }
    const int on = 1;
    setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    if (bind(fd, ai->ai_addr, ai->ai_addrlen) != 0) {
      why = std::strerror(errno);
      close(fd);
      continue;
    }
    listenFd_ = fd;
  }
  freeaddrinfo(found);
  if (listenFd_ < 0) throw HttpServerError("cannot listen on " + host + ": " + why);
  sockaddr_storage bound{};
  socklen_t length = sizeof bound;
  getsockname(listenFd_, reinterpret_cast<sockaddr*>(&bound), &length);
  const auto* address = reinterpret_cast<const sockaddr*>(&bound);
  return {NumericHost(address), PortOf(address), IsLoopbackAddress(address), IsWildcard(address)};
}

void BoundedHttpServer::Start() {
  if (listenFd_ < 0) throw HttpServerError("the server is not bound");
  if (::listen(listenFd_, 64) != 0) {
    throw HttpServerError(std::string("cannot listen: ") + std::strerror(errno));
  }
  // The connections take only the file handles the rest of the process can spare; one more is
  // taken for a moment by each connection that is accepted only to be refused.
  rlimit files{};
  getrlimit(RLIMIT_NOFILE, &files);
  const std::size_t limit = files.rlim_cur == RLIM_INFINITY ? SIZE_MAX : files.rlim_cur;
  const std::size_t taken = OpenFileCount() + limits_.reservedFiles + 1;
  maxConnections_ = std::min(limits_.maxConnections, limit > taken ? limit - taken : 0);
  if (maxConnections_ == 0) {
    throw HttpServerError("too few file handles are left to serve the panel (the limit is " +
                          std::to_string(limit) + ")");
  }
  // httplib ends a chunked response early once its server socket is gone.
  svr_sock_ = listenFd_;
  receiver_ = std::thread([this] { Receive(); });
  for (std::size_t i = 0; i < limits_.workers; ++i) workers_.emplace_back([this] { Work(); });
}

void BoundedHttpServer::Stop() noexcept {
  stopping_ = true;
  const std::uint64_t one = 1;
  [[maybe_unused]] const ssize_t written = write(stopFd_, &one, sizeof one);
  svr_sock_ = INVALID_SOCKET;
  {
    const std::lock_guard lock(mutex_);
    ready_.notify_all();
  }
  if (receiver_.joinable()) receiver_.join();
  for (std::thread& worker : workers_) {
    if (worker.joinable()) worker.join();
  }
  workers_.clear();
  for (auto& [fd, connection] : connections_) close(fd);
  connections_.clear();
  whole_.clear();
  returned_.clear();
  if (listenFd_ >= 0) close(listenFd_);
  listenFd_ = -1;
}

void BoundedHttpServer::Receive() {
  Clock::time_point acceptAgain{};
  Clock::time_point toldHangUp{};
  const auto tellHangUp = [&] {
    toldHangUp = Clock::now();
    if (hangUp_) hangUp_();
  };
  std::vector<pollfd> fds;
  std::vector<Connection*> polled;
  while (!stopping_) {
    const auto now = Clock::now();
    const bool accepting = now >= acceptAgain;
    fds = {{stopFd_, POLLIN, 0}, {backFd_, POLLIN, 0}, {accepting ? listenFd_ : -1, POLLIN, 0}};
    polled.clear();
    auto wake = accepting ? now + 1h : acceptAgain;
    bool anyGone = false;
    for (const auto& [fd, connection] : connections_) {
      if (connection->busy) {
        // A request being run: watched only for its client hanging up. Once it has, the
        // listener is told again now and then, in case the handler was not yet waiting.
        if (connection->gone) {
          anyGone = true;
          continue;
        }
        fds.push_back({fd, static_cast<short>(connection->shutSeen ? 0 : POLLRDHUP), 0});
        polled.push_back(connection.get());
        continue;
      }
      fds.push_back({fd, POLLIN, 0});
      polled.push_back(connection.get());
      wake = std::min(wake, connection->deadline);
    }
    if (anyGone) {
      if (now - toldHangUp >= kTellHangUpAgain) tellHangUp();
      wake = std::min(wake, toldHangUp + kTellHangUpAgain);
    }
    const auto wait = std::chrono::ceil<std::chrono::milliseconds>(wake - now);
    if (poll(fds.data(), fds.size(),
             static_cast<int>(std::clamp<long long>(wait.count(), 0, 3600000))) < 0) {
      if (errno == EINTR) continue;
      return;
    }
    if (fds[0].revents != 0) return;
    // Reads first: taking connections back and accepting new ones may close polled ones.
    bool hungUp = false;
    for (std::size_t i = 0; i < polled.size(); ++i) {
      const short events = fds[i + 3].revents;
      if (events == 0) continue;
      Connection& connection = *polled[i];
      if (connection.busy) {
        if ((events & (POLLHUP | POLLERR)) != 0) connection.gone = true;
        connection.shutSeen = true;
        hungUp = true;
        continue;
      }
      if (!ReadFrom(connection)) {
        Close(connection);
        continue;
      }
      DispatchIfWhole(connection);
    }
    if (hungUp) tellHangUp();
    std::vector<Connection*> late;
    for (const auto& [fd, connection] : connections_) {
      if (!connection->busy && connection->deadline <= Clock::now())
        late.push_back(connection.get());
    }
    for (Connection* connection : late) {
      // A kept-alive connection that fell silent just ends; a request that did not come whole
      // in time is told why.
      Close(*connection, connection->Idle() ? ""
                                            : Answer(408, "Request Timeout",
                                                     "refused: the request came too slowly"));
    }
    if (fds[1].revents != 0) TakeBack();
    if (fds[2].revents != 0) {
      // Out of file handles: the connections waiting in the queue wait a little longer.
      if (!Accept()) acceptAgain = Clock::now() + 50ms;
    }
  }
}

bool BoundedHttpServer::Accept() {
  // A bounded round, so that a flood of connections does not starve the open ones.
  for (int round = 0; round < 64; ++round) {
    const int fd = accept4(listenFd_, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
    if (fd < 0) {
      if (errno == EINTR || errno == ECONNABORTED) continue;
      return errno == EAGAIN || errno == EWOULDBLOCK;
    }
    if (connections_.size() >= maxConnections_ && !MakeRoom()) {
      const std::string answer =
          Answer(503, "Service Unavailable",
                 "refused: the panel serves " + std::to_string(maxConnections_) +
                     " connections at most; try again in a moment");
      [[maybe_unused]] const ssize_t sent =
          send(fd, answer.data(), answer.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
      shutdown(fd, SHUT_WR);
      close(fd);
      continue;
    }
    const int on = 1;
    // A response is written as its head and then its body: without this the body would wait
    // for the client's delayed acknowledgement of the head.
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    auto connection = std::make_unique<Connection>();
    connection->fd = fd;
    connection->trusted = !trusted_;
    connection->opened = connection->requestStarted = Clock::now();
    connection->deadline = Bounded(*connection, connection->opened + limits_.requestTime);
    connections_.emplace(fd, std::move(connection));
  }
  return true;
}

bool BoundedHttpServer::ReadFrom(Connection& connection) {
  const bool wasIdle = connection.Idle();
  const std::size_t most = limits_.maxHeaderBytes + limits_.maxBodyBytes + 1;
  char chunk[16384];
  for (;;) {
    const ssize_t n = recv(connection.fd, chunk, sizeof chunk, MSG_DONTWAIT);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return errno == EAGAIN || errno == EWOULDBLOCK;
    if (n == 0) return false;
    connection.pending.append(chunk, static_cast<std::size_t>(n));
    if (wasIdle) {
      connection.requestStarted = Clock::now();
      connection.deadline = Bounded(connection, connection.requestStarted + limits_.requestTime);
    }
    // The rest waits in the socket: the request breaks a limit before it is needed.
    if (connection.pending.size() >= most || static_cast<std::size_t>(n) < sizeof chunk) {
      return true;
    }
  }
}

bool BoundedHttpServer::DispatchIfWhole(Connection& connection) {
  std::string& pending = connection.pending;
  // Blank lines between requests are allowed and skipped.
  const std::size_t start = pending.find_first_not_of("\r\n");
  if (start == std::string::npos) {
    pending.clear();
    return true;
  }
  if (start > 0) pending.erase(0, start);
  if (!connection.trusted) CheckTrust(connection);
  std::size_t headEnd = pending.find("\r\n\r\n");
  std::size_t headLength = headEnd == std::string::npos ? headEnd : headEnd + 4;
  if (const std::size_t bare = pending.find("\n\n"); bare < headEnd) headLength = bare + 2;
  if (headLength == std::string::npos || headLength > limits_.maxHeaderBytes) {
    if (pending.size() <= limits_.maxHeaderBytes) return true;
    Close(connection, Answer(431, "Request Header Fields Too Large",
                             "refused: the request's head is larger than " +
                                 std::to_string(limits_.maxHeaderBytes) + " bytes"));
    return false;
  }
  std::size_t bodyLength = 0;
  bool chunked = false;
  const std::string_view head(pending.data(), headLength);
  for (std::size_t line = head.find('\n') + 1; line < head.size();) {
    std::size_t end = head.find('\n', line);
    if (end == std::string_view::npos) end = head.size();
    const std::string_view field = head.substr(line, end - line);
    line = end + 1;
    const std::size_t colon = field.find(':');
    if (colon == std::string_view::npos) continue;
    const std::string_view name = Trim(field.substr(0, colon));
    const std::string_view value = Trim(field.substr(colon + 1));
    if (EqualsNoCase(name, "Transfer-Encoding")) {
      chunked = true;
      continue;
    }
    if (!EqualsNoCase(name, "Content-Length")) continue;
    const auto [end_, error] =
        std::from_chars(value.data(), value.data() + value.size(), bodyLength);
    if (error != std::errc{} || end_ != value.data() + value.size()) {
      Close(connection, Answer(400, "Bad Request", "refused: a Content-Length that is no number"));
      return false;
    }
  }
  if (chunked) {
    const ChunkedBody body = FindChunkedEnd(pending, headLength, limits_.maxBodyBytes);
    if (body.state == ChunkedBody::State::Incomplete) return true;
    if (body.state == ChunkedBody::State::Malformed) {
      Close(connection, Answer(400, "Bad Request", "refused: a malformed chunked body"));
      return false;
    }
    bodyLength = body.state == ChunkedBody::State::Whole ? body.end - headLength : SIZE_MAX;
  }
  // A whole chunked body was measured without its chunks' framing.
  if (bodyLength > limits_.maxBodyBytes && !(chunked && bodyLength != SIZE_MAX)) {
    Close(connection, Answer(413, "Payload Too Large",
                             "refused: the request's body is larger than " +
                                 std::to_string(limits_.maxBodyBytes) + " bytes"));
    return false;
  }
  if (pending.size() < headLength + bodyLength) return true;
  connection.requestBytes = headLength + bodyLength;
  connection.busy = true;
  {
    const std::lock_guard lock(mutex_);
    whole_.push_back(&connection);
  }
  ready_.notify_one();
  return true;
}

void BoundedHttpServer::Work() {
  for (;;) {
    Connection* connection = nullptr;
    {
      std::unique_lock lock(mutex_);
      ready_.wait(lock, [this] { return stopping_ || !whole_.empty(); });
      if (stopping_) return;
      connection = whole_.front();
      whole_.pop_front();
    }
    const bool last = connection->served + 1 >= limits_.requestsPerConnection;
    bool closed = false;
    bool done = false;
    {
      RequestStream stream(connection->fd, connection->pending, stopFd_, connection->deadline,
                           limits_.writeTime, connection->gone);
      try {
        done = process_request(stream, last, closed, nullptr);
      } catch (...) {
        done = false;
      }
      // A request refused before its body was read leaves the body unread, and the next
      // request starts after it.
      connection->pending.erase(0, std::max(stream.Used(), connection->requestBytes));
    }
    ++connection->served;
    const bool keep = done && !closed && !last && !stopping_;
    {
      const std::lock_guard lock(mutex_);
      returned_.emplace_back(connection, keep);
    }
    const std::uint64_t one = 1;
    [[maybe_unused]] const ssize_t written = write(backFd_, &one, sizeof one);
  }
}

void BoundedHttpServer::TakeBack() {
  std::uint64_t count = 0;
  [[maybe_unused]] const ssize_t read_ = read(backFd_, &count, sizeof count);
  std::vector<std::pair<Connection*, bool>> returned;
  {
    const std::lock_guard lock(mutex_);
    returned.swap(returned_);
  }
  for (const auto& [connection, keep] : returned) {
    connection->busy = false;
    if (!keep || connection->gone) {
      Close(*connection);
      continue;
    }
    const auto now = Clock::now();
    connection->idleSince = now;
    connection->requestStarted = now;
    connection->deadline = Bounded(
        *connection, now + (connection->pending.empty() ? limits_.idleTime : limits_.requestTime));
    connection->shutSeen = false;
    // A client may have sent its next request already.
    DispatchIfWhole(*connection);
  }
}

void BoundedHttpServer::Close(Connection& connection, std::string_view answer) {
  const int fd = connection.fd;
  if (!answer.empty()) {
    [[maybe_unused]] const ssize_t sent =
        send(fd, answer.data(), answer.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
  }
  shutdown(fd, SHUT_WR);
  close(fd);
  connections_.erase(fd);
}

bool BoundedHttpServer::MakeRoom() {
  Connection* untrusted = nullptr;
  Connection* idle = nullptr;
  for (const auto& [fd, connection] : connections_) {
    if (connection->busy) continue;
    if (!connection->trusted && (untrusted == nullptr || connection->opened < untrusted->opened)) {
      untrusted = connection.get();
    }
    if (connection->Idle() && (idle == nullptr || connection->idleSince < idle->idleSince)) {
      idle = connection.get();
    }
  }
  Connection* closed = untrusted != nullptr ? untrusted : idle;
  if (closed == nullptr) return false;
  Close(*closed);
  return true;
}

void BoundedHttpServer::CheckTrust(Connection& connection) {
  const std::size_t end = connection.pending.find('\n');
  if (end == std::string::npos) return;
  std::string_view line(connection.pending.data(), end);
  if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
  if (!trusted_(RequestTarget(line))) return;
  connection.trusted = true;
  connection.deadline = connection.requestStarted + limits_.requestTime;
}

BoundedHttpServer::Clock::time_point BoundedHttpServer::Bounded(const Connection& connection,
                                                                Clock::time_point deadline) const {
  if (connection.trusted) return deadline;
  return std::min(deadline, connection.opened + limits_.untrustedTime);
}

}  // namespace ornr::workbench
