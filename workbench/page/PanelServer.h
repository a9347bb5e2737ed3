// The panel's web server: serves the page, streams the panel's picture to it and queues what the
// user does there for the user-interface thread. Its threads never touch the module or the panel.
#pragma once

#include <condition_variable>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <string_view>
#include <thread>

#include "workbench/page/PageActions.h"
#include "workbench/page/PanelFeed.h"

namespace httplib {
class Server;
}

namespace ornr::workbench {

class PanelServerError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

struct PanelAddress {
  std::string host = "127.0.0.1";
  int port = 0;  // 0: any free port
};

/// "ADDR:PORT", "ADDR:", ":PORT" or "" (an IPv6 address in brackets). Throws PanelServerError.
PanelAddress ParsePanelAddress(std::string_view text);

class PanelServer {
 public:
  /// Binds the address and starts serving. Throws PanelServerError.
  PanelServer(const PanelAddress& address, PanelFeed& feed, PageActionQueue& actions);
  /// Stops serving; open event streams end.
  ~PanelServer();
  PanelServer(const PanelServer&) = delete;
  PanelServer& operator=(const PanelServer&) = delete;

  /// The address to open, token included.
  std::string Url() const;

 private:
  bool HostAllowed(std::string_view host) const;
  void Route();

  PanelFeed& feed_;
  PageActionQueue& actions_;
  std::unique_ptr<httplib::Server> server_;
  std::string host_;
  int port_ = 0;
  std::string token_;
  std::thread thread_;
  // Event streams still open: the server is stopped only after each has ended its last chunk,
  // or a page would see the stream cut off.
  std::mutex streamsMutex_;
  std::condition_variable streamsEnded_;
  int openStreams_ = 0;
};

}  // namespace ornr::workbench
