// The printer directory against a private cupsd, with the real lpstat and lpoptions.
#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>
#include <string>
#include <vector>

#include "channel/printing_channel_handler.h"
#include "codec/standard_message_codec.h"
#include "cups/cups_queue_map.h"
#include "directory/printer_listing.h"
#include "platform/cups_printing_services.h"
#include "support/cups_sandbox.h"
#include "support/host_client.h"
#include "support/host_process.h"
#include "support/print_images.h"
#include "support/print_jobs.h"
#include "support/replies.h"

namespace tovanel {
namespace {

using testing::errorReply;
using testing::runShell;
using testing::successReply;

const MethodReply kOnline = successReply(ValueMap{{"status", "online"}, {"message", "Ready"}});
const MethodReply kOffline =
    successReply(ValueMap{{"status", "offline"}, {"message", "Printer not found"}});

Value paper(const std::string& name, double width, double height) {
  return ValueMap{{"name", name}, {"width", width}, {"height", height}};
}

// The page-size keywords of a queue's driver, star dropped, read with nothing of the host's.
std::vector<std::string> driverKeywords(const std::string& queue) {
  std::istringstream listing(runShell("/usr/bin/lpoptions -p " + queue +
                                      " -l | sed -n 's/^PageSize[^:]*: //p' | tr -d '*'")
                                 .output);
  std::vector<std::string> keywords;
  for (std::string keyword; listing >> keyword;)
    keywords.push_back(keyword);
  return keywords;
}

class CupsDirectory : public ::testing::Test {
 protected:
  MethodReply call(const std::string& method, Value arguments = Value()) {
    return testing::handleCall(handler_, method, std::move(arguments));
  }
  MethodReply named(const std::string& method, const std::string& printerName) {
    return call(method, ValueMap{{"printerName", printerName}});
  }
  // The records of "printerlist".
  ValueList listing() {
    const auto reply = call("printerlist");
    const auto* value = std::get_if<Value>(&reply);
    EXPECT_TRUE(value && value->is<ValueList>()) << describe(reply);
    return value && value->is<ValueList>() ? *value->getIf<ValueList>() : ValueList{};
  }

  CupsPrintingServices services_;
  const PrintingChannelHandler handler_{makeChannelOperations(services_)};
};

const Value& field(const Value& record, const char* key) {
  static const Value absent;
  const Value* value = findStringKey(*record.getIf<ValueMap>(), key);
  return value ? *value : absent;
}

// Tests that the real listing maps every sandbox description to its queue.
TEST_F(CupsDirectory, QueueMapFromTheRealLpstat) {
  EXPECT_EQ(getCupsMapping(runCommand).entries(),
            (std::vector<CupsQueueMap::Entry>{{"Label Printer 4x6", "Label_4x6"},
                                              {"Label Printer Driverless", "Label_Driverless"},
                                              {"Office Driverless", "Office_Driverless"},
                                              {"Office Laser", "Office_Laser"}}));
}

// Tests that "getPaperSizes" lists the driver's sizes in order, and [] for unknown printers.
TEST_F(CupsDirectory, PaperSizesFollowTheDriver) {
  ::testing::internal::CaptureStdout();
  const auto label = named("getPaperSizes", "Label Printer 4x6");
  const auto office = named("getPaperSizes", "Office Laser");
  for (const std::string name : {"No Such Printer", "", "Label_4x6 ; rm -rf /tmp/x", "-l"})
    EXPECT_EQ(named("getPaperSizes", name), successReply(ValueList{})) << name;
  EXPECT_EQ(::testing::internal::GetCapturedStdout(), "");

  const auto& list = *std::get<Value>(label).getIf<ValueList>();
  const auto keywords = driverKeywords("Label_4x6");
  ASSERT_EQ(list.size(), keywords.size());
  ASSERT_GT(list.size(), 40u);
  for (size_t i = 0; i < list.size(); ++i)
    EXPECT_EQ(field(list[i], "name"), Value(keywords[i])) << i;
  EXPECT_EQ(list.front(), paper("A4", 210.0, 297.0));
  EXPECT_NE(std::find(list.begin(), list.end(), paper("w288h432", 101.6, 152.4)), list.end());
  EXPECT_EQ(list.back(), paper("Custom.WIDTHxHEIGHT", 0.0, 0.0));
  EXPECT_EQ(office,
            successReply(ValueList{paper("Letter", 215.9, 279.4), paper("A4", 210.0, 297.0),
                                   paper("w288h432", 101.6, 152.4), paper("A6", 105.0, 148.0),
                                   paper("Custom.WIDTHxHEIGHT", 0.0, 0.0)}));
}

// Tests every virtual printer's record in "printerlist", the CUPS default marked.
TEST_F(CupsDirectory, ListsTheSandboxPrinters) {
  const ValueList records = listing();
  ASSERT_EQ(records.size(), 4u);
  const struct {
    const char* name;
    bool isDefault;
    const char* queue;
    const char* type;
    double width, height;  // the queue's default media, not the driver's first size
  } expected[] = {
      {"Label Printer 4x6", false, "Label_4x6", "Zebra ZPL Label Printer", 101.6,
       152.39999999999998},
      {"Label Printer Driverless", false, "Label_Driverless", "Printer - IPP Everywhere", 101.6,
       152.39999999999998},
      {"Office Driverless", false, "Office_Driverless", "Printer - IPP Everywhere",
       215.89999999999998, 279.4},
      {"Office Laser", true, "Office_Laser", "Tovanel Office Laser PDF", 210.0, 297.0},
  };
  for (size_t i = 0; i < records.size(); ++i) {
    const auto& c = expected[i];
    EXPECT_EQ(records[i],
              Value(ValueMap{{"name", c.name},
                             {"isDefault", c.isDefault},
                             {"cupsName", c.queue},
                             {"type", c.type},
                             {"paperWidth", c.width},
                             {"paperHeight", c.height},
                             {"paperSizes", std::get<Value>(named("getPaperSizes", c.name))}}));
  }
}

// Tests that only display names are online, a paused queue included.
TEST_F(CupsDirectory, StatusByDisplayName) {
  const struct {
    const char* name;
    const MethodReply& expected;
  } cases[] = {
      {"Label Printer 4x6", kOnline},   {"Office Laser", kOnline},
      {"Label_4x6", kOffline},          {"", kOffline},
      {"Label Printer 4x6 ", kOffline}, {"label printer 4x6", kOffline},
  };
  for (const auto& c : cases)
    EXPECT_EQ(named("getPrinterStatus", c.name), c.expected) << c.name;
  ASSERT_EQ(runShell("/usr/sbin/cupsdisable Label_4x6").status, 0);
  EXPECT_EQ(named("getPrinterStatus", "Label Printer 4x6"), kOnline);
  ASSERT_EQ(runShell("/usr/sbin/cupsenable Label_4x6").status, 0);
}

// Tests queues without description or driver, and with descriptions in unusual forms.
TEST_F(CupsDirectory, QueuesWithoutDescriptionOrWithUnusualOnes) {
  const std::string zebra = " -E -v file:///dev/null -m drv:///sample.drv/zebra.ppd";
  ASSERT_EQ(runShell("/usr/sbin/lpadmin -p Raw_Queue -E -v file:///dev/null").status, 0);
  ASSERT_EQ(runShell("/usr/sbin/lpadmin -p Cafe_Labels -D 'Caf\u00e9 Labels'" + zebra).status, 0);
  ASSERT_EQ(runShell("/usr/sbin/lpadmin -p Quoted -D 'Bob'\\''s \"Labels\"'" + zebra).status, 0);
  const ValueList records = listing();
  const auto status = named("getPrinterStatus", "Cafe\u0301 Labels");
  const auto byQueue = named("getPrinterStatus", "Cafe_Labels");
  const auto quoted = named("getPaperSizes", "Bob's \"Labels\"");
  runShell("for q in Raw_Queue Cafe_Labels Quoted; do /usr/sbin/lpadmin -x $q; done");

  ASSERT_EQ(records.size(), 7u);
  EXPECT_EQ(records[6], Value(ValueMap{{"name", "Raw_Queue"},
                                       {"isDefault", false},
                                       {"cupsName", "Raw_Queue"},
                                       {"type", "Local Raw Printer"},
                                       {"paperWidth", 0.0},
                                       {"paperHeight", 0.0},
                                       {"paperSizes", ValueList{}}}));
  EXPECT_EQ(status, kOnline);
  EXPECT_EQ(byQueue, kOffline);
  ASSERT_TRUE(std::get<Value>(quoted).is<ValueList>());
  EXPECT_EQ(std::get<Value>(quoted).getIf<ValueList>()->size(), driverKeywords("Label_4x6").size());
}

// Tests that "setDefaultPrinter" changes CUPS's default and the listing's, or answers the
// status of lpoptions.
TEST_F(CupsDirectory, SetDefaultPrinter) {
  EXPECT_EQ(named("setDefaultPrinter", "Label Printer 4x6"), successReply(true));
  EXPECT_EQ(runShell("/usr/bin/lpstat -d").output, "system default destination: Label_4x6\n");
  const ValueList records = listing();
  ASSERT_EQ(records.size(), 4u);
  EXPECT_EQ(field(records[0], "isDefault"), Value(true));
  EXPECT_EQ(field(records[3], "isDefault"), Value(false));

  const int status = runShell("/usr/bin/lpoptions -d 'No Such Printer' 2>/dev/null").status;
  ASSERT_NE(status, 0);
  EXPECT_EQ(named("setDefaultPrinter", "No Such Printer"),
            errorReply("SHELL_ERROR",
                       "Failed to set system default printer. Status: " + std::to_string(status)));
  EXPECT_EQ(services_.sharedPrinter().name, "Label Printer 4x6");
  runShell("/usr/bin/lpoptions -d Office_Laser >/dev/null");
}

// Tests that the listing's queries side by side give byte for byte the reply and the
// diagnostic lines of one query after another, also where printers' tools fail.
TEST_F(CupsDirectory, ListingSideBySideIsTheListingOneByOne) {
  const CommandRunner run = [](const CommandRequest& request) {
    const auto& arguments = request.arguments;
    for (const char* broken : {"Label_4x6", "Office_Laser"}) {
      if (std::find(arguments.begin(), arguments.end(), broken) != arguments.end()) {
        CommandResult failed;
        failed.launchError = LaunchError{request.toolPath, "posix_spawn", 2, broken};
        return failed;
      }
    }
    return runCommand(request);
  };
  std::vector<uint8_t> replies[2];
  std::string lines[2];
  for (const size_t concurrency : {1, 4}) {
    ::testing::internal::CaptureStdout();
    replies[concurrency > 1] = encodeMessage(listPrinters(services_, run, concurrency));
    lines[concurrency > 1] = ::testing::internal::GetCapturedStdout();
  }
  EXPECT_EQ(replies[1], replies[0]);
  EXPECT_EQ(lines[1], lines[0]);
  EXPECT_LT(lines[0].find("Label Printer 4x6: "), lines[0].find("Office Laser: "));
}

// Tests that a host started on a German desktop lists the same queues and paper sizes,
// though the tools it runs would write German there.
TEST_F(CupsDirectory, GermanDesktopListsTheSameQueuesAndPapers) {
  const auto english = call("printerlist");
  setenv("LANG", "de_DE.UTF-8", 1);
  const bool german =
      runShell("/usr/bin/lpstat -lp").output.find("Beschreibung:") != std::string::npos;
  testing::HostProcess host;
  const auto translated = testing::HostClient(host.socketPath()).call("printerlist");
  unsetenv("LANG");
  ASSERT_TRUE(german) << "lpstat does not speak German here, so this test proves nothing";
  EXPECT_EQ(translated, english);
}

// Tests that the current printer is the CUPS default of start-up, whatever comes first.
TEST_F(CupsDirectory, CurrentPrinterDoesNotDependOnCallOrder) {
  for (const bool listingFirst : {false, true}) {
    ASSERT_EQ(runShell("/usr/bin/lpoptions -d Office_Laser >/dev/null").status, 0);
    CupsPrintingServices fresh;
    const PrintingChannelHandler handler{makeChannelOperations(fresh)};
    const auto defaultOf = [&](const char* name) {
      const auto reply = testing::handleCall(handler, "printerlist");
      for (const Value& record : *std::get<Value>(reply).getIf<ValueList>()) {
        if (field(record, "name") == Value(name))
          return field(record, "isDefault");
      }
      return Value();
    };
    if (listingFirst) {
      EXPECT_EQ(defaultOf("Office Laser"), Value(true));
    }
    // A queue name: no printer has it as display name, so only CUPS's default changes.
    EXPECT_EQ(
        testing::handleCall(handler, "setDefaultPrinter", ValueMap{{"printerName", "Label_4x6"}}),
        successReply(true));
    EXPECT_EQ(defaultOf("Office Laser"), Value(true)) << listingFirst;
    EXPECT_EQ(defaultOf("Label Printer 4x6"), Value(false)) << listingFirst;
  }
  runShell("/usr/bin/lpoptions -d Office_Laser >/dev/null");
}

// Tests that where two queues share a description, the name means the later queue for
// the listing, the jobs and the current printer alike.
TEST_F(CupsDirectory, TwinDescriptionsMeanOneQueue) {
  const std::string twin = " -E -D Twin -m drv:///sample.drv/zebra.ppd -v file://" +
                           testing::sandbox().outputDir() + "/twin_";
  ASSERT_EQ(runShell("/usr/sbin/lpadmin -p Dup_A" + twin + "a.zpl").status, 0);
  ASSERT_EQ(runShell("/usr/sbin/lpadmin -p Dup_B" + twin + "b.zpl").status, 0);
  const ValueList records = listing();
  const auto print = [&](const char* printerName) {
    const int before = testing::newestJobId("Dup_B");
    const auto png = testing::markerImagePng(40, 60);
    ValueMap arguments{{"imageBytes", Uint8List(png.begin(), png.end())}};
    if (*printerName)
      arguments.push_back({"printerName", printerName});
    EXPECT_EQ(call("printDocument", arguments),
              successReply(ValueMap{{"status", "success"}, {"jobName", "Velmar Job"}}));
    return testing::newestJobId("Dup_B") > before;
  };
  const bool printedByName = print("Twin");
  EXPECT_EQ(named("setDefaultPrinter", "Twin"), successReply(true));
  const std::string cupsDefault = runShell("/usr/bin/lpstat -d").output;
  const bool unnamed = print("");
  // A host started with the earlier twin as CUPS's default holds the queue its name means.
  runShell("/usr/bin/lpoptions -d Dup_A >/dev/null");
  const std::string startedOnTwin = CupsPrintingServices().sharedPrinter().destination;
  runShell(
      "/usr/bin/lpoptions -d Office_Laser >/dev/null; /usr/sbin/lpadmin -x Dup_A; "
      "/usr/sbin/lpadmin -x Dup_B");

  size_t twins = 0;
  for (const Value& record : records) {
    if (field(record, "name") == Value("Twin")) {
      ++twins;
      EXPECT_EQ(field(record, "cupsName"), Value("Dup_B"));
    }
  }
  EXPECT_EQ(twins, 2u);
  EXPECT_TRUE(printedByName);
  EXPECT_EQ(cupsDefault, "system default destination: Dup_B\n");
  EXPECT_TRUE(unnamed);
  EXPECT_EQ(startedOnTwin, "Dup_B");
}

}  // namespace
}  // namespace tovanel

int main(int argc, char** argv) {
  return tovanel::testing::runEndToEndTests(argc, argv);
}
