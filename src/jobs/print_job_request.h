// The input of one silent print job, with the channel's defaults already filled in.
#pragma once

#include <cstdint>
#include <span>
#include <string>

namespace tovanel {

struct PrintJobRequest {
  std::string printerName;              // display name; empty means the current printer
  std::span<const uint8_t> imageBytes;  // encoded image, borrowed from the call
  double widthMm = 101.6;
  double heightMm = 152.4;
  int64_t copies = 1;
  std::string jobName = "Velmar Job";
};

}  // namespace tovanel
