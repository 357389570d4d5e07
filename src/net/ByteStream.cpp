#include "net/ByteStream.h"

#include <algorithm>
#include <cstring>
#include <utility>

namespace nuv {

MemoryStream::MemoryStream(std::string input, std::size_t maxChunk)
    : input_(std::move(input)), maxChunk_(std::max<std::size_t>(maxChunk, 1)) {}

std::size_t MemoryStream::ReadSome(char* buffer, std::size_t size, IoTimeout) {
    const std::size_t n = std::min({size, maxChunk_, input_.size() - position_});
    if (n > 0) std::memcpy(buffer, input_.data() + position_, n);
    position_ += n;
    return n;
}

void MemoryStream::WriteAll(std::string_view bytes, IoTimeout) { written_.append(bytes); }

StreamState MemoryStream::Probe() {
    return position_ < input_.size() ? StreamState::Readable : StreamState::Closed;
}

}  // namespace nuv
