// Where a document is written as it is produced; false means the bytes did not arrive.
#pragma once

#include <functional>
#include <span>

namespace tovanel {

using ByteSink = std::function<bool(std::span<const unsigned char> bytes)>;

}  // namespace tovanel
