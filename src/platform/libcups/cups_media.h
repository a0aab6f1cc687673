// The media of a CUPS destination: the paper that print settings take on for it (its
// default media), and every medium it offers a job.
#pragma once

#include <optional>
#include <string>

#include "platform/libcups/media_choice.h"
#include "platform/print_job_settings.h"

namespace tovanel {

// The size, in points, of the media that destination `queue` names as its default
// ("media-default", as the queue's driver or its options set it). Nothing when the
// destination cannot be read, names no default media, or names one it cannot measure.
// One small request per call; a keyword that does not describe its own size costs one
// more, for the destination's full details.
std::optional<PaperSize> defaultMediaSize(const std::string& queue);

// What destination `queue` offers: its listed sizes, its range of custom sizes, its
// default and loaded media, from one request, never cached. Not known when the request
// fails or the queue lists no media.
MediaOffer readMediaOffer(const std::string& queue);

}  // namespace tovanel
