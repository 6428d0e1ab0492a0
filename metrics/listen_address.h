#pragma once
// Where the metrics endpoint listens: "PORT", ":PORT" or "HOST:PORT". Without
// a host it listens on 127.0.0.1 only; other addresses must be asked for.
#include <string>

#include "smtp/socket.h"

// False, with the reason, when text is none of the forms or the host is not
// known. Needs the platform's sockets started (a host name is looked up).
bool ParseListenAddress(const std::wstring& text, Smtp::Address& out, std::wstring& error);
