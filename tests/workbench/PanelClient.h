// A plain HTTP client for the workbench's panel, as a page or an attacker on this machine talks
// to it: whole requests, or raw sockets that trickle or hold.
#pragma once

#include <chrono>
#include <string>

struct PanelUrl {
  std::string host;  // numeric; IPv6 without brackets
  int port = 0;
  std::string base;  // "/TOKEN/"
  /// host:port as a Host header names it.
  std::string HostHeader() const;
};

/// "http://HOST:PORT/TOKEN/" as the workbench prints it.
PanelUrl ParsePanelUrl(const std::string& url);

/// A connected TCP socket, or -1. Without waiting, the connection may still be on its way.
int ConnectTo(const std::string& host, int port, bool wait = true);

struct HttpAnswer {
  int status = 0;  // 0: no answer in time, or the connection closed without one
  std::string body;
  std::chrono::milliseconds took{0};
};

/// Sends request on a new connection and reads the answer until the connection closes.
HttpAnswer Exchange(const std::string& host, int port, const std::string& request,
                    std::chrono::milliseconds timeout = std::chrono::seconds(5));

/// A request that asks the server to close the connection after answering.
std::string GetRequest(const std::string& path, const std::string& host);
std::string PostRequest(const std::string& path, const std::string& host, const std::string& form,
                        const std::string& extraHeaders = "");
