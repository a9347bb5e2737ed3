#include "PanelClient.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>

std::string PanelUrl::HostHeader() const {
  const bool v6 = host.find(':') != std::string::npos;
  return (v6 ? "[" + host + "]" : host) + ":" + std::to_string(port);
}

PanelUrl ParsePanelUrl(const std::string& url) {
  const std::string scheme = "http://";
  if (url.rfind(scheme, 0) != 0) throw std::invalid_argument("not a panel address: " + url);
  const std::size_t slash = url.find('/', scheme.size());
  std::string authority = url.substr(scheme.size(), slash - scheme.size());
  const std::size_t colon = authority.rfind(':');
  PanelUrl parsed;
  parsed.host = authority.substr(0, colon);
  if (parsed.host.starts_with('[')) parsed.host = parsed.host.substr(1, parsed.host.size() - 2);
  parsed.port = std::stoi(authority.substr(colon + 1));
  parsed.base = url.substr(slash);
  return parsed;
}

int ConnectTo(const std::string& host, int port, bool wait) {
  sockaddr_storage address{};
  socklen_t length = 0;
  auto* v4 = reinterpret_cast<sockaddr_in*>(&address);
  auto* v6 = reinterpret_cast<sockaddr_in6*>(&address);
  if (inet_pton(AF_INET, host.c_str(), &v4->sin_addr) == 1) {
    v4->sin_family = AF_INET;
    v4->sin_port = htons(static_cast<std::uint16_t>(port));
    length = sizeof *v4;
  } else if (inet_pton(AF_INET6, host.c_str(), &v6->sin6_addr) == 1) {
    v6->sin6_family = AF_INET6;
    v6->sin6_port = htons(static_cast<std::uint16_t>(port));
    length = sizeof *v6;
  } else {
    return -1;
  }
  const int fd =
      socket(address.ss_family, SOCK_STREAM | SOCK_CLOEXEC | (wait ? 0 : SOCK_NONBLOCK), 0);
  if (fd < 0) return -1;
  if (connect(fd, reinterpret_cast<sockaddr*>(&address), length) != 0 &&
      (wait || errno != EINPROGRESS)) {
    close(fd);
    return -1;
  }
  return fd;
}

HttpAnswer Exchange(const std::string& host, int port, const std::string& request,
                    std::chrono::milliseconds timeout) {
  const auto start = std::chrono::steady_clock::now();
  const auto deadline = start + timeout;
  HttpAnswer answer;
  const int fd = ConnectTo(host, port);
  if (fd < 0) return answer;
  std::string received;
  if (send(fd, request.data(), request.size(), MSG_NOSIGNAL) ==
      static_cast<ssize_t>(request.size())) {
    for (;;) {
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
          deadline - std::chrono::steady_clock::now());
      pollfd pfd{fd, POLLIN, 0};
      if (left.count() <= 0 || poll(&pfd, 1, static_cast<int>(left.count())) <= 0) break;
      char chunk[4096];
      const ssize_t n = recv(fd, chunk, sizeof chunk, 0);
      if (n <= 0) break;
      received.append(chunk, static_cast<std::size_t>(n));
    }
  }
  close(fd);
  answer.took = std::chrono::duration_cast<std::chrono::milliseconds>(
      std::chrono::steady_clock::now() - start);
  // "HTTP/1.1 200 OK"
  if (received.rfind("HTTP/1.", 0) == 0 && received.size() > 12) {
    answer.status = std::atoi(received.c_str() + 9);
  }
  const std::size_t bodyStart = received.find("\r\n\r\n");
  if (bodyStart != std::string::npos) answer.body = received.substr(bodyStart + 4);
  return answer;
}

std::string GetRequest(const std::string& path, const std::string& host) {
  return "GET " + path + " HTTP/1.1\r\nHost: " + host + "\r\nConnection: close\r\n\r\n";
}

std::string PostRequest(const std::string& path, const std::string& host, const std::string& form,
                        const std::string& extraHeaders) {
  return "POST " + path + " HTTP/1.1\r\nHost: " + host +
         "\r\nConnection: close\r\nContent-Type: application/x-www-form-urlencoded\r\n"
         "Content-Length: " +
         std::to_string(form.size()) + "\r\n" + extraHeaders + "\r\n" + form;
}
