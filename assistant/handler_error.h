// The error that ends an event handler of the assistant program.
#pragma once

#include <stdexcept>

namespace tavc::assistant {

// A failure inside an event handler: it ends that handler; the form's one wrapper shows what() (UTF-8)
// in an error box, and the program runs on.
class HandlerError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

}  // namespace tavc::assistant
