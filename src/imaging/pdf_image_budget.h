// The pictures a PDF document holds, measured from their dictionaries before poppler draws
// them: poppler decodes every picture it draws at full size, however small its compressed
// stream, so a 400 kB document can hold a 12000 x 12000 picture that takes half a gigabyte.
#pragma once

#include <cstdint>
#include <string_view>

namespace tovanel {

// True when every image stream of the document gives its /Width and /Height as numbers whose
// product is at most `maxPixels`. Image streams are found by their dictionaries, read with
// PDF's own syntax (names with #-escapes, strings, comments, nested dictionaries), which
// always lie in the file's plain bytes: a stream is never inside an object stream. Pictures
// inline in content streams ("BI ... ID ... EI") are not seen.
bool imagesWithinBudget(std::string_view document, int64_t maxPixels);

}  // namespace tovanel
