#include "audit/Console.h"

#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>

namespace ornr::audit {

namespace {

using Clock = std::chrono::steady_clock;

constexpr auto kRedraw = std::chrono::milliseconds(100);
constexpr auto kPlainEvery = std::chrono::seconds(10);

int TerminalWidth() {
  winsize size{};
  if (ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 20) return size.ws_col;
  return 80;
}

std::string Duration(double seconds) {
  const long total = static_cast<long>(seconds + 0.5);
  char text[32];
  if (total >= 3600) {
    std::snprintf(text, sizeof text, "%ld:%02ld:%02ld", total / 3600, total / 60 % 60, total % 60);
  } else {
    std::snprintf(text, sizeof text, "%ld:%02ld", total / 60, total % 60);
  }
  return text;
}

}  // namespace

Console::ProgressStyle Console::DefaultStyle() {
  return isatty(STDERR_FILENO) ? ProgressStyle::Bar : ProgressStyle::Lines;
}

Console::Console(ProgressStyle style)
    : style_(style), start_(Clock::now()), lastDrawn_(), lastLine_(Clock::now()) {}

Console::~Console() {
  EndProgress();
}

std::string Console::ProgressText(std::size_t done, std::size_t total, double seconds) {
  std::string text = std::to_string(done) + "/" + std::to_string(total) + " files";
  if (seconds < 0.5 || done == 0) return text;
  const double rate = static_cast<double>(done) / seconds;
  char figure[32];
  std::snprintf(figure, sizeof figure, rate >= 10 ? "%.0f" : "%.1f", rate);
  text += "  " + std::string(figure) + " files/s";
  if (total > done) text += "  " + Duration(static_cast<double>(total - done) / rate) + " left";
  return text;
}

void Console::Out(std::string_view line) {
  if (sink_) return sink_(false, line);
  EraseBar();
  std::fwrite(line.data(), 1, line.size(), stdout);
  std::fputc('\n', stdout);
  if (style_ == ProgressStyle::Bar) {
    // The bar goes back under what was just written.
    std::fflush(stdout);
    DrawBar();
  }
}

void Console::Err(std::string_view line) {
  if (sink_) return sink_(true, line);
  EraseBar();
  std::fflush(stdout);
  std::fwrite(line.data(), 1, line.size(), stderr);
  std::fputc('\n', stderr);
  if (style_ == ProgressStyle::Bar) DrawBar();
}

void Console::Progress(std::size_t done, std::size_t total) {
  if (hook_) hook_(done, total);
  done_ = done;
  total_ = total;
  const auto now = Clock::now();
  if (style_ == ProgressStyle::Bar) {
    if (now - lastDrawn_ < kRedraw && done < total) return;
    std::fflush(stdout);
    DrawBar();
    return;
  }
  if (style_ != ProgressStyle::Lines || total == 0 || done == 0) return;
  const std::size_t tenth = done * 10 / total;
  if (tenth == lastTenth_ && now - lastLine_ < kPlainEvery) return;
  lastTenth_ = tenth;
  lastLine_ = now;
  const double seconds = std::chrono::duration<double>(now - start_).count();
  std::fprintf(stderr, "rsm-audit: %s (%zu%%)\n", ProgressText(done, total, seconds).c_str(),
               done * 100 / total);
}

void Console::DrawBar() {
  if (style_ != ProgressStyle::Bar || total_ == 0) return;
  lastDrawn_ = Clock::now();
  const double seconds = std::chrono::duration<double>(lastDrawn_ - start_).count();
  const std::string text = ProgressText(done_, total_, seconds);
  const int width = TerminalWidth();
  // "[####......] " before the figures, as wide as the terminal leaves room for.
  const int barWidth = std::clamp(width - static_cast<int>(text.size()) - 4, 0, 40);
  std::string line = "\r";
  if (barWidth >= 10) {
    const int filled = static_cast<int>(static_cast<double>(barWidth) * static_cast<double>(done_) /
                                        static_cast<double>(total_));
    line += "[" + std::string(filled, '#') + std::string(barWidth - filled, '.') + "] ";
  }
  line += text.substr(0, static_cast<std::size_t>(std::max(width - 1, 0)));
  line += "\x1b[K";
  std::fwrite(line.data(), 1, line.size(), stderr);
  std::fflush(stderr);
  barShown_ = true;
}

void Console::EraseBar() {
  if (!barShown_) return;
  std::fputs("\r\x1b[K", stderr);
  std::fflush(stderr);
  barShown_ = false;
}

void Console::EndProgress() {
  EraseBar();
  std::fflush(stdout);
}

}  // namespace ornr::audit
