// Outcome codes, their texts, exceptions and the line-error mapping: the part
// that is the same on every OS.
#include "serial/os_error.h"
#include "serial/serial_link.h"

#include <gtest/gtest.h>

namespace quillar {
namespace {

// Reaches the protected error-recording steps.
class Recorder : public TSerialLink {
public:
    using TSerialLink::FailWith;
    using TSerialLink::MapCommErrors;
    using TSerialLink::SetError;
    using TSerialLink::SetErrorFromOs;
};

TEST(ErrorDescTest, ClassCodesHaveTheirFixedTexts) {
    const std::pair<int, const char*> table[] = {
        {0, "OK"},
        {9991, "Port owned by other process"},
        {9992, "Instance already in use"},
        {9993, "Wrong parameter at call"},
        {9994, "Instance not yet connected"},
        {9995, "No device answer detected"},
        {9996, "Maximal buffer length exceeded"},
        {9997, "Timeout during operation"},
        {9998, "Reading of data failed"},
        {9999, "Receive framing error"},
        {10000, "Receive Overrun Error"},
        {10001, "Receive Queue overflow"},
        {10002, "Receive Parity Error"},
        {10003, "Tranceive Queue is full"},
    };
    for (const auto& [code, text] : table) {
        EXPECT_EQ(TSerialLink::GetErrorDesc(code), text) << code;
    }
}

TEST(ErrorDescTest, MessageTailLosesBlanksControlCharactersAndPeriods) {
    EXPECT_EQ(detail::TrimMessageTail("The port is busy.\r\n"), "The port is busy");
    EXPECT_EQ(detail::TrimMessageTail("Done. . \t"), "Done");
    EXPECT_EQ(detail::TrimMessageTail("v1.2 ok"), "v1.2 ok");
    EXPECT_EQ(detail::TrimMessageTail(" .\x01"), "");
    EXPECT_EQ(detail::TrimMessageTail("caf\xc3\xa9"), "caf\xc3\xa9"); // 8-bit bytes stay
}

TEST(ErrorRecordingTest, FailWithRaisesTheFilledMessageWhenRaiseExceptIsSet) {
    Recorder r;
    r.RaiseExcept = true;
    try {
        r.FailWith(10001);
        FAIL() << "no exception";
    } catch (const ESerialLinkError& e) {
        EXPECT_STREQ(e.what(), "Communication error 10001: Receive Queue overflow");
        EXPECT_EQ(e.ErrorCode, 10001);
        EXPECT_EQ(e.ErrorText, "Receive Queue overflow");
    }
    EXPECT_EQ(r.ErrorCode(), 10001);
    EXPECT_NO_THROW(r.FailWith(0)); // success never raises

    const ESerialLinkError unknown(-3, "");
    EXPECT_STREQ(unknown.what(), "Communication error -3: ");
}

TEST(ErrorRecordingTest, LineErrorsMapLastMatchWinsAndLeaveTheText) {
    struct Case {
        std::uint32_t flags;
        int code;
    };
    const Case cases[] = {
        {LineErrorFrame, 9999},
        {LineErrorOverrun, 10000},
        {LineErrorRxOver, 10001},
        {LineErrorParity, 10002},
        {LineErrorTxFull, 10003},
        {LineErrorFrame | LineErrorParity, 10002},
        {LineErrorFrame | LineErrorOverrun, 10000},
        {LineErrorOverrun | LineErrorRxOver, 10001},
        {LineErrorFrame | LineErrorOverrun | LineErrorRxOver | LineErrorParity, 10002},
        {LineErrorParity | LineErrorTxFull, 10003},
        {0x10, 0}, // a break, which has no code: the read's outcome stays
        {0, 0},
    };
    for (const Case& c : cases) {
        Recorder r;
        r.SetError(0);
        r.MapCommErrors(c.flags);
        EXPECT_EQ(r.ErrorCode(), c.code) << std::hex << c.flags;
        EXPECT_EQ(r.ErrorText(), "OK") << std::hex << c.flags;
    }
    Recorder r;
    r.SetError(9997);
    r.MapCommErrors(0x10);
    EXPECT_EQ(r.ErrorCode(), 9997);
}

} // namespace
} // namespace quillar
