// The CUPS server goes away under a running printing_host and comes back: every method
// answers at once with what the operations give for a server they cannot reach, and
// the host serves normally again without a restart.
#include <gtest/gtest.h>

#include <exception>
#include <utility>

#include "support/cups_sandbox.h"
#include "support/host_client.h"
#include "support/host_process.h"
#include "support/print_images.h"
#include "support/print_jobs.h"
#include "support/replies.h"

namespace tovanel {
namespace {

using namespace std::chrono_literals;
using testing::errorReply;
using testing::HostProcess;
using testing::sandbox;
using testing::successReply;

// A hung libcups or tool shows as a missed deadline: every call here takes milliseconds.
constexpr auto kPromptly = 5s;

const MethodReply kOnline = successReply(ValueMap{{"status", "online"}, {"message", "Ready"}});
const MethodReply kOffline =
    successReply(ValueMap{{"status", "offline"}, {"message", "Printer not found"}});

ValueMap printerNamed(const char* name) {
  return ValueMap{{"printerName", name}};
}

Uint8List smallLabel() {
  const auto png = testing::markerImagePng(60, 90);
  return Uint8List(png.begin(), png.end());
}

MethodReply printed(const std::string& jobName) {
  return successReply(ValueMap{{"status", "success"}, {"jobName", jobName}});
}

MethodReply printerNotFound(const std::string& name) {
  return errorReply("PRINTER_NOT_FOUND", "Printer '" + name + "' not found");
}

// One call on `client`, bounded by kPromptly; a call that gets no reply fails the test.
MethodReply call(testing::HostClient& client, const std::string& method, Value arguments) {
  const auto outcome = client.call(method, arguments, kPromptly);
  if (!outcome.reply) {
    ADD_FAILURE() << method << " got no reply: " << outcome.error;
    return errorReply("NO_REPLY", outcome.error);
  }
  return *outcome.reply;
}

// The display names in a "printerlist" reply, in its order.
std::vector<std::string> listedNames(const MethodReply& reply) {
  std::vector<std::string> names;
  const auto* value = std::get_if<Value>(&reply);
  const auto* list = value ? std::get_if<ValueList>(value) : nullptr;
  if (!list)
    return names;
  for (const auto& record : *list) {
    const auto* map = std::get_if<ValueMap>(&record);
    const auto* name = map ? findStringKey(*map, "name") : nullptr;
    const auto* text = name ? std::get_if<std::string>(name) : nullptr;
    names.push_back(text ? *text : "?");
  }
  return names;
}

// cupsd stopped for as long as it lives, and started again at the latest when it goes,
// so that a failing test does not leave the next one without a server.
class CupsdStopped {
 public:
  CupsdStopped() { sandbox().stopDaemon(); }
  ~CupsdStopped() {
    try {
      end();
    } catch (const std::exception& error) {
      ADD_FAILURE() << error.what();
    }
  }
  CupsdStopped(const CupsdStopped&) = delete;
  CupsdStopped& operator=(const CupsdStopped&) = delete;

  void end() {
    if (std::exchange(over_, true))
      return;
    sandbox().startDaemon();
  }

 private:
  bool over_ = false;
};

// Waits for the next job of `queue` after `before` and checks that it printed.
void expectPrinted(const std::string& queue, int before, const std::string& title) {
  const auto job = testing::waitForJobAfter(queue, before);
  ASSERT_TRUE(job) << "no job reached " << queue;
  EXPECT_EQ(job->title, title);
  EXPECT_EQ(job->state, 9) << "the job did not complete";
}

// Tests that with cupsd stopped each method answers promptly with the reply of an
// unreachable server (empty lists, "offline", the tool's exit status, a printer not
// found, never a hang or a dropped call), that a failed "setDefaultPrinter" leaves the
// application's printer as it was, and that once cupsd is back the same host and the
// same connection list, set the default and print again.
TEST(CupsdOutage, EveryMethodAnswersWhileCupsdIsDownAndRecovers) {
  auto host = HostProcess::start();
  testing::HostClient client(host.socketPath());
  ASSERT_EQ(call(client, "getPrinterStatus", printerNamed("Label Printer 4x6")), kOnline);
  const MethodReply listing = call(client, "printerlist", Value());
  ASSERT_EQ(listedNames(listing), (std::vector<std::string>{"Label Printer 4x6", "Office Laser"}));

  {
    CupsdStopped outage;
    SCOPED_TRACE("cupsd stopped");
    const struct {
      const char* method;
      Value arguments;
      MethodReply expected;
    } cases[] = {
        {"printerlist", Value(), successReply(ValueList{})},
        {"getPrinterStatus", printerNamed("Label Printer 4x6"), kOffline},
        {"getPrinterStatus", printerNamed("Office Laser"), kOffline},
        {"getPaperSizes", printerNamed("Office Laser"), successReply(ValueList{})},
        // lpoptions cannot reach the server: it runs, says so, and exits with 1.
        {"setDefaultPrinter", printerNamed("Label Printer 4x6"),
         errorReply("SHELL_ERROR", "Failed to set system default printer. Status: 1")},
        // The printer is looked up before the image, so a good label and bytes that are
        // no image get the same answer.
        {"printDocument", ValueMap{{"imageBytes", smallLabel()}, {"printerName", "Office Laser"}},
         printerNotFound("Office Laser")},
        {"printDocument",
         ValueMap{{"imageBytes", Uint8List{1, 2, 3}}, {"printerName", "Label Printer 4x6"}},
         printerNotFound("Label Printer 4x6")},
        // No name: the application's printer, read from the server's default before the
        // outage and not changed by the failed "setDefaultPrinter" above.
        {"printDocument", ValueMap{{"imageBytes", smallLabel()}}, printerNotFound("Office Laser")},
        {"getPrinterStatus", Value(), errorReply("INVALID_ARGUMENTS", "Printer name required")},
        {"getPrinterStatuses", printerNamed("Office Laser"), testing::notImplementedReply()},
    };
    for (const auto& c : cases)
      EXPECT_EQ(call(client, c.method, c.arguments), c.expected) << c.method;
    EXPECT_EQ(testing::callHost(host.socketPath(), "printerlist"), successReply(ValueList{}));
  }

  SCOPED_TRACE("cupsd back");
  EXPECT_EQ(call(client, "getPrinterStatus", printerNamed("Label Printer 4x6")), kOnline);
  EXPECT_EQ(call(client, "getPrinterStatus", printerNamed("Office Laser")), kOnline);
  EXPECT_EQ(call(client, "printerlist", Value()), listing);
  EXPECT_EQ(call(client, "setDefaultPrinter", printerNamed("Label Printer 4x6")),
            successReply(true));
  const int before = testing::newestJobId("Label_4x6");
  EXPECT_EQ(call(client, "printDocument",
                 ValueMap{{"imageBytes", smallLabel()}, {"jobName", "After the outage"}}),
            printed("After the outage"));
  expectPrinted("Label_4x6", before, "After the outage");
  EXPECT_EQ(host.stop(), 0) << host.output();
}

// Tests a host that starts while cupsd is down: with no printer to be had it has no
// printer of its own yet, and it must look again once the server is back rather than
// keep the empty one, so that a label without a printer name reaches the server's
// default.
TEST(CupsdOutage, HostStartedDuringTheOutageFindsTheDefaultLater) {
  ASSERT_EQ(testing::runShell("/usr/bin/lpoptions -d Office_Laser >/dev/null").status, 0);
  CupsdStopped outage;
  auto host = HostProcess::start();
  testing::HostClient client(host.socketPath());
  EXPECT_EQ(call(client, "printDocument", ValueMap{{"imageBytes", smallLabel()}}),
            printerNotFound(""));
  EXPECT_EQ(call(client, "printerlist", Value()), successReply(ValueList{}));

  outage.end();
  const int before = testing::newestJobId("Office_Laser");
  EXPECT_EQ(call(client, "printDocument",
                 ValueMap{{"imageBytes", smallLabel()}, {"jobName", "Default after outage"}}),
            printed("Default after outage"));
  expectPrinted("Office_Laser", before, "Default after outage");
  EXPECT_EQ(host.stop(), 0) << host.output();
}

}  // namespace
}  // namespace tovanel

int main(int argc, char** argv) {
  return tovanel::testing::runEndToEndTests(argc, argv);
}
