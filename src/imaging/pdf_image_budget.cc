#include "imaging/pdf_image_budget.h"

#include <optional>
#include <string>

#include "base/hex.h"

namespace tovanel {
namespace {

bool isWhiteSpace(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == '\0';
}
bool isDelimiter(char c) {
  return std::string_view("()<>[]{}/%").find(c) != std::string_view::npos;
}
enum class Kind { end, name, word, open, close, other };

struct Token {
  Kind kind = Kind::end;
  std::string text;  // a name without its slash and with #-escapes read; a word as written
};

// PDF's tokens, as poppler's lexer reads them, from a position on.
class Lexer {
 public:
  explicit Lexer(std::string_view text) : text_(text) {}

  size_t position() const { return at_; }
  void moveTo(size_t at) { at_ = at; }

  Token next() {
    skipWhiteSpaceAndComments();
    if (at_ >= text_.size())
      return {};
    const char c = text_[at_];
    if (c == '/')
      return name();
    if (c == '<' || c == '>') {
      const bool dictionary = at_ + 1 < text_.size() && text_[at_ + 1] == c;
      if (c == '<' && !dictionary) {  // a hex string
        at_ = std::min(text_.find('>', at_), text_.size() - 1) + 1;
        return {Kind::other, {}};
      }
      at_ += dictionary ? 2 : 1;
      return {dictionary ? (c == '<' ? Kind::open : Kind::close) : Kind::other, {}};
    }
    if (c == '[' || c == ']') {
      ++at_;
      return {c == '[' ? Kind::open : Kind::close, {}};
    }
    if (c == '(') {
      skipString();
      return {Kind::other, {}};
    }
    if (isDelimiter(c)) {
      ++at_;
      return {Kind::other, {}};
    }
    const size_t start = at_;
    while (at_ < text_.size() && !isWhiteSpace(text_[at_]) && !isDelimiter(text_[at_]))
      ++at_;
    return {Kind::word, std::string(text_.substr(start, at_ - start))};
  }

 private:
  void skipWhiteSpaceAndComments() {
    while (at_ < text_.size()) {
      if (text_[at_] == '%')
        at_ = std::min(text_.find_first_of("\r\n", at_), text_.size());
      else if (isWhiteSpace(text_[at_]))
        ++at_;
      else
        return;
    }
  }

  Token name() {
    std::string decoded;
    for (++at_; at_ < text_.size() && !isWhiteSpace(text_[at_]) && !isDelimiter(text_[at_]);) {
      if (text_[at_] == '#' && at_ + 2 < text_.size() && hexDigitValue(text_[at_ + 1]) >= 0 &&
          hexDigitValue(text_[at_ + 2]) >= 0) {
        decoded +=
            static_cast<char>(hexDigitValue(text_[at_ + 1]) * 16 + hexDigitValue(text_[at_ + 2]));
        at_ += 3;
      } else {
        decoded += text_[at_++];
      }
    }
    return {Kind::name, decoded};
  }

  // A literal string: balanced parentheses, a backslash escaping the next byte.
  void skipString() {
    int depth = 0;
    for (; at_ < text_.size(); ++at_) {
      if (text_[at_] == '\\')
        ++at_;  // the loop's own step passes the escaped byte
      else if (text_[at_] == '(')
        ++depth;
      else if (text_[at_] == ')' && --depth == 0)
        break;
    }
    at_ = std::min(at_ + 1, text_.size());
  }

  std::string_view text_;
  size_t at_ = 0;
};

std::optional<int64_t> wholeNumber(const Token& token) {
  if (token.kind != Kind::word || token.text.empty() || token.text.size() > 12 ||
      token.text.find_first_not_of("0123456789") != std::string::npos)
    return std::nullopt;
  return std::stoll(token.text);
}

// The entries of a dictionary that say whether it is a picture's and how large that is.
struct ImageDictionary {
  bool closed = false;  // its ">>" was reached
  bool image = false;
  std::optional<int64_t> width;
  std::optional<int64_t> height;
};

// Reads the dictionary whose "<<" was just read, to its ">>".
ImageDictionary readDictionary(Lexer& lexer) {
  ImageDictionary dictionary;
  while (true) {
    const Token key = lexer.next();
    if (key.kind == Kind::end)
      return dictionary;
    if (key.kind == Kind::close) {
      dictionary.closed = true;
      return dictionary;
    }
    Token value = lexer.next();
    if (value.kind == Kind::close) {
      dictionary.closed = true;
      return dictionary;
    }
    // A nested dictionary or array is skipped whole; only direct values are read.
    for (int depth = value.kind == Kind::open; depth > 0 && value.kind != Kind::end;) {
      value = lexer.next();
      depth += value.kind == Kind::open ? 1 : value.kind == Kind::close ? -1 : 0;
    }
    auto number = wholeNumber(value);
    if (number) {  // "12 0 R" is a reference, not a number
      const size_t after = lexer.position();
      const Token generation = lexer.next(), reference = lexer.next();
      if (wholeNumber(generation) && reference.kind == Kind::word && reference.text == "R")
        number.reset();
      else
        lexer.moveTo(after);
    }
    if (key.kind != Kind::name)
      continue;
    if (key.text == "Subtype")
      dictionary.image = value.kind == Kind::name && value.text == "Image";
    else if (key.text == "Width")
      dictionary.width = number;
    else if (key.text == "Height")
      dictionary.height = number;
  }
}

// "obj" at `at` ends the start of an object, "12 0 obj".
bool startsObject(std::string_view text, size_t at) {
  const auto digitsBefore = [&](size_t end) {
    size_t start = end;
    while (start > 0 && text[start - 1] >= '0' && text[start - 1] <= '9')
      --start;
    return start < end ? start : std::string_view::npos;
  };
  const auto spaceBefore = [&](size_t end) {
    size_t start = end;
    while (start > 0 && isWhiteSpace(text[start - 1]))
      --start;
    return start < end ? start : std::string_view::npos;
  };
  if (at + 3 < text.size() && !isWhiteSpace(text[at + 3]) && !isDelimiter(text[at + 3]))
    return false;
  size_t at2 = spaceBefore(at);
  at2 = at2 == std::string_view::npos ? at2 : digitsBefore(at2);
  at2 = at2 == std::string_view::npos ? at2 : spaceBefore(at2);
  return at2 != std::string_view::npos && digitsBefore(at2) != std::string_view::npos;
}

// A real dictionary is far smaller; reading is capped so that a document cannot make the
// check slow by opening dictionaries that never close.
constexpr size_t kLargestDictionary = size_t{1} << 20;
constexpr size_t kReadingPerByte = 16;

}  // namespace

bool imagesWithinBudget(std::string_view document, int64_t maxPixels) {
  // Every object poppler reads begins "12 0 obj", where the cross-reference points or where
  // poppler's repair finds it, so looking at every such start misses none of them.
  size_t read = 0;
  for (size_t at = document.find("obj"); at != std::string_view::npos;
       at = document.find("obj", at + 3)) {
    if (!startsObject(document, at))
      continue;
    Lexer lexer(document.substr(0, std::min(document.size(), at + 3 + kLargestDictionary)));
    lexer.moveTo(at + 3);
    const Token first = lexer.next();
    if (first.kind != Kind::open || document[lexer.position() - 1] != '<')
      continue;
    const ImageDictionary dictionary = readDictionary(lexer);
    read += lexer.position() - at;
    if (!dictionary.closed || read > kReadingPerByte * document.size())
      return false;
    if (dictionary.image &&
        !(dictionary.width && dictionary.height && *dictionary.width <= maxPixels &&
          *dictionary.height <= maxPixels && *dictionary.width * *dictionary.height <= maxPixels))
      return false;
  }
  return true;
}

}  // namespace tovanel
