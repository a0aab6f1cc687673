// Every error code the host answers a call with, in one place.
#pragma once

namespace tovanel::error_codes {

// A required argument is missing or of the wrong type.
inline constexpr const char* kInvalidArguments = "INVALID_ARGUMENTS";
// The print: no printer of that name, bytes that are no image, a print that did not run.
inline constexpr const char* kPrinterNotFound = "PRINTER_NOT_FOUND";
inline constexpr const char* kImageInvalid = "IMAGE_INVALID";
inline constexpr const char* kPrintFailed = "PRINT_FAILED";
// The default printer: the tool did not start, or ended with another status than 0.
inline constexpr const char* kExecutionFailed = "EXECUTION_FAILED";
inline constexpr const char* kShellError = "SHELL_ERROR";
// The call's bytes do not decode as a method call.
inline constexpr const char* kMalformedCall = "MALFORMED_CALL";
// The host dropped the call without an answer.
inline constexpr const char* kInternalError = "INTERNAL_ERROR";

}  // namespace tovanel::error_codes
