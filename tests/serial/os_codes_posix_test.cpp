// The OS's side of the outcome codes on POSIX: errno values, their texts and
// the driver's fault counters.
#include "serial/line_counters.h"
#include "serial/os_error.h"
#include "serial/serial_link.h"

#include <gtest/gtest.h>

#include <cerrno>

namespace quillar {
namespace {

// Reaches the protected error-recording steps.
class Recorder : public TSerialLink {
public:
    using TSerialLink::MapCommErrors;
    using TSerialLink::SetError;
    using TSerialLink::SetErrorFromOs;
};

TEST(ErrorDescTest, OsCodesGetTheSystemTextWithAHintWhereOneHelps) {
    EXPECT_EQ(TSerialLink::GetErrorDesc(ENOENT), "No such file or directory");
    EXPECT_EQ(TSerialLink::GetErrorDesc(EIO), "Input/output error");
    EXPECT_EQ(TSerialLink::GetErrorDesc(EACCES),
              "Permission denied (add the user to the \"dialout\" group and log in again)");
    EXPECT_EQ(TSerialLink::GetErrorDesc(EBUSY),
              "Device or resource busy (another program holds the port)");
    // Codes next to the class's own, and ones no OS knows: no text at all.
    for (int unknown : {9990, 10004, 4242, -1, -9997}) {
        EXPECT_EQ(TSerialLink::GetErrorDesc(unknown), "") << unknown;
    }
}

TEST(ErrorRecordingTest, OsOutcomeComesFromErrnoOnlyWhenTheCallFailed) {
    Recorder r;
    errno = EACCES;
    r.SetErrorFromOs(-1);
    EXPECT_EQ(r.ErrorCode(), EACCES);
    EXPECT_EQ(r.ErrorText(), TSerialLink::GetErrorDesc(EACCES));
    // A stale errno after a good call means nothing.
    r.SetErrorFromOs(0);
    EXPECT_EQ(r.ErrorCode(), 0);
    EXPECT_EQ(r.ErrorText(), "OK");
}

TEST(ErrorRecordingTest, CountedLineFaultsBecomeTheirCodes) {
    // The driver's counters before and after a read, as TIOCGICOUNT gives them.
    const detail::LineCounters before{5, 1, 0, 0xFFFFFFFFu};
    Recorder r;
    r.SetError(0);
    r.MapCommErrors(detail::LineErrorFlags(before, before));
    EXPECT_EQ(r.ErrorCode(), 0);
    r.MapCommErrors(detail::LineErrorFlags(before, {5, 1, 2, 0xFFFFFFFFu}));
    EXPECT_EQ(r.ErrorCode(), 10001); // the input buffer overflowed
    // A framing and a parity error together (the parity counter wrapped).
    r.SetError(0);
    r.MapCommErrors(detail::LineErrorFlags(before, {6, 1, 0, 0}));
    EXPECT_EQ(r.ErrorCode(), 10002);
}

} // namespace
} // namespace quillar
