// The upload of cached ratings: every "Remarks" entry, in file order, goes to the server, and each one
// the server accepts is deleted at once, so an interrupted walk leaves exactly the entries not accepted.
#include "cache_file.h"
#include "export_guard.h"
#include "file_io.h"
#include "profile.h"
#include "rating_server.h"
#include "results.h"

namespace tavc::tessel {
namespace {

// Bounds how long one walk blocks the caller; the entries after these wait for the next walk.
constexpr size_t kRatingsPerWalk = 381;

int32_t UploadRemarks(std::string_view url, int32_t port) {
    auto path = CacheFilePath();
    if (!path) return kCacheUnavailable;
    const std::string section = RemarksSection();
    // A record that cannot be sent stays in the file for a person to look at; it takes no turn.
    auto sendable = [](std::string_view, std::string_view value) {
        return SplitRatingRecord(HexDecode(value)).has_value();
    };
    // With nothing to send there is no walk to wait for, and no lock file is made.
    auto any = tavc::profile::entries(*path, section, sendable, 1);
    if (!any) return kCacheUnavailable;
    if (any->empty()) return kOk;
    // One walk at a time per cache: a second walk would send again what the first one is sending. The
    // writers of ratings do not take this lock.
    auto walking = tavc::file_io::lock_file(*path + ".upload.lock", true, true);
    if (!walking) return kCacheUnavailable;
    auto entries = tavc::profile::entries(*path, section, sendable, kRatingsPerWalk);
    if (!entries) return kCacheUnavailable;
    for (const tavc::profile::Entry& entry : *entries) {
        auto fields = SplitRatingRecord(HexDecode(entry.value));
        if (!fields) continue;
        int32_t r = RemarkToDB(fields->user, fields->remark, fields->detail, HexDecode(entry.key), url, port);
        // A refused URL reaches the server for no entry: like a failed connection, not a success.
        if (r == kNoConnection || r == kMalformedUrl) return kServerUnreachable;
        // Deleted under the key as it stands in the file, so a hand-edited key goes too, and only while
        // it holds the record sent: a rating stored since may have taken the key. If the file cannot be
        // changed, sending more would only send them again next time.
        if (r == kOk && !tavc::profile::remove(*path, section, entry.key, entry.value))
            return kCacheUnavailable;
    }
    return kOk;
}

}  // namespace
}  // namespace tavc::tessel

extern "C" TESSEL_API ExportResult TAVCUploadRemarks(const char* url, int32_t port) {
    using namespace tavc::tessel;
    return tavc::guarded(kCacheUnavailable, [&] { return UploadRemarks(text_arg(url), port); });
}
