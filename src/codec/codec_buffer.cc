#include "codec/codec_buffer.h"

#include <algorithm>
#include <bit>
#include <cstring>

namespace tovanel {

namespace {

// The short bytes of the messages written on this thread: kept, so that writing a message
// allocates nothing but the message.
thread_local std::vector<uint8_t> threadShortBytes;
thread_local bool threadShortBytesTaken = false;

}  // namespace

CodecWriter::CodecWriter(std::vector<uint8_t>& out)
    : out_(out), shortBytes_(threadShortBytesTaken ? &ownBytes_ : &threadShortBytes) {
  threadShortBytesTaken = true;
  shortBytes_->resize(shortBytes_->capacity());
  start_ = cursor_ = shortBytes_->data();
  limit_ = start_ + shortBytes_->size();
}

CodecWriter::~CodecWriter() {
  if (shortBytes_ == &threadShortBytes)
    threadShortBytesTaken = false;
}

void CodecWriter::grow(size_t size) {
  const size_t used = static_cast<size_t>(cursor_ - start_);
  shortBytes_->resize(std::max({shortBytes_->size() * 2, used + size, size_t{4096}}));
  start_ = shortBytes_->data();
  cursor_ = start_ + used;
  limit_ = start_ + shortBytes_->size();
}

void CodecWriter::noteLongRun(const void* data, size_t size) {
  longRuns_.push_back(
      {static_cast<size_t>(cursor_ - start_), static_cast<const uint8_t*>(data), size});
  longBytes_ += size;
}

void CodecWriter::writeLargeSize(uint32_t size) {
  if (size <= 0xffff) {
    writeByte(254);
    writeUint16(static_cast<uint16_t>(size));
  } else {
    writeByte(255);
    writeUint32(size);
  }
}

void CodecWriter::writeAlignment(size_t alignment) {
  const size_t padding = (alignment - position() % alignment) % alignment;
  std::memset(room(padding), 0, padding);
  cursor_ += padding;
}

void CodecWriter::finish() {
  const size_t shortSize = static_cast<size_t>(cursor_ - start_);
  out_.reserve(out_.size() + shortSize + longBytes_);
  size_t copied = 0;
  for (const LongRun& run : longRuns_) {
    out_.insert(out_.end(), start_ + copied, start_ + run.at);
    out_.insert(out_.end(), run.data, run.data + run.size);
    copied = run.at;
  }
  out_.insert(out_.end(), start_ + copied, start_ + shortSize);
  cursor_ = start_;
  longRuns_.clear();
  longBytes_ = 0;
}

bool CodecReader::fail(std::string_view reason, size_t at) {
  if (error_.empty())
    error_ = std::string(reason) + " (at byte " + std::to_string(at) + ")";
  return false;
}

bool CodecReader::take(size_t size, const uint8_t*& data, std::string_view what) {
  if (failed())
    return false;
  if (size > remaining()) {
    return fail("truncated: " + std::string(what) + " needs " + std::to_string(size) +
                (size == 1 ? " byte, " : " bytes, ") + std::to_string(remaining()) + " left");
  }
  data = bytes_.data() + position_;
  position_ += size;
  return true;
}

bool CodecReader::readByte(uint8_t& byte, std::string_view what) {
  const uint8_t* data;
  if (!take(1, data, what))
    return false;
  byte = data[0];
  return true;
}

bool CodecReader::readUint16(uint16_t& value) {
  const uint8_t* data;
  if (!take(2, data, "a 16-bit size"))
    return false;
  value = static_cast<uint16_t>(data[0] | data[1] << 8);
  return true;
}

bool CodecReader::readUint32(uint32_t& value) {
  const uint8_t* data;
  if (!take(4, data, "a 32-bit number"))
    return false;
  value = 0;
  for (size_t i = 0; i < 4; ++i)
    value |= static_cast<uint32_t>(data[i]) << (8 * i);
  return true;
}

bool CodecReader::readInt32(int32_t& value) {
  uint32_t bits;
  if (!readUint32(bits))
    return false;
  value = static_cast<int32_t>(bits);
  return true;
}

bool CodecReader::readInt64(int64_t& value) {
  const uint8_t* data;
  if (!take(8, data, "a 64-bit number"))
    return false;
  uint64_t bits = 0;
  for (size_t i = 0; i < 8; ++i)
    bits |= static_cast<uint64_t>(data[i]) << (8 * i);
  value = static_cast<int64_t>(bits);
  return true;
}

bool CodecReader::readDouble(double& value) {
  int64_t bits;
  if (!readInt64(bits))
    return false;
  value = std::bit_cast<double>(bits);
  return true;
}

bool CodecReader::readSize(uint32_t& size) {
  uint8_t first;
  if (!readByte(first, "a size"))
    return false;
  if (first < 254) {
    size = first;
    return true;
  }
  if (first == 254) {
    uint16_t size16;
    if (!readUint16(size16))
      return false;
    size = size16;
    return true;
  }
  return readUint32(size);
}

bool CodecReader::readAlignment(size_t alignment) {
  const size_t padding = (alignment - position_ % alignment) % alignment;
  const uint8_t* ignored;
  return take(padding, ignored, "alignment padding");
}

bool CodecReader::readSpan(size_t size, std::span<const uint8_t>& span, std::string_view what) {
  const uint8_t* data;
  if (!take(size, data, what))
    return false;
  span = {data, size};
  return true;
}

}  // namespace tovanel
