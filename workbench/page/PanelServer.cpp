#include "workbench/page/PanelServer.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <netinet/in.h>
#include <sys/random.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <cstdio>

#include "workbench/page/BoundedHttpServer.h"
#include "workbench/page/Json.h"
#include "workbench/page/PageActions.h"
#include "workbench/page/PageFiles.h"

namespace ornr::workbench {

namespace {

using namespace std::chrono_literals;

constexpr std::size_t kMaxField = 4096;
// Every open page holds a worker for its event stream; the workers beyond these answer requests.
constexpr std::size_t kMaxStreams = 16;
constexpr std::size_t kRequestWorkers = 8;
// How long a page's command may take before the page is told only that it is queued.
constexpr auto kOutcomeWait = 10s;
// How long a page's first snapshot waits for a busy session before the page follows the stream.
constexpr auto kSnapshotWait = 2s;
// How long a page's query (values, history, why, a comparison) waits for the session.
constexpr auto kQueryWait = 10s;

std::string RandomToken() {
  std::array<unsigned char, 16> bytes{};
  std::size_t got = 0;
  while (got < bytes.size()) {
    const ssize_t n = getrandom(bytes.data() + got, bytes.size() - got, 0);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) throw PanelServerError("no random numbers for the panel's token");
    got += static_cast<std::size_t>(n);
  }
  std::string token;
  for (const unsigned char b : bytes) {
    static constexpr char kHex[] = "0123456789abcdef";
    token.push_back(kHex[b >> 4]);
    token.push_back(kHex[b & 15]);
  }
  return token;
}

// Takes as long whatever the first difference, so that timing tells nothing about the token.
bool SameToken(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  unsigned char diff = 0;
  for (std::size_t i = 0; i < a.size(); ++i) diff |= static_cast<unsigned char>(a[i] ^ b[i]);
  return diff == 0;
}

bool IsUtf8(std::string_view s) {
  for (std::size_t i = 0; i < s.size();) {
    const auto c = static_cast<unsigned char>(s[i]);
    std::size_t n = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 0;
    if (n == 0 || i + n > s.size() || (n == 2 && c < 0xC2) || (n == 4 && c > 0xF4)) return false;
    for (std::size_t k = 1; k < n; ++k) {
      if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80) return false;
    }
    if (n == 3) {
      const auto c1 = static_cast<unsigned char>(s[i + 1]);
      if ((c == 0xE0 && c1 < 0xA0) || (c == 0xED && c1 >= 0xA0)) return false;
    }
    if (n == 4) {
      const auto c1 = static_cast<unsigned char>(s[i + 1]);
      if ((c == 0xF0 && c1 < 0x90) || (c == 0xF4 && c1 >= 0x90)) return false;
    }
    i += n;
  }
  return true;
}

std::string_view ContentType(std::string_view path) {
  const auto ends = [&](std::string_view suffix) { return path.ends_with(suffix); };
  if (ends(".html")) return "text/html; charset=utf-8";
  if (ends(".css")) return "text/css; charset=utf-8";
  if (ends(".js")) return "text/javascript; charset=utf-8";
  if (ends(".svg")) return "image/svg+xml";
  return "application/octet-stream";
}

void Refuse(httplib::Response& res, int status, const std::string& why) {
  res.status = status;
  res.set_content(why + "\n", "text/plain; charset=utf-8");
}

// A page action as its form fields: PageActionError says what is wrong with it.
struct PageActionError {
  std::string what;
};

std::string Field(const httplib::Request& req, const char* name) {
  if (!req.has_param(name)) throw PageActionError{std::string("missing field ") + name};
  std::string value = req.get_param_value(name);
  if (value.size() > kMaxField) throw PageActionError{std::string("field ") + name + " too long"};
  if (!IsUtf8(value)) throw PageActionError{std::string("field ") + name + " is not UTF-8"};
  // Names end at their first NUL on their way to the module.
  if (value.find('\0') != std::string::npos) {
    throw PageActionError{std::string("field ") + name + " holds a NUL character"};
  }
  return value;
}

std::string NumberField(const httplib::Request& req, const char* name) {
  std::string value = Field(req, name);
  unsigned long long number = 0;
  const auto [end, ec] = std::from_chars(value.data(), value.data() + value.size(), number);
  if (value.empty() || ec != std::errc{} || end != value.data() + value.size()) {
    throw PageActionError{std::string("field ") + name + " is not a number"};
  }
  return value;
}

std::string GroupField(const httplib::Request& req, const char* name) {
  std::string group = Field(req, name);
  if (group != "master" && group != "library") throw PageActionError{"unknown group"};
  return group;
}

// Reads what a request asks for with read; a request it cannot read is answered 400, saying why
// after prefix.
template <typename Read>
auto ReadOrRefuse(const httplib::Request& req, httplib::Response& res, std::string_view prefix,
                  Read read) -> std::optional<decltype(read(req))> {
  try {
    return read(req);
  } catch (const PageActionError& error) {
    Refuse(res, 400, std::string(prefix) + error.what);
    return std::nullopt;
  }
}

PanelFeed::Query ValuesQuery(const httplib::Request& req) {
  return {"values", {GroupField(req, "group"), Field(req, "library"), Field(req, "name")}};
}

PanelFeed::Query HistoryQuery(const httplib::Request& req) {
  return {"history", {Field(req, "name")}};
}

PanelFeed::Query WhyQuery(const httplib::Request& req) {
  return {"why", {Field(req, "name"), Field(req, "property")}};
}

// Two sides, a and b, each a group, a library file, a name and a version.
PanelFeed::Query DiffQuery(const httplib::Request& req) {
  PanelFeed::Query query{"diff", {}};
  for (const std::string side : {"a", "b"}) {
    query.args.push_back(GroupField(req, (side + "g").c_str()));
    query.args.push_back(Field(req, (side + "l").c_str()));
    query.args.push_back(Field(req, (side + "n").c_str()));
    query.args.push_back(NumberField(req, (side + "v").c_str()));
  }
  return query;
}

void ServePageFile(const httplib::Request& req, httplib::Response& res) {
  std::string file = req.matches[1];
  if (file.empty()) file = "index.html";
  for (const PageFile& page : PageFiles()) {
    if (page.path == file) {
      res.set_header("Content-Security-Policy",
                     "default-src 'self'; style-src 'self'; img-src 'self' data:; "
                     "connect-src 'self'; frame-ancestors 'none'; form-action 'none'");
      res.set_content(std::string(page.data), std::string(ContentType(file)));
      return;
    }
  }
  Refuse(res, 404, "no such page file: " + file);
}

// Where an action stands among its page's; seq 0 for a client that does not number them.
struct ActionTurn {
  std::string page;
  std::uint64_t seq = 0;
};

ActionTurn ReadTurn(const httplib::Request& req) {
  if (!req.has_param("seq")) return {};
  ActionTurn turn{Field(req, "page"), 0};
  if (turn.page.empty() || turn.page.size() > 64 ||
      !std::all_of(turn.page.begin(), turn.page.end(),
                   [](char c) { return std::isalnum(static_cast<unsigned char>(c)) != 0; })) {
    throw PageActionError{"field page is not a page's name"};
  }
  const std::string seq = NumberField(req, "seq");
  std::from_chars(seq.data(), seq.data() + seq.size(), turn.seq);
  if (turn.seq == 0) throw PageActionError{"field seq counts from 1"};
  return turn;
}

PageAction ReadAction(const httplib::Request& req) {
  const std::string kind = Field(req, "action");
  PageAction action;
  if (kind == "command") {
    action.kind = PageAction::Kind::Command;
    const std::size_t words = req.get_param_value_count("w");
    for (std::size_t i = 0; i < words; ++i) {
      std::string word = req.get_param_value("w", i);
      if (word.size() > kMaxField) throw PageActionError{"a word is too long"};
      if (!IsUtf8(word)) throw PageActionError{"a word is not UTF-8"};
      action.args.push_back(std::move(word));
    }
    if (std::string why = PageCommandRefusal(action.args); !why.empty()) {
      throw PageActionError{std::move(why)};
    }
  } else if (kind == "select") {
    action.kind = PageAction::Kind::Select;
    action.args = {GroupField(req, "group"), Field(req, "name"),
                   req.has_param("library") ? Field(req, "library") : std::string()};
  } else if (kind == "answer") {
    action.kind = PageAction::Kind::Answer;
    std::string answer = Field(req, "answer");
    if (answer != "yes" && answer != "no") throw PageActionError{"answer yes or no"};
    action.args = {NumberField(req, "id"), std::move(answer)};
  } else if (kind == "dismiss") {
    action.kind = PageAction::Kind::Dismiss;
    action.args = {NumberField(req, "id")};
  } else {
    throw PageActionError{"unknown action " + kind};
  }
  return action;
}

bool IsLoopbackText(const std::string& address) {
  sockaddr_in v4{};
  sockaddr_in6 v6{};
  if (inet_pton(AF_INET, address.c_str(), &v4.sin_addr) == 1) {
    v4.sin_family = AF_INET;
    return IsLoopbackAddress(reinterpret_cast<const sockaddr*>(&v4));
  }
  if (inet_pton(AF_INET6, address.c_str(), &v6.sin6_addr) == 1) {
    v6.sin6_family = AF_INET6;
    return IsLoopbackAddress(reinterpret_cast<const sockaddr*>(&v6));
  }
  return false;
}

std::string InUrl(const std::string& host) {
  return host.find(':') != std::string::npos ? "[" + host + "]" : host;
}

// The machine's addresses of the families a wildcard socket of that family takes, loopback
// first; IPv6 link-local ones need a zone that a URL cannot carry.
std::vector<std::string> InterfaceAddresses(bool v6) {
  std::vector<std::string> loopback, others;
  ifaddrs* list = nullptr;
  if (getifaddrs(&list) != 0) return {};
  for (const ifaddrs* entry = list; entry != nullptr; entry = entry->ifa_next) {
    const sockaddr* address = entry->ifa_addr;
    if (address == nullptr) continue;
    char text[INET6_ADDRSTRLEN] = {};
    if (address->sa_family == AF_INET) {
      inet_ntop(AF_INET, &reinterpret_cast<const sockaddr_in*>(address)->sin_addr, text,
                sizeof text);
    } else if (address->sa_family == AF_INET6 && v6) {
      const in6_addr& a = reinterpret_cast<const sockaddr_in6*>(address)->sin6_addr;
      if (IN6_IS_ADDR_LINKLOCAL(&a)) continue;
      inet_ntop(AF_INET6, &a, text, sizeof text);
    } else {
      continue;
    }
    auto& into = IsLoopbackAddress(address) ? loopback : others;
    if (std::find(into.begin(), into.end(), text) == into.end()) into.emplace_back(text);
  }
  freeifaddrs(list);
  loopback.insert(loopback.end(), others.begin(), others.end());
  return loopback;
}

// The number of an event a page saw, as its "Last-Event-ID" gives it back.
std::optional<std::uint64_t> EventNumber(std::string_view text) {
  std::uint64_t number = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), number);
  if (text.empty() || ec != std::errc{} || end != text.data() + text.size()) return std::nullopt;
  return number;
}

}  // namespace

PanelAddress ParsePanelAddress(std::string_view text) {
  PanelAddress address;
  if (text.empty()) return address;
  const std::size_t colon = text.rfind(':');
  const bool bracketed = text.starts_with('[');
  if (colon == std::string_view::npos || (bracketed && colon < text.find(']'))) {
    throw PanelServerError("expected ADDR:PORT, got " + std::string(text));
  }
  std::string_view host = text.substr(0, colon);
  const std::string_view port = text.substr(colon + 1);
  if (bracketed) {
    if (!host.ends_with(']')) throw PanelServerError("expected [IPv6]:PORT");
    host = host.substr(1, host.size() - 2);
  }
  if (!host.empty()) address.host = std::string(host);
  if (!port.empty()) {
    int value = 0;
    const auto [end, ec] = std::from_chars(port.data(), port.data() + port.size(), value);
    if (ec != std::errc{} || end != port.data() + port.size() || value < 0 || value > 65535) {
      throw PanelServerError("not a port: " + std::string(port));
    }
    address.port = value;
  }
  return address;
}

PanelServer::PanelServer(const PanelAddress& address, PanelFeed& feed, PageActionQueue& actions,
                         std::string texts)
    : feed_(feed), actions_(actions), token_(RandomToken()), texts_(std::move(texts)) {
  if (texts_.empty()) texts_ = R"({"lang":"en","texts":{}})";
  HttpLimits limits;
  limits.workers = kMaxStreams + kRequestWorkers;
  try {
    server_ = std::make_unique<BoundedHttpServer>(limits);
    // Who shows the token keeps a slot; who does not gives it up first.
    server_->SetTrusted([token = token_](std::string_view target) {
      const std::size_t end = target.find('/', 1);
      return target.starts_with('/') && end != std::string_view::npos &&
             SameToken(target.substr(1, end - 1), token);
    });
    // A page that hung up frees its stream's slot at once, not at the stream's next write.
    server_->SetHangUpListener([this] { feed_.Wake(); });
    Route();
    const BoundAddress bound = server_->Bind(address.host, address.port);
    host_ = bound.host;
    port_ = bound.port;
    wildcard_ = bound.wildcard;
    loopback_ = bound.loopback;
    if (!loopback_ && !address.network) {
      throw PanelServerError(
          "the panel listens only on a loopback address unless --panel-allow-network is given: " +
          InUrl(host_) +
          (wildcard_ ? " is every network interface" : " is reachable from the network") +
          ", and the page is plain HTTP");
    }
    server_->Start();
  } catch (const HttpServerError& error) {
    throw PanelServerError("the panel cannot listen on " + InUrl(address.host) + ":" +
                           std::to_string(address.port) + ": " + error.what());
  }
}

PanelServer::~PanelServer() {
  feed_.Close();
  {
    // A page that reads its stream sees "closed" at once; one that does not holds nobody up.
    std::unique_lock lock(streamsMutex_);
    streamsEnded_.wait_for(lock, 500ms, [this] { return openStreams_ == 0; });
  }
  server_->Stop();
}

std::vector<std::string> PanelServer::Urls() const {
  std::vector<std::string> hosts;
  if (wildcard_) hosts = InterfaceAddresses(host_.find(':') != std::string::npos);
  if (hosts.empty())
    hosts.push_back(host_ == "0.0.0.0" ? "127.0.0.1" : host_ == "::" ? "::1" : host_);
  std::vector<std::string> urls;
  for (const std::string& host : hosts) {
    urls.push_back("http://" + InUrl(host) + ":" + std::to_string(port_) + "/" + token_ + "/");
  }
  return urls;
}

std::optional<PanelFeed::Answer> PanelServer::Ask(PanelFeed::Query query,
                                                  std::chrono::milliseconds timeout) {
  const std::uint64_t id = feed_.Ask(std::move(query));
  PageAction wake;
  wake.kind = PageAction::Kind::Query;
  actions_.Push(std::move(wake));
  return feed_.WaitAnswer(id, timeout);
}

bool PanelServer::NextEvents(EventStream& stream, httplib::DataSink& sink) {
  static constexpr std::string_view kPing = ": still here\n\n";
  const auto closed = [&sink] {
    static constexpr std::string_view kBye = "event: closed\ndata: {}\n\n";
    sink.write(kBye.data(), kBye.size());
    sink.done();
    return true;
  };
  std::string out;
  if (!stream.started) {
    // Reconnect soon after a drop; the page catches up from where it was. Sent at once: a
    // stream that starts after a version may wait a while for its first step.
    out = "retry: 1000\n\n";
    stream.started = true;
    if (!stream.needSnapshot) return sink.write(out.data(), out.size());
  }
  if (stream.needSnapshot) {
    if (feed_.Closed()) return closed();
    // While the user-interface thread is busy (a long load), the page keeps saying it loads.
    const auto answer = Ask({"snapshot", {}}, std::chrono::seconds(5));
    if (!answer || !answer->text) {
      out += kPing;
      return sink.write(out.data(), out.size());
    }
    out += "id: " + std::to_string(answer->version) + "\nevent: snapshot\ndata: ";
    out += *answer->text;
    out += "\n\n";
    stream.after = answer->version;
    stream.needSnapshot = false;
    return sink.write(out.data(), out.size());
  }
  std::vector<PanelFeed::Step> steps;
  switch (feed_.WaitAfter(stream.after, steps, std::chrono::seconds(10))) {
    case PanelFeed::Waited::Steps:
      for (const PanelFeed::Step& step : steps) {
        out += "id: " + std::to_string(step.version) + "\ndata: ";
        out += *step.json;
        out += "\n\n";
      }
      stream.after = steps.back().version;
      break;
    case PanelFeed::Waited::Gap:
      stream.needSnapshot = true;
      break;
    case PanelFeed::Waited::Nothing:
      out += kPing;
      break;
    case PanelFeed::Waited::Closed:
      if (!out.empty()) sink.write(out.data(), out.size());
      return closed();
  }
  return out.empty() || sink.write(out.data(), out.size());
}

std::string PanelServer::Url() const {
  return Urls().front();
}

std::string PanelServer::NetworkWarning() const {
  if (loopback_) return {};
  return "the panel is open to the network on " +
         (wildcard_ ? "every interface (" + InUrl(host_) + ":" + std::to_string(port_) + ")"
                    : InUrl(host_) + ":" + std::to_string(port_)) +
         " over plain HTTP: its token travels in clear, and whoever reads it can change and save "
         "the setups";
}

bool PanelServer::HostAllowed(std::string_view host, const std::string& localAddress) const {
  const std::string port = ":" + std::to_string(port_);
  if (!host.ends_with(port) || localAddress.empty()) return false;
  host.remove_suffix(port.size());
  // The address the request came to, which for a socket on every interface is that interface's;
  // a host name could be a web site's own name pointed at this machine.
  if (host == InUrl(localAddress)) return true;
  return host == "localhost" && IsLoopbackText(localAddress);
}

bool PanelServer::Admit(const httplib::Request& req, httplib::Response& res) const {
  res.set_header("Cache-Control", "no-store");
  res.set_header("X-Content-Type-Options", "nosniff");
  res.set_header("X-Frame-Options", "DENY");
  res.set_header("Referrer-Policy", "no-referrer");
  // Nothing is compressed: the panel is served close by, where compressing each answer (at the
  // library's slowest, best setting) takes longer than sending it as it is. The request is
  // httplib's own, not const, so its header can go.
  const_cast<httplib::Request&>(req).headers.erase("Accept-Encoding");
  if (!HostAllowed(req.get_header_value("Host"), req.local_addr)) {
    Refuse(res, 403, "refused: the Host header does not name this panel");
    return false;
  }
  if (req.has_header("Origin")) {
    const std::string origin = req.get_header_value("Origin");
    if (!origin.starts_with("http://") ||
        !HostAllowed(std::string_view(origin).substr(7), req.local_addr)) {
      Refuse(res, 403, "refused: the request comes from another site");
      return false;
    }
  }
  const std::string_view path = req.path;
  const std::size_t end = path.find('/', 1);
  if (end == std::string_view::npos || !SameToken(path.substr(1, end - 1), token_)) {
    Refuse(res, 403, "refused: open the address with the token that rsm-workbench printed");
    return false;
  }
  return true;
}

void PanelServer::Route() {
  server_->set_pre_routing_handler([this](const httplib::Request& req, httplib::Response& res) {
    return Admit(req, res) ? httplib::Server::HandlerResponse::Unhandled
                           : httplib::Server::HandlerResponse::Handled;
  });
  const auto query = [this](QueryReader read, const char* whenGone) {
    return [this, read, whenGone](const httplib::Request& req, httplib::Response& res) {
      AnswerQuery(req, res, read, whenGone);
    };
  };
  using Self = PanelServer;
  const auto serve = [this](void (Self::*endpoint)(const httplib::Request&, httplib::Response&)) {
    return [this, endpoint](const httplib::Request& req, httplib::Response& res) {
      (this->*endpoint)(req, res);
    };
  };
  server_->Get(R"(/[0-9a-f]+/events)", serve(&Self::ServeEvents));
  server_->Get(R"(/[0-9a-f]+/snapshot)", serve(&Self::ServeSnapshot));
  // A setup renamed or deleted while its values were asked for is no error of the page's.
  server_->Get(R"(/[0-9a-f]+/values)", query(ValuesQuery, "null"));
  server_->Get(R"(/[0-9a-f]+/history)", query(HistoryQuery, nullptr));
  server_->Get(R"(/[0-9a-f]+/why)", query(WhyQuery, nullptr));
  server_->Get(R"(/[0-9a-f]+/diff)", query(DiffQuery, nullptr));
  server_->Post(R"(/[0-9a-f]+/action)", serve(&Self::ServeAction));
  server_->Get(R"(/[0-9a-f]+/texts\.json)", serve(&Self::ServeTexts));
  server_->Get(R"(/[0-9a-f]+/(.*))", ServePageFile);
}

void PanelServer::ServeEvents(const httplib::Request& req, httplib::Response& res) {
  auto stream = std::make_shared<EventStream>();
  // A page that reconnects says where it left off (the browser's Last-Event-ID); one that
  // fetched its snapshot first says which (after=); a new one starts with a snapshot.
  auto seen = EventNumber(req.get_header_value("Last-Event-ID"));
  if (!seen) seen = EventNumber(req.get_param_value("after"));
  if (seen) {
    stream->after = *seen;
    stream->needSnapshot = false;
  }
  {
    const std::lock_guard lock(streamsMutex_);
    // Refused at once rather than left waiting for a worker that the open pages hold.
    if (openStreams_ >= static_cast<int>(kMaxStreams)) {
      Refuse(res, 503,
             "refused: " + std::to_string(kMaxStreams) + " pages are open already; close one");
      return;
    }
    ++openStreams_;
  }
  res.set_header("X-Accel-Buffering", "no");
  res.set_chunked_content_provider(
      "text/event-stream",
      [this, stream](std::size_t, httplib::DataSink& sink) { return NextEvents(*stream, sink); },
      [this](bool) {
        const std::lock_guard lock(streamsMutex_);
        --openStreams_;
        streamsEnded_.notify_all();
      });
}

// The page's first snapshot, asked for while its script loads rather than once it runs; its
// event stream then starts after this version. A busy session sends the page to the stream,
// which waits for it: with No Content, since the page expects that and a browser logs an error
// status as the page's fault.
void PanelServer::ServeSnapshot(const httplib::Request&, httplib::Response& res) {
  const auto answer = feed_.Closed() ? std::nullopt : Ask({"snapshot", {}}, kSnapshotWait);
  if (!answer || !answer->text) {
    res.status = 204;
    return;
  }
  std::string body = "{\"version\":" + std::to_string(answer->version) + ",\"snapshot\":";
  body += *answer->text;
  body += '}';
  res.set_content(std::move(body), "application/json");
}

void PanelServer::AnswerQuery(const httplib::Request& req, httplib::Response& res, QueryReader read,
                              const char* whenGone) {
  auto query = ReadOrRefuse(req, res, "bad query: ", read);
  if (!query) return;
  const auto answer = Ask(std::move(*query), kQueryWait);
  if (answer && !answer->text && whenGone != nullptr) {
    res.set_content(whenGone, "application/json");
    return;
  }
  if (!answer || !answer->text) {
    // Accepted, not refused: the query waits in the session's queue. A browser logs an error
    // status as the page's fault, and the page asks again anyway.
    res.set_header("Retry-After", "1");
    Refuse(res, 202, "the workbench is busy; ask again");
    return;
  }
  res.set_content(*answer->text, "application/json");
}

void PanelServer::ServeAction(const httplib::Request& req, httplib::Response& res) {
  if (!req.get_header_value("Content-Type").starts_with("application/x-www-form-urlencoded")) {
    Refuse(res, 415, "send the action as application/x-www-form-urlencoded");
    return;
  }
  if (feed_.Closed()) {
    Refuse(res, 409, "the session has ended");
    return;
  }
  const auto turn = ReadOrRefuse(req, res, "bad action: ", ReadTurn);
  if (!turn) return;
  // A command's page is told how it went, so that a dialog can show why it did not.
  std::shared_ptr<PageOutcome> outcome;
  bool refused = false;
  // A refused action takes its turn all the same, or the page's next would wait for it.
  const auto push = [&] {
    std::optional<PageAction> action = ReadOrRefuse(req, res, "bad action: ", ReadAction);
    if (!action) {
      refused = true;
      return;
    }
    if (action->kind == PageAction::Kind::Command) {
      outcome = std::make_shared<PageOutcome>();
      action->outcome = outcome;
    }
    actions_.Push(std::move(*action));
  };
  const auto stopping = [this] { return feed_.Closed() || server_->Stopping(); };
  if (turn->seq == 0) {
    push();
  } else if (!order_.InTurn(turn->page, turn->seq, push, stopping)) {
    Refuse(res, 409, "the session has ended");
    return;
  }
  if (refused) return;
  PageResult result;
  if (!outcome || !outcome->Wait(kOutcomeWait, stopping, result)) {
    res.status = 202;
    res.set_content("{\"queued\":true}", "application/json");
    return;
  }
  JsonWriter json;
  json.BeginObject().Key("done").Bool(true).Key("errors").BeginArray();
  for (const std::string& error : result.errors) json.String(error);
  json.EndArray();
  if (!result.made.empty()) json.Key("made").String(result.made);
  if (result.revision != 0) json.Key("rev").Number(static_cast<std::int64_t>(result.revision));
  json.EndObject();
  res.set_content(json.Text(), "application/json");
}

void PanelServer::ServeTexts(const httplib::Request&, httplib::Response& res) {
  res.set_content(texts_, "application/json");
}

}  // namespace ornr::workbench
