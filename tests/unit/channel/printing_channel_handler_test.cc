#include "channel/printing_channel_handler.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "support/replies.h"

namespace tovanel {
namespace {

using testing::errorReply;
using testing::MisuseRecorder;
using testing::notImplementedReply;
using testing::ReplyRecorder;
using testing::successReply;

// What reached an operation, as the handler handed it on.
struct ReceivedRequest {
  std::string printerName;
  std::vector<uint8_t> imageBytes;
  double widthMm;
  double heightMm;
  int64_t copies;
  std::string jobName;
};

class HandlerTest : public ::testing::Test {
 protected:
  HandlerTest() : handler_(recordingOperations()) {}

  // The one reply the call received; fails the test on none, two, or a misuse.
  MethodReply call(const std::string& method, Value arguments = Value()) {
    ReplyRecorder recorder;
    handler_.handleMethodCall(MethodCall{method, std::move(arguments)}, recorder.callback());
    EXPECT_EQ(recorder.replies.size(), 1u) << "method " << method;
    EXPECT_TRUE(misuses_.misuses.empty()) << "method " << method;
    return recorder.replies.empty() ? MethodReply(Value("no reply")) : recorder.replies.front();
  }

  ChannelOperations recordingOperations() {
    ChannelOperations operations;
    operations.printImage = [this](const PrintJobRequest& request, ReplyCallback reply) {
      invoked.push_back("printImage");
      printRequests.push_back({request.printerName,
                               {request.imageBytes.begin(), request.imageBytes.end()},
                               request.widthMm,
                               request.heightMm,
                               request.copies,
                               request.jobName});
      reply.success(ValueMap{{"status", "success"}});
    };
    operations.listPrinters = [this] {
      invoked.push_back("listPrinters");
      return ValueList{"listed"};
    };
    operations.setSystemDefaultPrinter = [this](const std::string& name, ReplyCallback reply) {
      invoked.push_back("setSystemDefaultPrinter " + name);
      reply.success(true);
    };
    operations.queryPaperSizes = [this](const std::string& name) {
      invoked.push_back("queryPaperSizes " + name);
      return ValueList{"papers"};
    };
    operations.printerStatus = [this](const std::string& name) {
      invoked.push_back("printerStatus " + name);
      return ValueMap{{"status", "online"}};
    };
    return operations;
  }

  ReceivedRequest printWith(ValueMap extra) {
    ValueMap arguments{{"imageBytes", Uint8List{1, 2, 3}}};
    for (auto& entry : extra)
      arguments.push_back(std::move(entry));
    EXPECT_EQ(call("printDocument", arguments), successReply(ValueMap{{"status", "success"}}));
    EXPECT_EQ(printRequests.size(), 1u);
    return printRequests.empty() ? ReceivedRequest{} : printRequests.back();
  }

  MisuseRecorder misuses_;
  std::vector<std::string> invoked;
  std::vector<ReceivedRequest> printRequests;
  PrintingChannelHandler handler_;
};

const ValueMap kPrinterArgument{{"printerName", "Office Laser"}};
const ValueMap kImageArgument{{"imageBytes", Uint8List{0x89, 0x50}}};

// Tests that each of the five names reaches its own operation and no other.
TEST_F(HandlerTest, EachMethodNameReachesItsOperation) {
  const struct {
    const char* method;
    Value arguments;
    const char* operation;
  } cases[] = {
      {"printDocument", kImageArgument, "printImage"},
      {"printerlist", Value(), "listPrinters"},
      {"setDefaultPrinter", kPrinterArgument, "setSystemDefaultPrinter Office Laser"},
      {"getPaperSizes", kPrinterArgument, "queryPaperSizes Office Laser"},
      {"getPrinterStatus", kPrinterArgument, "printerStatus Office Laser"},
  };
  for (const auto& c : cases) {
    invoked.clear();
    call(c.method, c.arguments);
    EXPECT_THAT(invoked, ::testing::ElementsAre(c.operation)) << c.method;
  }
}

// Tests that names match exactly: another case, a blank or a near miss is not a method,
// and its arguments are not looked at.
TEST_F(HandlerTest, OtherNamesAreNotImplemented) {
  const char* names[] = {"PrintDocument",
                         "printdocument",
                         "PRINTDOCUMENT",
                         "printerList",
                         "Printerlist",
                         "PRINTERLIST",
                         "setdefaultprinter",
                         "SetDefaultPrinter",
                         "getpapersizes",
                         "GetPaperSizes",
                         "getprinterstatus",
                         "getPrinterstatus",
                         "",
                         "printDocument ",
                         " printerlist",
                         "getPrinterStatus\n",
                         "printDocumentX",
                         "print"};
  for (const char* name : names) {
    EXPECT_EQ(call(name, kImageArgument), notImplementedReply()) << "\"" << name << "\"";
  }
  EXPECT_TRUE(invoked.empty());
}

// Tests every argument shape that must be refused for "printDocument".
TEST_F(HandlerTest, PrintDocumentRefusesUnusableImageArguments) {
  const Value shapes[] = {
      Value(),
      ValueList{Uint8List{1}},
      Value("imageBytes"),
      Value(int32_t{7}),
      ValueMap{},
      ValueMap{{"printerName", "Office Laser"}},
      ValueMap{{"imageBytes", Value()}},
      ValueMap{{"imageBytes", ValueList{int32_t{1}, int32_t{2}}}},
      ValueMap{{"imageBytes", "iVBORw0KGgo="}},
      ValueMap{{"imageBytes", ValueMap{}}},
      ValueMap{{"ImageBytes", Uint8List{1}}},
      // One key that is not a string spoils the whole map.
      ValueMap{{"imageBytes", Uint8List{1}}, {int32_t{1}, "one"}},
  };
  for (const auto& arguments : shapes) {
    EXPECT_EQ(call("printDocument", arguments),
              errorReply("INVALID_ARGUMENTS", "Invalid Image Data"))
        << describe(arguments);
  }
  EXPECT_TRUE(invoked.empty());
}

// Tests that typed data of every element type is image bytes, handed on raw.
TEST_F(HandlerTest, PrintDocumentTakesTypedDataOfAnyKind) {
  const struct {
    Value imageBytes;
    size_t byteCount;
  } cases[] = {
      {Uint8List{1, 2, 3}, 3}, {Int32List{1, 2}, 8},
      {Int64List{1}, 8},       {Float32List{1.0f, 2.0f, 3.0f}, 12},
      {Float64List{1.0}, 8},   {Uint8List{}, 0},
  };
  for (const auto& c : cases) {
    printRequests.clear();
    call("printDocument", ValueMap{{"imageBytes", c.imageBytes}});
    ASSERT_EQ(printRequests.size(), 1u) << describe(c.imageBytes);
    EXPECT_EQ(printRequests[0].imageBytes.size(), c.byteCount) << describe(c.imageBytes);
  }
  EXPECT_EQ(printRequests.back().imageBytes, std::vector<uint8_t>{});
}

// Tests the defaults that a call with only image bytes receives.
TEST_F(HandlerTest, PrintDocumentFillsDefaults) {
  const auto request = printWith({});
  EXPECT_EQ(request.printerName, "");
  EXPECT_EQ(request.imageBytes, (std::vector<uint8_t>{1, 2, 3}));
  EXPECT_EQ(request.widthMm, 101.6);
  EXPECT_EQ(request.heightMm, 152.4);
  EXPECT_EQ(request.copies, 1);
  EXPECT_EQ(request.jobName, "Velmar Job");
}

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInfinity = std::numeric_limits<double>::infinity();
constexpr int64_t kTwoTo53 = int64_t{1} << 53;

// Tests that widths and heights are taken by exact value and anything else is absent.
TEST_F(HandlerTest, WidthAndHeightTakeNumbersThatAreExactDoubles) {
  const struct {
    Value given;
    double expected;
  } cases[] = {
      {Value(100.0), 100.0},
      {Value(int32_t{100}), 100.0},
      {Value(int64_t{100}), 100.0},
      {Value(2.5), 2.5},
      {Value(0.0), 0.0},
      {Value(int32_t{0}), 0.0},
      {Value(-20.0), -20.0},
      {Value(int64_t{kTwoTo53}), 9007199254740992.0},
      {Value(int64_t{kTwoTo53 + 1}), 101.6},  // no double holds it
      {Value(std::numeric_limits<int64_t>::max()), 101.6},
      {Value(std::numeric_limits<int64_t>::min()), -9223372036854775808.0},
      {Value("100"), 101.6},
      {Value(true), 101.6},
      {Value(), 101.6},
      {Value(ValueList{100.0}), 101.6},
      {Value(Float64List{100.0}), 101.6},
  };
  for (const auto& c : cases) {
    printRequests.clear();
    const auto width = printWith({{"width", c.given}}).widthMm;
    EXPECT_EQ(width, c.expected) << describe(c.given);
    printRequests.clear();
    const auto height = printWith({{"height", c.given}}).heightMm;
    EXPECT_EQ(height, c.expected == 101.6 ? 152.4 : c.expected) << describe(c.given);
  }
  printRequests.clear();
  EXPECT_TRUE(std::isnan(printWith({{"width", kNaN}}).widthMm));
  printRequests.clear();
  EXPECT_EQ(printWith({{"height", kInfinity}}).heightMm, kInfinity);
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
      {Value(int32_t{0}), 0},
      {Value(int32_t{-1}), -1},
      {Value(2.5), 1},
      {Value("2"), 1},
      {Value(true), 1},
      {Value(), 1},
      {Value(kNaN), 1},
      {Value(kInfinity), 1},
      {Value(-kInfinity), 1},
      {Value(1e19), 1},                   // past 2^63
      {Value(9223372036854775808.0), 1},  // 2^63 itself
      {Value(-9223372036854775808.0), std::numeric_limits<int64_t>::min()},
      {Value(9223372036854774784.0), 9223372036854774784},  // largest double below 2^63
      {Value(Int32List{2}), 1},
  };
  for (const auto& c : cases) {
    printRequests.clear();
    EXPECT_EQ(printWith({{"copies", c.given}}).copies, c.expected) << describe(c.given);
  }
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
    printRequests.clear();
    EXPECT_EQ(printWith({{"printerName", c.given}}).printerName, c.expectedPrinter);
    printRequests.clear();
    EXPECT_EQ(printWith({{"jobName", c.given}}).jobName, c.expectedJob);
  }
}

// Tests every argument shape refused by the three methods that need a printer name.
TEST_F(HandlerTest, PrinterMethodsRequireAStringPrinterName) {
  const Value shapes[] = {
      Value(),
      Value("Office Laser"),
      ValueList{"Office Laser"},
      ValueMap{},
      ValueMap{{"name", "Office Laser"}},
      ValueMap{{"printerName", Value()}},
      ValueMap{{"printerName", int32_t{5}}},
      ValueMap{{"printerName", Uint8List{'O'}}},
      ValueMap{{"PrinterName", "Office Laser"}},
      ValueMap{{"printerName", "Office Laser"}, {Value(), "null key"}},
  };
  for (const char* method : {"setDefaultPrinter", "getPaperSizes", "getPrinterStatus"}) {
    for (const auto& arguments : shapes) {
      EXPECT_EQ(call(method, arguments), errorReply("INVALID_ARGUMENTS", "Printer name required"))
          << method << " " << describe(arguments);
    }
  }
  EXPECT_TRUE(invoked.empty());
}

// Tests that an empty printer name is accepted and handed on untouched.
TEST_F(HandlerTest, EmptyPrinterNameIsHandedOn) {
  for (const char* method : {"setDefaultPrinter", "getPaperSizes", "getPrinterStatus"}) {
    call(method, ValueMap{{"printerName", ""}, {"unused", int32_t{1}}});
  }
  EXPECT_THAT(invoked, ::testing::ElementsAre("setSystemDefaultPrinter ", "queryPaperSizes ",
                                              "printerStatus "));
}

// Tests that "printerlist" ignores its arguments whatever they are.
TEST_F(HandlerTest, PrinterListIgnoresArguments) {
  for (const auto& arguments :
       {Value(), Value("x"), Value(ValueMap{}), Value(ValueMap{{int32_t{1}, int32_t{2}}})}) {
    EXPECT_EQ(call("printerlist", arguments), successReply(ValueList{"listed"}));
  }
}

// Tests that the replies of the operations travel unchanged.
TEST_F(HandlerTest, OperationRepliesAreSentUnchanged) {
  EXPECT_EQ(call("setDefaultPrinter", kPrinterArgument), successReply(true));
  EXPECT_EQ(call("getPaperSizes", kPrinterArgument), successReply(ValueList{"papers"}));
  EXPECT_EQ(call("getPrinterStatus", kPrinterArgument),
            successReply(ValueMap{{"status", "online"}}));
}

// Tests that a method whose operation this build lacks says so, and never succeeds.
TEST(HandlerWithoutOperations, MissingOperationsAnswerNotAvailable) {
  MisuseRecorder misuses;
  const PrintingChannelHandler handler{ChannelOperations{}};
  const struct {
    const char* method;
    Value arguments;
  } cases[] = {{"printDocument", kImageArgument},
               {"printerlist", Value()},
               {"setDefaultPrinter", kPrinterArgument},
               {"getPaperSizes", kPrinterArgument},
               {"getPrinterStatus", kPrinterArgument}};
  for (const auto& c : cases) {
    ReplyRecorder recorder;
    handler.handleMethodCall(MethodCall{c.method, c.arguments}, recorder.callback());
    ASSERT_EQ(recorder.replies.size(), 1u);
    const auto* error = std::get_if<FlutterError>(&recorder.replies[0]);
    ASSERT_NE(error, nullptr) << c.method;
    EXPECT_EQ(error->code, "NOT_AVAILABLE");
  }
  // Argument errors still come first.
  ReplyRecorder recorder;
  handler.handleMethodCall(MethodCall{"getPrinterStatus", Value()}, recorder.callback());
  EXPECT_EQ(recorder.replies.at(0), errorReply("INVALID_ARGUMENTS", "Printer name required"));
  EXPECT_TRUE(misuses.misuses.empty());
}

}  // namespace
}  // namespace tovanel
