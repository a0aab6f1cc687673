#include "platform/libcups/cups_spooler.h"

#include <cups/cups.h>

#include "platform/libcups/cups_handles.h"

namespace tovanel {
namespace {

// How long connecting to the server may take, in milliseconds.
constexpr int kConnectTimeout = 30000;

bool succeeded(ipp_status_t status) {
  return status < IPP_STATUS_REDIRECTION_OTHER_SITE;
}

// A connection of its own, so that it can be dropped in the middle of a document.
Http connectToServer() {
  return Http(httpConnect2(cupsServer(), ippPort(), nullptr, AF_UNSPEC, cupsEncryption(), 1,
                           kConnectTimeout, nullptr));
}

// A request about `queue`'s job, with the operation attributes every such request needs.
Ipp jobRequest(ipp_op_t operation, const std::string& uri) {
  Ipp request(ippNewRequest(operation));
  ippAddString(request.get(), IPP_TAG_OPERATION, IPP_TAG_URI, "printer-uri", nullptr, uri.c_str());
  ippAddString(request.get(), IPP_TAG_OPERATION, IPP_TAG_NAME, "requesting-user-name", nullptr,
               cupsUser());
  return request;
}

// Creates the job and returns its id, or 0. The queue is addressed directly: the
// destination's full details (cupsCopyDestInfo) would cost a round trip of several
// milliseconds that a job of known options does not need.
int createJob(http_t* http, const std::string& uri, const std::string& resource,
              const CupsJob& job) {
  Ipp request = jobRequest(IPP_OP_CREATE_JOB, uri);
  ippAddString(request.get(), IPP_TAG_OPERATION, IPP_TAG_NAME, "job-name", nullptr,
               job.title.c_str());
  const CupsOptions options(job.options);
  cupsEncodeOptions2(request.get(), options.count(), options.get(), IPP_TAG_OPERATION);
  cupsEncodeOptions2(request.get(), options.count(), options.get(), IPP_TAG_JOB);
  const Ipp response(cupsDoRequest(http, request.release(), resource.c_str()));
  if (!response || !succeeded(ippGetStatusCode(response.get())))
    return 0;
  ipp_attribute_t* id = ippFindAttribute(response.get(), "job-id", IPP_TAG_INTEGER);
  return id ? ippGetInteger(id, 0) : 0;
}

void cancelJob(const CupsJob& job, int jobId) {
  cupsCancelJob2(CUPS_HTTP_DEFAULT, job.queue.c_str(), jobId, 0);
}

}  // namespace

bool spoolCupsJob(const CupsJob& job, const char* format,
                  const std::function<bool(const ByteSink&)>& writeDocument) {
  const auto uri = printerUri(job.queue);
  if (!uri)
    return false;
  const std::string resource = "/printers/" + job.queue;
  Http http = connectToServer();
  if (!http)
    return false;
  const int jobId = createJob(http.get(), *uri, resource, job);
  if (jobId <= 0)
    return false;

  Ipp document = jobRequest(IPP_OP_SEND_DOCUMENT, *uri);
  ippAddInteger(document.get(), IPP_TAG_OPERATION, IPP_TAG_INTEGER, "job-id", jobId);
  ippAddString(document.get(), IPP_TAG_OPERATION, IPP_TAG_MIMETYPE, "document-format", nullptr,
               format);
  ippAddBoolean(document.get(), IPP_TAG_OPERATION, "last-document", 1);
  const bool sent =
      cupsSendRequest(http.get(), document.get(), resource.c_str(), CUPS_LENGTH_VARIABLE) ==
          HTTP_STATUS_CONTINUE &&
      writeDocument([&http](std::span<const unsigned char> bytes) {
        return cupsWriteRequestData(http.get(), reinterpret_cast<const char*>(bytes.data()),
                                    bytes.size()) == HTTP_STATUS_CONTINUE;
      });
  if (!sent) {
    http.reset();  // the server drops a document whose request never ended
    cancelJob(job, jobId);
    return false;
  }
  const Ipp response(cupsGetResponse(http.get(), resource.c_str()));
  if (!response || !succeeded(ippGetStatusCode(response.get()))) {
    cancelJob(job, jobId);
    return false;
  }
  return true;
}

}  // namespace tovanel
