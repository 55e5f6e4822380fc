// The progress bar on standard error: drawn only when standard error is a terminal, and only
// once the run has taken more than a moment, so that scheduled runs and quick runs stay silent.
#ifndef VELDA_TOOLS_EXPORT_PROGRESS_H
#define VELDA_TOOLS_EXPORT_PROGRESS_H

#include <chrono>
#include <cstdint>
#include <cstdio>

namespace veldaexport {

class ProgressBar {
  public:
    // enabled: not --quiet; the bar still needs a terminal on stream.
    ProgressBar(bool enabled, std::FILE* stream);
    // Lines done of total (-1: not known). Redraws at most a few times a second.
    void Update(std::int64_t done, std::int64_t total);
    // Removes the bar, leaving the line empty for what follows.
    void Clear();

  private:
    using Clock = std::chrono::steady_clock;
    bool enabled_;
    std::FILE* stream_;
    Clock::time_point start_, lastDraw_;
    bool drawn_ = false;
};

}  // namespace veldaexport

#endif
