#pragma once
#include <string>
#include <vector>

#include "smtp/interfaces.h"

namespace Smtp {

// The message header up to and including "MIME-Version: 1.0\r\n": Date, From,
// To (only the recipients the server accepted, by index, in list order),
// Subject and Message-ID. The body's first header line follows it directly.
std::string MessageHeader(IMessageInfo& info, const std::vector<unsigned>& acceptedRecipients,
                          unsigned short codePage, const std::string& localHostName);

// "<unique@host>"; a host name that could not stand there is replaced by "localhost".
std::string MakeMessageId(const std::string& localHostName);

}  // namespace Smtp
