// Splits a fuzzer's input into the pieces a target needs, and gives each
// target a scratch folder of its own.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace solne::fuzz {

// Reads pieces off the front of the input; an exhausted input gives empty
// pieces and zeros.
class FuzzInput {
public:
    FuzzInput(const uint8_t* data, size_t size)
        : rest_(reinterpret_cast<const char*>(data), size) {}

    // The bytes up to the next occurrence of `sep` (which is consumed), or
    // everything that is left.
    std::string_view Until(std::string_view sep) {
        size_t at = rest_.find(sep);
        std::string_view piece = rest_.substr(0, at);
        rest_ = at == std::string_view::npos ? std::string_view{} : rest_.substr(at + sep.size());
        return piece;
    }
    uint8_t Byte() {
        if (rest_.empty()) return 0;
        uint8_t b = uint8_t(rest_[0]);
        rest_.remove_prefix(1);
        return b;
    }
    bool empty() const { return rest_.empty(); }
    std::string_view Rest() const { return rest_; }

private:
    std::string_view rest_;
};

// A folder under /dev/shm (or /tmp) for this process, emptied on each call.
const std::string& ScratchFolder();
void EmptyFolder(const std::string& folder);
void PutFile(const std::string& path, std::string_view bytes);

}  // namespace solne::fuzz
