#pragma once
// Which test history the History window shows: the workshop's server when
// Quillar is configured for one and it answers, else this PC's local index.

#include "history/history_database.h"

#include <QString>

#include <memory>

namespace quillar {

struct HistorySource {
    std::unique_ptr<HistoryDatabase> database; // nullptr: no history can be shown
    QString notice; // why it is not the one configured, or why there is none; empty = all is well
};

// The server at serverAddress (empty = none configured); when it cannot be
// reached, or none is configured, the local index in localArchive (empty =
// no archive folder). serverProblem: why the server did not answer when it
// was asked just before (ProbeHistoryServer); it is then not asked again.
// Never throws: what failed is in notice.
HistorySource OpenHistory(const QString& localArchive, const QString& serverAddress,
                          int connectSeconds = 5, const QString& serverProblem = {});

// Whether the server answers: empty = it does, else why not. Made for a
// thread of its own, as an absent server takes connectSeconds to say so.
QString ProbeHistoryServer(const QString& serverAddress, int connectSeconds = 5);

} // namespace quillar
