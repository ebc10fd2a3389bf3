#include "history/history_upload.h"

#include "history/history_database.h"

#include <QFileInfo>

#include <memory>

namespace quillar {

namespace {

// Records per transaction on the server.
constexpr int kBatch = 200;

} // namespace

HistoryUploader::HistoryUploader(QString archiveRoot, QString serverAddress, Problem problem,
                                 std::chrono::milliseconds retry)
    : root_(std::move(archiveRoot)), address_(std::move(serverAddress)),
      problem_(std::move(problem)), retry_(retry), thread_([this] { Run(); }) {}

HistoryUploader::~HistoryUploader() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_all();
    thread_.join();
}

void HistoryUploader::Wake() {
    {
        std::lock_guard lock(mutex_);
        woken_ = true;
        idle_ = false;
    }
    wake_.notify_all();
}

bool HistoryUploader::WaitSent() {
    std::unique_lock lock(mutex_);
    settled_.wait(lock, [this] { return idle_ || stopping_; });
    return lastOk_;
}

void HistoryUploader::Run() {
    std::unique_lock lock(mutex_);
    while (!stopping_) {
        if (!woken_) {
            // After a failure, again when the retry time is up.
            const bool retrying = !lastOk_;
            if (retrying)
                wake_.wait_for(lock, retry_, [this] { return stopping_ || woken_; });
            else
                wake_.wait(lock, [this] { return stopping_ || woken_; });
            if (stopping_)
                break;
        }
        woken_ = false;
        lock.unlock();
        const bool ok = SendWaiting();
        lock.lock();
        lastOk_ = ok;
        if (!woken_) {
            idle_ = true;
            settled_.notify_all();
        }
    }
    idle_ = true;
    settled_.notify_all();
}

bool HistoryUploader::SendWaiting() {
    // Connections belong to this thread; they are made for each round, so a
    // server that went away and came back is simply met again.
    try {
        if (!QFileInfo::exists(LocalIndexPath(root_)))
            return true; // no test kept yet
        std::unique_ptr<HistoryDatabase> local = HistoryDatabase::OpenLocal(root_);
        if (local->PendingCount() == 0)
            return true;
        std::unique_ptr<HistoryDatabase> server = HistoryDatabase::OpenServer(address_);
        while (true) {
            {
                std::lock_guard lock(mutex_);
                if (stopping_)
                    return false;
            }
            const std::vector<HistoryDatabase::Pending> pending = local->PendingUploads(kBatch);
            if (pending.empty())
                break;
            std::vector<TestRecord> records;
            records.reserve(pending.size());
            for (const HistoryDatabase::Pending& item : pending)
                records.push_back(item.record);
            server->UpsertAll(records);
            // Noted only once the server committed them: a failure in between
            // sends them again, and the server replaces what it has.
            local->MarkUploaded(pending);
        }
        if (saidProblem_ && problem_)
            problem_(QString());
        saidProblem_ = false;
        return true;
    } catch (const HistoryError& error) {
        if (!saidProblem_ && problem_)
            problem_(QString::fromStdString(error.what()));
        saidProblem_ = true;
        return false;
    }
}

} // namespace quillar
