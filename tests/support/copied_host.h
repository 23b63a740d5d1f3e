// Runs the stand-in host program (tessel_host) from a copy in a temporary folder of its own, so that the
// library's cache file "tavc.cache" lands in that folder. The program's path comes from the environment
// variable TAVC_TESSEL_HOST.
#pragma once

#include <sys/resource.h>
#include <sys/types.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "other_user.h"
#include "temp_folder.h"

namespace tavc::test {

class CopiedHost {
  public:
    // The copy lands in a new temporary folder, or in the folder `subfolder` below it.
    explicit CopiedHost(const std::string& subfolder = "");
    ~CopiedHost();
    CopiedHost(const CopiedHost&) = delete;
    CopiedHost& operator=(const CopiedHost&) = delete;

    const std::filesystem::path& folder() const { return folder_; }
    std::filesystem::path cache_file() const { return folder_ / "tavc.cache"; }
    // The copy of the program, for a test that runs it itself.
    const std::filesystem::path& program() const { return program_; }
    // The cache file's bytes; empty when it does not exist.
    std::string cache_text() const;
    void write_cache(const std::string& text) const;

    // From now on the copy runs as `user`, who may read its folder but not write in it.
    void run_as(const OtherUser& user);

    // Runs "tessel_host args..." and returns the result it printed (a failed run is a test failure);
    // `usage`, when given, receives what the run used (its peak memory in ru_maxrss).
    int32_t call(const std::vector<std::string>& args, rusage* usage = nullptr) const;
    // Runs several at once and returns their results in the same order.
    std::vector<int32_t> call_together(const std::vector<std::vector<std::string>>& runs) const;

  private:
    pid_t start(const std::vector<std::string>& args, int& out) const;
    int32_t finish(pid_t pid, int out, rusage* usage = nullptr) const;

    TempFolder root_{"tessel-host"};
    std::filesystem::path folder_;
    std::filesystem::path program_;
    std::vector<std::string> launcher_;
};

}  // namespace tavc::test
