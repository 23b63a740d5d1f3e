// Every result the library's exports give, named once. The five failure codes are shared between the
// export groups, and a group gives a code its own meaning (see tessel.h); a server request also passes
// the server's answer digit (0-9) through.
#pragma once

#include "tessel.h"

namespace tavc::tessel {

enum Result : ExportResult {
    kOk = 0,

    // -1: what the call needs is not there.
    kPortNotOpen = -1,        // serial exports: nothing written
    kMalformedUrl = -1,       // server requests: nothing sent
    kAgentUnreachable = -1,   // agent exports: no bus, agent not started, or the command refused
    kServerUnreachable = -1,  // upload: a request could not connect, or the URL is malformed

    // -2: the way out failed.
    kWriteFailed = -2,       // serial write
    kNoConnection = -2,      // server requests: name, port, refused, or connect time-out
    kCacheUnavailable = -2,  // host program's folder not found, or the cache file not read or written

    kCommandRefused = -3,  // a command or text packet that cannot be built; nothing written
    kReadFailed = -4,      // serial read, or nowhere to store the byte
    kNoReply = -5,         // no byte in time; no answer line from the server

    // The offline login, besides kOk for a matching password.
    kReservedUserId = 2,
    kLoginDiffers = 3,
};

}  // namespace tavc::tessel
