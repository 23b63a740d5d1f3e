#include "recording_server.h"

namespace tavc::test {

RecordingServer::RecordingServer(const com::Guid& clsid, const com::InterfaceInfo& iface, com::HResult answer)
    : answer_(answer) {
    com::ServerHandlers handlers;
    handlers.add_lock = [this] { change_locks(+1); };
    handlers.release_lock = [this] { change_locks(-1); };
    handlers.invoke = [this](size_t method, std::u16string_view text) {
        std::lock_guard lock(mutex_);
        calls_.emplace_back(method, std::u16string(text));
        return answer_;
    };
    handlers.woken = [this] {
        if (revoke_.exchange(false)) {
            server_->revoke_class_object();
            std::lock_guard lock(mutex_);
            revoked_ = true;
            changed_.notify_all();
        }
        if (stopping_) server_->quit();
    };
    handlers.disconnected = [] {};
    status_ = com::Server::open(clsid, iface, std::move(handlers), server_);
    if (com::succeeded(status_)) status_ = server_->register_class_object();
    if (com::succeeded(status_)) thread_ = std::thread([this] { server_->run(); });
}

RecordingServer::~RecordingServer() {
    if (thread_.joinable()) {
        stopping_ = true;
        server_->wake();
        thread_.join();
    }
}

bool RecordingServer::revoke(std::chrono::milliseconds timeout) {
    revoke_ = true;
    server_->wake();
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, timeout, [&] { return revoked_; });
}

bool RecordingServer::wait_for_locks(int count, std::chrono::milliseconds timeout) {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, timeout, [&] { return locks_ == count; });
}

int RecordingServer::locks() {
    std::lock_guard lock(mutex_);
    return locks_;
}

std::vector<std::pair<size_t, std::u16string>> RecordingServer::calls() {
    std::lock_guard lock(mutex_);
    return calls_;
}

void RecordingServer::clear_calls() {
    std::lock_guard lock(mutex_);
    calls_.clear();
}

void RecordingServer::change_locks(int by) {
    std::lock_guard lock(mutex_);
    locks_ += by;
    changed_.notify_all();
}

}  // namespace tavc::test
