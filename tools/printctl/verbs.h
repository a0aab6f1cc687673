// The verbs of printctl. Each takes the words after its name and returns the exit status.
#pragma once

#include <string>
#include <vector>

#include "host_call.h"

namespace tovanel::printctl {

using Words = std::vector<std::string>;

int listVerb(const HostAddress& host, const Words& words);
int statusVerb(const HostAddress& host, const Words& words);
int papersVerb(const HostAddress& host, const Words& words);
int setDefaultVerb(const HostAddress& host, const Words& words);
int printVerb(const HostAddress& host, const Words& words);
int callVerb(const HostAddress& host, const Words& words);
int encodeVerb(const Words& words);
int decodeVerb(const Words& words);

// Reports a wrong use on standard error; returns kWrongUse.
int usageError(const std::string& message);

}  // namespace tovanel::printctl
