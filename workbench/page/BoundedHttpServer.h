// An HTTP server that no client can hold up. httplib parses and routes each request, but the
// sockets are this server's own: one thread accepts connections and reads every request whole
// before a worker sees it, so a slow or silent client holds a connection slot for a few seconds
// and never a worker; a client that has not shown it is trusted gives its slot up first, and
// within a shorter time; connections beyond the cap are refused at once; a client that hangs up
// on a request being run is noticed at once; and Stop ends every connection at once, whatever the
// clients do.
#pragma once

#include <sys/socket.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <string_view>
#include <thread>
#include <unordered_map>
#include <vector>

#include <httplib.h>

namespace ornr::workbench {

class HttpServerError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

struct HttpLimits {
  /// Connections open at once; the file handles left for the rest of the process lower it.
  std::size_t maxConnections = 64;
  /// Threads that run requests; an event stream holds one for as long as it is open.
  std::size_t workers = 24;
  /// From a request's first byte (or the connection's start) to its last.
  std::chrono::milliseconds requestTime{5000};
  /// From a connection's start to a request that shows it is trusted (SetTrusted).
  std::chrono::milliseconds untrustedTime{2000};
  /// A kept-alive connection waiting for its next request.
  std::chrono::milliseconds idleTime{5000};
  /// A response that the client does not take in.
  std::chrono::milliseconds writeTime{5000};
  std::size_t maxHeaderBytes = 16 * 1024;
  std::size_t maxBodyBytes = 64 * 1024;
  std::size_t requestsPerConnection = 100;
  /// File handles kept free for the rest of the process (its files, saves, recovery files).
  std::size_t reservedFiles = 32;
};

/// Where a server listens, as bound.
struct BoundAddress {
  std::string host;  // numeric, IPv6 without brackets
  int port = 0;
  bool loopback = false;
  bool wildcard = false;  // every interface
};

/// Whether the numeric address is a loopback address (IPv4-mapped ones included).
bool IsLoopbackAddress(const sockaddr* address);

class BoundedHttpServer : public httplib::Server {
 public:
  explicit BoundedHttpServer(HttpLimits limits);
  /// Stops.
  ~BoundedHttpServer() override;
  BoundedHttpServer(const BoundedHttpServer&) = delete;
  BoundedHttpServer& operator=(const BoundedHttpServer&) = delete;

  /// Binds host (an address or a name) and port (0: any free port) without listening yet.
  /// Throws HttpServerError.
  BoundAddress Bind(const std::string& host, int port);
  /// Listens on the bound address and starts the threads. Throws HttpServerError.
  void Start();
  /// Ends every connection, waits for the threads; a request being run sees Stopping() and
  /// its reads and writes fail at once. Safe to call twice.
  void Stop() noexcept;
  bool Stopping() const noexcept { return stopping_.load(); }
  /// The cap on open connections, as the file handles allow (known after Start).
  std::size_t MaxConnections() const noexcept { return maxConnections_; }

  /// Before Start: whether a request's target (as its request line has it, "/path?query") shows
  /// that its client is trusted, asked on the receiving thread once the line has come. A
  /// connection is trusted from then on. Until it is, it has untrustedTime from its start, and
  /// when the slots run out, the untrusted connection that waited longest gives its slot up
  /// first. Without it every connection is trusted.
  void SetTrusted(std::function<bool(std::string_view target)> trusted) {
    trusted_ = std::move(trusted);
  }
  /// Before Start: called on the receiving thread when the client of a request being run hangs
  /// up, and again now and then until the request ends, so that a handler waiting for something
  /// to send can wake; its writes then fail at once.
  void SetHangUpListener(std::function<void()> listener) { hangUp_ = std::move(listener); }

 private:
  struct Connection;
  using Clock = std::chrono::steady_clock;

  void Receive();
  void Work();
  /// Accepts what waits; false when out of file handles.
  bool Accept();
  /// Reads what came; false when the connection is to be closed.
  bool ReadFrom(Connection& connection);
  /// Hands the connection to a worker when its request is whole, answers and closes it when the
  /// request breaks a limit; false when it was closed.
  bool DispatchIfWhole(Connection& connection);
  void TakeBack();
  void Close(Connection& connection, std::string_view answer = {});
  /// Closes the untrusted connection that waited longest, else the kept-alive connection that
  /// waited longest; false when there is neither.
  bool MakeRoom();
  /// Whether the request line in pending shows the connection is trusted.
  void CheckTrust(Connection& connection);
  /// A deadline no later than an untrusted connection's.
  Clock::time_point Bounded(const Connection& connection, Clock::time_point deadline) const;

  HttpLimits limits_;
  std::function<bool(std::string_view)> trusted_;
  std::function<void()> hangUp_;
  std::size_t maxConnections_ = 0;
  int listenFd_ = -1;
  int stopFd_ = -1;  // eventfd, readable once stopping
  int backFd_ = -1;  // eventfd, readable while workers hand connections back
  std::atomic<bool> stopping_{false};
  std::thread receiver_;
  std::vector<std::thread> workers_;
  // Owned by the receiving thread while it runs; a connection with a worker is busy.
  std::unordered_map<int, std::unique_ptr<Connection>> connections_;
  std::mutex mutex_;
  std::condition_variable ready_;
  std::deque<Connection*> whole_;                       // requests waiting for a worker
  std::vector<std::pair<Connection*, bool>> returned_;  // from workers: keep the connection?
};

}  // namespace ornr::workbench
