#pragma once
// Sends the local index's records to the workshop's history server, on a
// thread of its own: oldest change first, each record once (the server
// replaces a record it has), and when the server cannot be reached the
// records wait in the local index and go up once it answers again.

#include <QString>

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

namespace quillar {

class HistoryUploader {
public:
    // problem: called on the uploader's thread when the server cannot be
    // reached or refuses a record (once per outage), and with an empty text
    // when it answers again.
    using Problem = std::function<void(const QString&)>;
    HistoryUploader(QString archiveRoot, QString serverAddress, Problem problem = {},
                    std::chrono::milliseconds retry = std::chrono::seconds(30));
    // Ends the thread; a record on its way finishes first.
    ~HistoryUploader();
    HistoryUploader(const HistoryUploader&) = delete;
    HistoryUploader& operator=(const HistoryUploader&) = delete;

    // Records were kept: send what waits now.
    void Wake();
    // Blocks until nothing waits or the server could not be reached since
    // the last Wake (for tests and the close); false in the second case.
    bool WaitSent();

private:
    void Run();
    // One round: true when everything waiting went up.
    bool SendWaiting();

    QString root_;
    QString address_;
    Problem problem_;
    std::chrono::milliseconds retry_;
    std::mutex mutex_;
    std::condition_variable wake_;
    std::condition_variable settled_;
    bool stopping_ = false;
    bool woken_ = true; // what an earlier run left waits too
    bool idle_ = false;
    bool lastOk_ = false;
    bool saidProblem_ = false; // the thread's own
    std::thread thread_;
};

} // namespace quillar
