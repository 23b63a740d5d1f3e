// The steps of file_io that are made of its other functions alone.
#include "file_io.h"

namespace tavc::file_io {

bool edit_under_lock(const std::string& path, const std::string& lock_path,
                     const std::function<Edited(std::string& text)>& edit, std::optional<mode_t> mode) {
    // The data file is replaced on every change, so the writers meet on a lock file that stays.
    std::optional<Fd> held = lock_file(lock_path, true, true);
    if (!held) return false;
    std::optional<FileText> file = read_file(path);
    if (!file) return false;
    Edited edited = edit(file->text);
    switch (edited.kind) {
        case Edited::Kind::Refused:
            return false;
        case Edited::Kind::Unchanged:
            return true;
        case Edited::Kind::Changed:
            break;
    }
    return replace_file(path, edited.text, mode.value_or(file->mode));
}

}  // namespace tavc::file_io
