#include "other_user.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "child_process.h"

namespace tavc::test {

OtherUser::OtherUser() : uid_(::getuid()), gid_(::getgid()) {
    if (uid_ != 0) return;
    const passwd* nobody = ::getpwnam("nobody");
    std::string setpriv = program_on_path("setpriv");
    if (nobody == nullptr || setpriv.empty()) {
        why_ = nobody == nullptr ? "the test runs as root and there is no account nobody"
                                 : "the test runs as root and setpriv (util-linux) is not installed";
        return;
    }
    uid_ = nobody->pw_uid;
    gid_ = nobody->pw_gid;
    launcher_ = {setpriv, "--reuid=" + std::to_string(uid_), "--regid=" + std::to_string(gid_),
                 "--clear-groups", "--"};
}

void OtherUser::give(const std::string& path) const {
    if (uid_ == ::getuid()) return;
    namespace fs = std::filesystem;
    std::error_code ec;
    (void)!::lchown(path.c_str(), uid_, gid_);
    if (!fs::is_directory(fs::symlink_status(path, ec))) return;
    for (const fs::directory_entry& entry : fs::recursive_directory_iterator(path, ec))
        (void)!::lchown(entry.path().c_str(), uid_, gid_);
}

void OtherUser::open_up(const std::string& folder, const std::string& top) {
    for (std::filesystem::path p = folder; !p.empty() && p != top && p != p.parent_path();
         p = p.parent_path()) {
        struct stat st {};
        if (::stat(p.c_str(), &st) == 0) ::chmod(p.c_str(), (st.st_mode & 07777) | 0555);
    }
}

}  // namespace tavc::test
