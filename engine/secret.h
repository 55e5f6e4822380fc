// A password held in memory: wiped when it is replaced, cleared or destroyed. Internal to engine/.
#ifndef VELDA_ENGINE_SECRET_H
#define VELDA_ENGINE_SECRET_H

#include <sodium.h>

#include <string>
#include <string_view>

namespace engine {

class Secret {
  public:
    Secret() = default;
    explicit Secret(std::string_view text) : text_(text) {}
    ~Secret() { clear(); }
    Secret(const Secret& other) : text_(other.text_) {}
    Secret& operator=(const Secret& other) {
        if (this != &other) {
            clear();
            text_ = other.text_;
        }
        return *this;
    }

    bool empty() const { return text_.empty(); }
    const char* data() const { return text_.data(); }
    int size() const { return static_cast<int>(text_.size()); }
    void clear() {
        if (!text_.empty()) sodium_memzero(text_.data(), text_.size());
        text_.clear();
    }

  private:
    std::string text_;
};

}  // namespace engine

#endif
