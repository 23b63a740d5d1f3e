// The account a test runs a case as when the case needs a write to be refused: root may write anywhere,
// so a test run as root runs the case as nobody, through setpriv; any other user runs it as itself.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

namespace tavc::test {

class OtherUser {
  public:
    OtherUser();

    // False, with a reason, when the test runs as root and setpriv or the account nobody is missing.
    bool ok() const { return why_.empty(); }
    const std::string& why() const { return why_; }
    uid_t uid() const { return uid_; }
    gid_t gid() const { return gid_; }

    // Put before a program's argv, runs it as this account (nothing when that is the test's own).
    const std::vector<std::string>& launcher() const { return launcher_; }
    // Gives this account the file or folder and everything in it.
    void give(const std::string& path) const;
    // Makes the folder and those above it, below `top`, readable and traversable by everyone; their
    // owner stays the only one who may write them.
    static void open_up(const std::string& folder, const std::string& top);

  private:
    uid_t uid_;
    gid_t gid_;
    std::vector<std::string> launcher_;
    std::string why_;
};

}  // namespace tavc::test
