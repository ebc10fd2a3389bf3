// The test history on a real PostgreSQL server, which the test script starts
// (QUILLAR_TEST_POSTGRES names its folder): several PCs writing at once, and
// a server that goes away mid-run.

#include "history/archive_history.h"
#include "history/history_database.h"
#include "history/history_upload.h"
#include "history_test_support.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <thread>

namespace quillar {
namespace {

// The server started by the test script; none = skipped.
class ServerTest : public ::testing::Test {
protected:
    void SetUp() override {
        const QByteArray dir = qgetenv("QUILLAR_TEST_POSTGRES");
        if (dir.isEmpty())
            GTEST_SKIP() << "no test server: QUILLAR_TEST_POSTGRES is not set";
        serverDir_ = QString::fromLocal8Bit(dir);
        QFile address(serverDir_ + QStringLiteral("/address"));
        ASSERT_TRUE(address.open(QIODevice::ReadOnly)) << "no address in the server's folder";
        address_ = QString::fromUtf8(address.readAll()).trimmed();
    }
    void Server(const char* command) {
        const int status =
            QProcess::execute(QStringLiteral(QUILLAR_SOURCE_DIR "/scripts/test-postgres"),
                              {QString::fromLatin1(command), serverDir_});
        ASSERT_EQ(status, 0) << command;
    }
    QString serverDir_;
    QString address_;
    QTemporaryDir pcA_;
    QTemporaryDir pcB_;
};

TEST_F(ServerTest, twoPcsShareOneHistory_andAServerAwayMissesNothing) {
    const QString run = Unique();
    const QString a = QStringLiteral("A") + run;
    const QString b = QStringLiteral("B") + run;
    HistoryUploader uploadA(pcA_.path(), address_, {}, std::chrono::milliseconds(200));
    HistoryUploader uploadB(pcB_.path(), address_, {}, std::chrono::milliseconds(200));
    std::thread writeA([&] { WriteTests(pcA_.path(), a, 150, &uploadA); });
    std::thread writeB([&] { WriteTests(pcB_.path(), b, 150, &uploadB); });
    writeA.join();
    writeB.join();
    EXPECT_TRUE(uploadA.WaitSent());
    EXPECT_TRUE(uploadB.WaitSent());

    auto server = HistoryDatabase::OpenServer(address_);
    EXPECT_EQ(server->Count(Matching(a)), 150);
    EXPECT_EQ(server->Count(Matching(b)), 150);
    // Found from the other PC by its registration, with the PC that kept it.
    const std::vector<TestRecord> found =
        server->Page(Matching(a + QStringLiteral("-car5")), 0, 100);
    ASSERT_EQ(found.size(), 19u);
    EXPECT_EQ(found.front().pcName, a);
    EXPECT_EQ(found.front().registration, a + QStringLiteral("-CAR5"));
    EXPECT_EQ(found.front().measure(Measure::MeasuredCca), 480);

    // Stopped mid-run: the tests kept meanwhile wait here, then go up once.
    Server("stop");
    {
        ArchiveWriter writer(
            nullptr, pcA_.path().toStdString(), [&]() -> std::unique_ptr<ArchiveIndex> {
                return std::make_unique<ArchiveHistory>(pcA_.path(), a, [&] { uploadA.Wake(); });
            });
        for (int i = 0; i < 20; ++i)
            writer.Submit(MakeJob(pcA_.path(), 1000 + i, a + QStringLiteral("late%1").arg(i),
                                  a + QStringLiteral("-LATE"), 50, {2026, 12, 9, 8, 0}));
        // The same test rewritten (Print, then Clear): still one record.
        writer.Submit(MakeJob(pcA_.path(), 1000, a + QStringLiteral("late0"),
                              a + QStringLiteral("-LATE"), 51, {2026, 12, 9, 8, 0}));
    }
    EXPECT_FALSE(uploadA.WaitSent());
    EXPECT_EQ(HistoryDatabase::OpenLocal(pcA_.path())->PendingCount(), 20);
    Server("start");
    uploadA.Wake();
    EXPECT_TRUE(uploadA.WaitSent());
    EXPECT_EQ(HistoryDatabase::OpenLocal(pcA_.path())->PendingCount(), 0);
    server = HistoryDatabase::OpenServer(address_);
    EXPECT_EQ(server->Count(Matching(a + QStringLiteral("-LATE"))), 20);
    EXPECT_EQ(server->Find(a + QStringLiteral("late0"))->measure(Measure::Soh), 51);
    EXPECT_EQ(server->Count(Matching(a)), 170);
    EXPECT_EQ(server->Count(Matching(b)), 150);
}

} // namespace
} // namespace quillar

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
