// Spooling documents into the private cupsd, including the ways it can go wrong.
#include <gtest/gtest.h>

#include "platform/cups_spooler.h"
#include "support/cups_sandbox.h"
#include "support/print_jobs.h"

namespace tovanel {
namespace {

using testing::newestJobId;
using testing::sandbox;
using testing::waitForJobAfter;

const std::string kHalfPdf = "%PDF-1.5\n1 0 obj\n<< /Type /Catalog";

CupsJob officeJob() {
  return CupsJob{"Office_Laser", "Spool test", {{"PageSize", "Custom.288x432"}}};
}

// Tests that a document that fails half-way is never printed: the job is cancelled, the
// printer's output stays as it was, and the queue is not stopped by a filter choking on
// half a PDF.
TEST(PrintSpooling, DocumentFailingHalfWayPrintsNothing) {
  const std::string output = sandbox().outputDir() + "/office_laser.pdf";
  const std::string outputBefore = testing::readFile(output);
  const int before = newestJobId("Office_Laser");
  const bool spooled = spoolCupsJob(officeJob(), "application/pdf", [](const ByteSink& sink) {
    return sink({reinterpret_cast<const unsigned char*>(kHalfPdf.data()), kHalfPdf.size()}) &&
           false;  // the rest of the page could not be produced
  });
  EXPECT_FALSE(spooled);
  const auto job = waitForJobAfter("Office_Laser", before);
  ASSERT_TRUE(job);
  EXPECT_EQ(job->state, 7);  // cancelled
  EXPECT_TRUE(testing::queueIsEnabled("Office_Laser"));
  EXPECT_EQ(testing::readFile(output), outputBefore);
}

// Tests that a queue that does not exist, or a server that is down, fails the spooling
// without a job and without hanging.
TEST(PrintSpooling, MissingQueueOrServerFails) {
  const auto writeNothing = [](const ByteSink&) { return true; };
  const int before = newestJobId("Office_Laser");
  EXPECT_FALSE(spoolCupsJob(CupsJob{"No_Such_Queue", "x", {}}, "application/pdf", writeNothing));
  sandbox().stopDaemon();
  EXPECT_FALSE(spoolCupsJob(officeJob(), "application/pdf", writeNothing));
  sandbox().startDaemon();
  EXPECT_EQ(newestJobId("Office_Laser"), before);
}

}  // namespace
}  // namespace tovanel

int main(int argc, char** argv) {
  return tovanel::testing::runEndToEndTests(argc, argv);
}
