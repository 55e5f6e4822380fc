#include "tools/velda-export/progress.h"

#include <unistd.h>

#include <string>

namespace veldaexport {

namespace {

constexpr auto kQuietFor = std::chrono::milliseconds(500);
constexpr auto kRedrawEvery = std::chrono::milliseconds(100);
constexpr int kBarWidth = 40;

}  // namespace

ProgressBar::ProgressBar(bool enabled, std::FILE* stream)
    : enabled_(enabled && ::isatty(::fileno(stream))), stream_(stream), start_(Clock::now()) {}

void ProgressBar::Update(std::int64_t done, std::int64_t total) {
    if (!enabled_) return;
    const Clock::time_point now = Clock::now();
    if (now - start_ < kQuietFor || (drawn_ && now - lastDraw_ < kRedrawEvery)) return;
    lastDraw_ = now;
    drawn_ = true;
    std::string text = "\r";
    if (total > 0) {
        const std::int64_t filled = done >= total ? kBarWidth : done * kBarWidth / total;
        text += "[" + std::string(static_cast<std::size_t>(filled), '#') +
                std::string(static_cast<std::size_t>(kBarWidth - filled), ' ') + "] " +
                std::to_string(done * 100 / total) + "% " + std::to_string(done) + "/" +
                std::to_string(total) + " lines";
    } else {
        text += std::to_string(done) + " lines";
    }
    std::fputs(text.c_str(), stream_);
    std::fflush(stream_);
}

void ProgressBar::Clear() {
    if (!drawn_) return;
    std::fputs("\r\033[K", stream_);
    std::fflush(stream_);
    drawn_ = false;
}

}  // namespace veldaexport
