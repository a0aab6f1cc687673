// The channel handler's dispatch and argument rules, over recording operations.
#include "channel/printing_channel_handler.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "support/replies.h"

namespace tovanel {
namespace {

using testing::errorReply;
using testing::notImplementedReply;
using testing::successReply;

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInfinity = std::numeric_limits<double>::infinity();
const ValueMap kPrinterArgument{{"printerName", "Office Laser"}};
const ValueMap kImageArgument{{"imageBytes", Uint8List{0x89, 0x50}}};
const MethodReply kNameRequired = errorReply("INVALID_ARGUMENTS", "Printer name required");

class HandlerTest : public ::testing::Test {
 protected:
  MethodReply call(const std::string& method, Value arguments = Value()) {
    return testing::handleCall(handler_, method, std::move(arguments));
  }

  // The request that "printDocument" with image bytes and `extra` handed on.
  PrintJobRequest printWith(ValueMap extra) {
    ValueMap arguments{{"imageBytes", Uint8List{1, 2, 3}}};
    arguments.insert(arguments.end(), extra.begin(), extra.end());
    requests_.clear();
    EXPECT_EQ(call("printDocument", arguments), successReply("printed"));
    EXPECT_EQ(requests_.size(), 1u);
    return requests_.empty() ? PrintJobRequest{} : requests_.back();
  }

  ChannelOperations recordingOperations() {
    ChannelOperations operations;
    operations.printImage = [this](const PrintJobRequest& request, ReplyCallback reply) {
      invoked_.push_back("printImage");
      requests_.push_back(request);
      bytes_.assign(request.imageBytes.begin(), request.imageBytes.end());
      reply.success("printed");
    };
    operations.listPrinters = [this] {
      invoked_.push_back("listPrinters");
      return ValueList{"listed"};
    };
    operations.setSystemDefaultPrinter = [this](const std::string& name, ReplyCallback reply) {
      invoked_.push_back("setSystemDefaultPrinter " + name);
      reply.success(true);
    };
    operations.queryPaperSizes = [this](const std::string& name) {
      invoked_.push_back("queryPaperSizes " + name);
      return ValueList{"papers"};
    };
    operations.printerStatus = [this](const std::string& name) {
      invoked_.push_back("printerStatus " + name);
      return ValueMap{{"status", "online"}};
    };
    return operations;
  }

  std::vector<std::string> invoked_;
  std::vector<PrintJobRequest> requests_;
  std::vector<uint8_t> bytes_;  // of the last print, copied while its view was valid
  const PrintingChannelHandler handler_{recordingOperations()};
};

// Tests that each of the five names reaches its own operation, whose reply travels as is.
TEST_F(HandlerTest, EachMethodNameReachesItsOperation) {
  const struct {
    const char* method;
    Value arguments;
    const char* operation;
    MethodReply reply;
  } cases[] = {
      {"printDocument", kImageArgument, "printImage", successReply("printed")},
      {"printerlist", ValueMap{{int32_t{1}, int32_t{2}}}, "listPrinters",
       successReply(ValueList{"listed"})},
      {"setDefaultPrinter", kPrinterArgument, "setSystemDefaultPrinter Office Laser",
       successReply(true)},
      {"getPaperSizes", kPrinterArgument, "queryPaperSizes Office Laser",
       successReply(ValueList{"papers"})},
      {"getPrinterStatus", kPrinterArgument, "printerStatus Office Laser",
       successReply(ValueMap{{"status", "online"}})},
  };
  for (const auto& c : cases) {
    invoked_.clear();
    EXPECT_EQ(call(c.method, c.arguments), c.reply) << c.method;
    EXPECT_THAT(invoked_, ::testing::ElementsAre(c.operation)) << c.method;
  }
}

// Tests that names match exactly, and other names are not implemented.
TEST_F(HandlerTest, OtherNamesAreNotImplemented) {
  for (const char* name : {"PrintDocument", "printdocument", "printerList", "PRINTERLIST",
                           "SetDefaultPrinter", "getpapersizes", "getPrinterstatus", "",
                           "printDocument ", "getPrinterStatus\n", "printDocumentX"}) {
    EXPECT_EQ(call(name, kImageArgument), notImplementedReply()) << "\"" << name << "\"";
  }
  EXPECT_TRUE(invoked_.empty());
}

// Tests every argument shape that must be refused for "printDocument".
TEST_F(HandlerTest, PrintDocumentRefusesUnusableImageArguments) {
  for (const Value& arguments : {
           Value(),
           Value(ValueList{Uint8List{1}}),
           Value("imageBytes"),
           Value(ValueMap{{"printerName", "Office Laser"}}),
           Value(ValueMap{{"imageBytes", Value()}}),
           Value(ValueMap{{"imageBytes", ValueList{int32_t{1}, int32_t{2}}}}),
           Value(ValueMap{{"imageBytes", "iVBORw0KGgo="}}),
           Value(ValueMap{{"ImageBytes", Uint8List{1}}}),
           // One key that is not a string spoils the whole map.
           Value(ValueMap{{"imageBytes", Uint8List{1}}, {int32_t{1}, "one"}}),
       }) {
    EXPECT_EQ(call("printDocument", arguments),
              errorReply("INVALID_ARGUMENTS", "Invalid Image Data"))
        << describe(arguments);
  }
  EXPECT_TRUE(invoked_.empty());
}

// Tests that typed data of every kind is image bytes, and the defaults of a print.
TEST_F(HandlerTest, PrintDocumentTakesTypedDataAndFillsDefaults) {
  for (const auto& [imageBytes, size] : {std::pair{Value(Uint8List{1, 2, 3}), 3},
                                         {Int32List{1, 2}, 8},
                                         {Int64List{1}, 8},
                                         {Float32List{1.0f, 2.0f, 3.0f}, 12},
                                         {Float64List{1.0}, 8},
                                         {Uint8List{}, 0}}) {
    call("printDocument", ValueMap{{"imageBytes", imageBytes}});
    EXPECT_EQ(bytes_.size(), static_cast<size_t>(size)) << describe(imageBytes);
  }
  const auto request = printWith({});
  EXPECT_EQ(request.printerName, "");
  EXPECT_EQ(bytes_, (std::vector<uint8_t>{1, 2, 3}));
  EXPECT_EQ(request.widthMm, 101.6);
  EXPECT_EQ(request.heightMm, 152.4);
  EXPECT_EQ(request.copies, 1);
  EXPECT_EQ(request.jobName, "Velmar Job");
}

// Tests that widths and heights are taken by exact value and anything else is absent.
TEST_F(HandlerTest, WidthAndHeightTakeNumbersThatAreExactDoubles) {
  constexpr int64_t kTwoTo53 = int64_t{1} << 53;
  const struct {
    Value given;
    double expected;  // 0: absent, the default
  } cases[] = {
      {Value(100.0), 100.0},
      {Value(int32_t{100}), 100.0},
      {Value(int64_t{100}), 100.0},
      {Value(2.5), 2.5},
      {Value(kInfinity), kInfinity},
      {Value(int64_t{kTwoTo53}), 9007199254740992.0},
      {Value(int64_t{kTwoTo53 + 1}), 0},  // no double holds it
      {Value(std::numeric_limits<int64_t>::max()), 0},
      {Value(std::numeric_limits<int64_t>::min()), -9223372036854775808.0},
      {Value("100"), 0},
      {Value(true), 0},
      {Value(), 0},
      {Value(ValueList{100.0}), 0},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(printWith({{"width", c.given}}).widthMm, c.expected ? c.expected : 101.6)
        << describe(c.given);
    EXPECT_EQ(printWith({{"height", c.given}}).heightMm, c.expected ? c.expected : 152.4)
        << describe(c.given);
  }
  EXPECT_TRUE(std::isnan(printWith({{"width", kNaN}}).widthMm));
}

// Tests that copies take whole numbers within 64 bits, whatever their kind.
TEST_F(HandlerTest, CopiesTakeWholeNumbersWithinSixtyFourBits) {
  const struct {
    Value given;
    int64_t expected;
  } cases[] = {
      {Value(int32_t{3}), 3},
      {Value(int64_t{5000000000}), 5000000000},
      {Value(2.0), 2},
      {Value(-0.0), 0},
      {Value(int32_t{-1}), -1},
      {Value(2.5), 1},
      {Value("2"), 1},
      {Value(true), 1},
      {Value(), 1},
      {Value(kNaN), 1},
      {Value(kInfinity), 1},
      {Value(9223372036854775808.0), 1},  // 2^63
      {Value(-9223372036854775808.0), std::numeric_limits<int64_t>::min()},
      {Value(9223372036854774784.0), 9223372036854774784},  // the largest double below 2^63
  };
  for (const auto& c : cases)
    EXPECT_EQ(printWith({{"copies", c.given}}).copies, c.expected) << describe(c.given);
}

// Tests that the texts take strings only.
TEST_F(HandlerTest, PrinterNameAndJobNameTakeStringsOnly) {
  const struct {
    Value given;
    std::string expectedPrinter;
    std::string expectedJob;
  } cases[] = {
      {Value("Label Printer 4x6"), "Label Printer 4x6", "Label Printer 4x6"},
      {Value(""), "", ""},
      {Value("  padded  "), "  padded  ", "  padded  "},
      {Value(), "", "Velmar Job"},
      {Value(int32_t{42}), "", "Velmar Job"},
      {Value(Uint8List{'a'}), "", "Velmar Job"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(printWith({{"printerName", c.given}}).printerName, c.expectedPrinter);
    EXPECT_EQ(printWith({{"jobName", c.given}}).jobName, c.expectedJob);
  }
}

// Tests every argument shape refused where a printer name is needed; "" is a name.
TEST_F(HandlerTest, PrinterMethodsRequireAStringPrinterName) {
  for (const char* method : {"setDefaultPrinter", "getPaperSizes", "getPrinterStatus"}) {
    for (const Value& arguments : {
             Value(),
             Value("Office Laser"),
             Value(ValueList{"Office Laser"}),
             Value(ValueMap{{"name", "Office Laser"}}),
             Value(ValueMap{{"printerName", Value()}}),
             Value(ValueMap{{"printerName", int32_t{5}}}),
             Value(ValueMap{{"PrinterName", "Office Laser"}}),
             Value(ValueMap{{"printerName", "Office Laser"}, {Value(), "null key"}}),
         }) {
      EXPECT_EQ(call(method, arguments), kNameRequired) << method << " " << describe(arguments);
    }
    call(method, ValueMap{{"printerName", ""}, {"unused", int32_t{1}}});
  }
  EXPECT_THAT(invoked_, ::testing::ElementsAre("setSystemDefaultPrinter ", "queryPaperSizes ",
                                               "printerStatus "));
}

}  // namespace
}  // namespace tovanel
