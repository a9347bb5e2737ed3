// The panel's web server: serves the page, streams what changed to it (a snapshot, then numbered
// steps), answers its queries and queues what the user does there, all through the user-interface
// thread. Its own threads never touch the module or the panel.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "workbench/page/PageActions.h"
#include "workbench/page/PanelFeed.h"

namespace httplib {
class DataSink;
struct Request;
struct Response;
}  // namespace httplib

namespace ornr::workbench {

class BoundedHttpServer;

class PanelServerError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

struct PanelAddress {
  std::string host = "127.0.0.1";
  int port = 0;  // 0: any free port
  /// Whether an address other than loopback may be served (plain HTTP, reachable by others).
  bool network = false;
};

/// "ADDR:PORT", "ADDR:", ":PORT" or "" (an IPv6 address in brackets). Throws PanelServerError.
PanelAddress ParsePanelAddress(std::string_view text);

class PanelServer {
 public:
  /// Binds the address and starts serving. Throws PanelServerError, also for an address other
  /// than loopback unless the address allows the network. texts: the page's message catalogue
  /// (PageTextsJson); empty: the page stays English.
  PanelServer(const PanelAddress& address, PanelFeed& feed, PageActionQueue& actions,
              std::string texts = {});
  /// Stops serving at once, whatever the clients do; open event streams are told first.
  ~PanelServer();
  PanelServer(const PanelServer&) = delete;
  PanelServer& operator=(const PanelServer&) = delete;

  /// The address to open, token included: the first of Urls.
  std::string Url() const;
  /// Every address that reaches the panel, token included, loopback first: the bound address,
  /// or each of the machine's addresses when every interface is bound.
  std::vector<std::string> Urls() const;
  /// For an address other than loopback: a warning that the panel is open to the network and
  /// its token travels in clear, naming the address; empty otherwise.
  std::string NetworkWarning() const;

 private:
  /// Where one page's event stream stands.
  struct EventStream {
    std::uint64_t after = 0;  // the last step sent
    bool needSnapshot = true;
    bool started = false;
  };

  /// What a page asks of the session, read from its request; throws on a missing or wrong field.
  using QueryReader = PanelFeed::Query (*)(const httplib::Request&);

  /// Whether a Host header (or an Origin's host) names the address the request came to.
  bool HostAllowed(std::string_view host, const std::string& localAddress) const;
  /// Sets the headers every answer carries; refuses, and says false to, a request that does not
  /// come from this panel's page: a wrong Host or Origin, or no token.
  bool Admit(const httplib::Request& req, httplib::Response& res) const;
  void Route();
  // One for each of the page's requests.
  void ServeEvents(const httplib::Request& req, httplib::Response& res);
  void ServeSnapshot(const httplib::Request& req, httplib::Response& res);
  void ServeAction(const httplib::Request& req, httplib::Response& res);
  void ServeTexts(const httplib::Request& req, httplib::Response& res);
  /// Answers a query with what the user-interface thread says, or with whenGone (unless null)
  /// when it answers that there is nothing.
  void AnswerQuery(const httplib::Request& req, httplib::Response& res, QueryReader read,
                   const char* whenGone);
  /// Asks the user-interface thread; nothing when it did not answer in time.
  std::optional<PanelFeed::Answer> Ask(PanelFeed::Query query, std::chrono::milliseconds timeout);
  /// Writes what the stream is due next: a snapshot, the steps after it, or a sign of life.
  bool NextEvents(EventStream& stream, httplib::DataSink& sink);

  PanelFeed& feed_;
  PageActionQueue& actions_;
  PageActionOrder order_;
  std::unique_ptr<BoundedHttpServer> server_;
  std::string host_;  // as bound, numeric
  bool wildcard_ = false;
  bool loopback_ = true;
  int port_ = 0;
  std::string token_;
  std::string texts_;
  // Event streams still open: the server is stopped only after each has ended its last chunk
  // (or a moment has passed), so that a page sees the session end rather than a cut.
  std::mutex streamsMutex_;
  std::condition_variable streamsEnded_;
  int openStreams_ = 0;
};

}  // namespace ornr::workbench
