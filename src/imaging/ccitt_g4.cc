#include "imaging/ccitt_g4.h"

#include <algorithm>

namespace tovanel {
namespace {

struct Code {
  uint16_t bits;
  uint8_t length;
};

// The run-length codes of ITU-T T.4, tables 2 and 3: terminating codes for runs of 0 to
// 63, make-up codes for 64 to 1728 in steps of 64, and the make-up codes of 1792 to 2560
// that both colours share.
constexpr Code kWhiteTerminating[64] = {
    {0b00110101, 8}, {0b000111, 6},   {0b0111, 4},     {0b1000, 4},     {0b1011, 4},
    {0b1100, 4},     {0b1110, 4},     {0b1111, 4},     {0b10011, 5},    {0b10100, 5},
    {0b00111, 5},    {0b01000, 5},    {0b001000, 6},   {0b000011, 6},   {0b110100, 6},
    {0b110101, 6},   {0b101010, 6},   {0b101011, 6},   {0b0100111, 7},  {0b0001100, 7},
    {0b0001000, 7},  {0b0010111, 7},  {0b0000011, 7},  {0b0000100, 7},  {0b0101000, 7},
    {0b0101011, 7},  {0b0010011, 7},  {0b0100100, 7},  {0b0011000, 7},  {0b00000010, 8},
    {0b00000011, 8}, {0b00011010, 8}, {0b00011011, 8}, {0b00010010, 8}, {0b00010011, 8},
    {0b00010100, 8}, {0b00010101, 8}, {0b00010110, 8}, {0b00010111, 8}, {0b00101000, 8},
    {0b00101001, 8}, {0b00101010, 8}, {0b00101011, 8}, {0b00101100, 8}, {0b00101101, 8},
    {0b00000100, 8}, {0b00000101, 8}, {0b00001010, 8}, {0b00001011, 8}, {0b01010010, 8},
    {0b01010011, 8}, {0b01010100, 8}, {0b01010101, 8}, {0b00100100, 8}, {0b00100101, 8},
    {0b01011000, 8}, {0b01011001, 8}, {0b01011010, 8}, {0b01011011, 8}, {0b01001010, 8},
    {0b01001011, 8}, {0b00110010, 8}, {0b00110011, 8}, {0b00110100, 8},
};
constexpr Code kWhiteMakeUp[27] = {
    {0b11011, 5},     {0b10010, 5},     {0b010111, 6},    {0b0110111, 7},   {0b00110110, 8},
    {0b00110111, 8},  {0b01100100, 8},  {0b01100101, 8},  {0b01101000, 8},  {0b01100111, 8},
    {0b011001100, 9}, {0b011001101, 9}, {0b011010010, 9}, {0b011010011, 9}, {0b011010100, 9},
    {0b011010101, 9}, {0b011010110, 9}, {0b011010111, 9}, {0b011011000, 9}, {0b011011001, 9},
    {0b011011010, 9}, {0b011011011, 9}, {0b010011000, 9}, {0b010011001, 9}, {0b010011010, 9},
    {0b011000, 6},    {0b010011011, 9},
};
constexpr Code kBlackTerminating[64] = {
    {0b0000110111, 10},
    {0b010, 3},
    {0b11, 2},
    {0b10, 2},
    {0b011, 3},
    {0b0011, 4},
    {0b0010, 4},
    {0b00011, 5},
    {0b000101, 6},
    {0b000100, 6},
    {0b0000100, 7},
    {0b0000101, 7},
    {0b0000111, 7},
    {0b00000100, 8},
    {0b00000111, 8},
    {0b000011000, 9},
    {0b0000010111, 10},
    {0b0000011000, 10},
    {0b0000001000, 10},
    {0b00001100111, 11},
    {0b00001101000, 11},
    {0b00001101100, 11},
    {0b00000110111, 11},
    {0b00000101000, 11},
    {0b00000010111, 11},
    {0b00000011000, 11},
    {0b000011001010, 12},
    {0b000011001011, 12},
    {0b000011001100, 12},
    {0b000011001101, 12},
    {0b000001101000, 12},
    {0b000001101001, 12},
    {0b000001101010, 12},
    {0b000001101011, 12},
    {0b000011010010, 12},
    {0b000011010011, 12},
    {0b000011010100, 12},
    {0b000011010101, 12},
    {0b000011010110, 12},
    {0b000011010111, 12},
    {0b000001101100, 12},
    {0b000001101101, 12},
    {0b000011011010, 12},
    {0b000011011011, 12},
    {0b000001010100, 12},
    {0b000001010101, 12},
    {0b000001010110, 12},
    {0b000001010111, 12},
    {0b000001100100, 12},
    {0b000001100101, 12},
    {0b000001010010, 12},
    {0b000001010011, 12},
    {0b000000100100, 12},
    {0b000000110111, 12},
    {0b000000111000, 12},
    {0b000000100111, 12},
    {0b000000101000, 12},
    {0b000001011000, 12},
    {0b000001011001, 12},
    {0b000000101011, 12},
    {0b000000101100, 12},
    {0b000001011010, 12},
    {0b000001100110, 12},
    {0b000001100111, 12},
};
constexpr Code kBlackMakeUp[27] = {
    {0b0000001111, 10},    {0b000011001000, 12},  {0b000011001001, 12},  {0b000001011011, 12},
    {0b000000110011, 12},  {0b000000110100, 12},  {0b000000110101, 12},  {0b0000001101100, 13},
    {0b0000001101101, 13}, {0b0000001001010, 13}, {0b0000001001011, 13}, {0b0000001001100, 13},
    {0b0000001001101, 13}, {0b0000001110010, 13}, {0b0000001110011, 13}, {0b0000001110100, 13},
    {0b0000001110101, 13}, {0b0000001110110, 13}, {0b0000001110111, 13}, {0b0000001010010, 13},
    {0b0000001010011, 13}, {0b0000001010100, 13}, {0b0000001010101, 13}, {0b0000001011010, 13},
    {0b0000001011011, 13}, {0b0000001100100, 13}, {0b0000001100101, 13},
};
constexpr Code kSharedMakeUp[13] = {
    {0b00000001000, 11},  {0b00000001100, 11},  {0b00000001101, 11},  {0b000000010010, 12},
    {0b000000010011, 12}, {0b000000010100, 12}, {0b000000010101, 12}, {0b000000010110, 12},
    {0b000000010111, 12}, {0b000000011100, 12}, {0b000000011101, 12}, {0b000000011110, 12},
    {0b000000011111, 12},
};

// The two-dimensional modes of T.6: pass, horizontal, and vertical for a1 - b1 of -3 to 3.
constexpr Code kPass{0b0001, 4};
constexpr Code kHorizontal{0b001, 3};
constexpr Code kVertical[7] = {{0b0000010, 7}, {0b000010, 6}, {0b010, 3},    {0b1, 1},
                               {0b011, 3},     {0b000011, 6}, {0b0000011, 7}};
constexpr uint32_t kEndOfBlock = 0b000000000001'000000000001;

constexpr uint32_t kWhite = 0xffffff;

// Writes codes most significant bit first.
class BitWriter {
 public:
  void put(uint32_t bits, int length) {
    pending_ = pending_ << length | bits;
    pendingBits_ += length;
    while (pendingBits_ >= 8) {
      pendingBits_ -= 8;
      out_.push_back(static_cast<uint8_t>(pending_ >> pendingBits_));
    }
  }
  void put(Code code) { put(code.bits, code.length); }

  // The bytes, the last one padded with zero bits.
  std::vector<uint8_t> finish() {
    if (pendingBits_ > 0)
      out_.push_back(static_cast<uint8_t>(pending_ << (8 - pendingBits_)));
    return std::move(out_);
  }

 private:
  uint64_t pending_ = 0;  // only its lowest pendingBits_ are still to be written
  int pendingBits_ = 0;
  std::vector<uint8_t> out_;
};

void putRun(BitWriter& writer, int run, bool black) {
  while (run >= 2560 + 64) {
    writer.put(kSharedMakeUp[12]);
    run -= 2560;
  }
  if (const int sixtyFours = run / 64; sixtyFours > 0) {
    writer.put(sixtyFours <= 27 ? (black ? kBlackMakeUp : kWhiteMakeUp)[sixtyFours - 1]
                                : kSharedMakeUp[sixtyFours - 28]);
    run %= 64;
  }
  writer.put((black ? kBlackTerminating : kWhiteTerminating)[run]);
}

// Where the colour changes along a row that starts white: every even entry turns black,
// every odd one white; then `width` three times, so that lookups past the last change
// need no checks. False when a pixel is neither black nor white.
bool findChanges(const uint32_t* row, int width, std::vector<int>& changes) {
  changes.clear();
  uint32_t colour = kWhite;
  for (int x = 0; x < width; ++x) {
    const uint32_t pixel = row[x] & kWhite;
    if (pixel != colour) {
      if (pixel != 0 && pixel != kWhite)
        return false;
      changes.push_back(x);
      colour = pixel;
    }
  }
  changes.insert(changes.end(), 3, width);
  return true;
}

// One row coded against the row above it (`reference`), as T.6 describes.
void encodeRow(BitWriter& writer, const std::vector<int>& reference, const std::vector<int>& coding,
               int width) {
  int a0 = -1;  // just before the first pixel, white
  bool black = false;
  size_t a = 0;
  size_t b = 0;
  while (a0 < width) {
    while (coding[a] <= a0)
      ++a;
    const int a1 = coding[a];
    // b1 is the first change after a0 to the colour opposite a0's. A change skipped for
    // its colour may qualify once the colour has flipped, so the search may step back.
    while (b > 0 && reference[b - 1] > a0)
      --b;
    while (reference[b] <= a0 || (b % 2 == 0) == black)
      ++b;
    const int b1 = reference[b];
    const int b2 = reference[b + 1];
    if (b2 < a1) {
      writer.put(kPass);
      a0 = b2;
    } else if (a1 - b1 >= -3 && a1 - b1 <= 3) {
      writer.put(kVertical[a1 - b1 + 3]);
      a0 = a1;
      black = !black;
    } else {
      const int a2 = coding[a + 1];
      writer.put(kHorizontal);
      putRun(writer, a1 - std::max(a0, 0), black);
      putRun(writer, a2 - a1, !black);
      a0 = a2;
    }
  }
}

}  // namespace

std::optional<std::vector<uint8_t>> encodeCcittG4(const PixelRows& image) {
  BitWriter writer;
  std::vector<int> reference(3, image.width);  // an all-white row above the first
  std::vector<int> coding;
  for (int y = 0; y < image.height; ++y) {
    const auto* row = reinterpret_cast<const uint32_t*>(image.pixels + y * image.stride);
    if (!findChanges(row, image.width, coding))
      return std::nullopt;
    encodeRow(writer, reference, coding, image.width);
    std::swap(reference, coding);
  }
  writer.put(kEndOfBlock, 24);
  return writer.finish();
}

}  // namespace tovanel
