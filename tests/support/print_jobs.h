// Print jobs in the sandbox's CUPS server, and what its printers received.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "support/temporary_folder.h"

namespace tovanel::testing {

struct SandboxJob {
  int id = 0;
  std::string title;
  int state = 0;  // ipp_jstate_t: 9 completed, 8 aborted, 7 cancelled
  int copies = 0;
};

// The id of the newest job the server has for `queue`, finished or not; 0 when none.
int newestJobId(const std::string& queue);

// The first job after `afterId` once CUPS is done with it (its output is then complete).
std::optional<SandboxJob> waitForJobAfter(
    const std::string& queue, int afterId,
    std::chrono::milliseconds timeout = std::chrono::seconds(60),
    std::chrono::milliseconds pollEvery = std::chrono::milliseconds(20));

// Whether `queue` accepts and prints jobs (it is not stopped).
bool queueIsEnabled(const std::string& queue);

// A page of a PDF as pdfinfo reports it.
struct PdfPages {
  int count = 0;
  double width = 0;  // points, of the first page
  double height = 0;
  int rotation = 0;  // degrees
};
std::optional<PdfPages> pdfPages(const std::string& path);

// The first page of a PDF rendered by pdftoppm at `dpi`, 8-bit RGB.
struct Raster {
  int width = 0;
  int height = 0;
  std::vector<uint8_t> rgb;

  const uint8_t* at(int x, int y) const { return &rgb[(static_cast<size_t>(y) * width + x) * 3]; }
};
std::optional<Raster> renderPdfPage(const std::string& path, int dpi);

}  // namespace tovanel::testing
