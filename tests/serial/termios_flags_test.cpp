// The termios record that SetLine writes, built without a device.
#include "serial/termios_flags.h"

#include <gtest/gtest.h>

#include <cerrno>

namespace quillar::detail {
namespace {

// What a terminal looks like before anybody set it up: cooked, echoing,
// 7 bits with even parity and two stop bits, XON/XOFF on.
termios CookedTerminal() {
    termios t{};
    t.c_iflag = BRKINT | ICRNL | IXON | IXANY | ISTRIP | INPCK | PARMRK | IMAXBEL;
    t.c_oflag = OPOST | ONLCR;
    t.c_cflag = CS7 | PARENB | CSTOPB | HUPCL;
    t.c_lflag = ICANON | ECHO | ECHOE | ISIG | IEXTEN;
    t.c_cc[VMIN] = 1;
    t.c_cc[VTIME] = 5;
    t.c_cc[VINTR] = 3;
    cfsetispeed(&t, B38400);
    cfsetospeed(&t, B38400);
    return t;
}

TEST(TermiosFlagsTest, ShellSettingsGiveRaw9600EightNoneOneWithRtsCts) {
    termios t = CookedTerminal();
    ASSERT_EQ(FillLineState(t, {9600, 8, 'N', 0, false, true}), 0);
    EXPECT_EQ(cfgetispeed(&t), B9600);
    EXPECT_EQ(cfgetospeed(&t), B9600);
    EXPECT_EQ(t.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
    EXPECT_EQ(t.c_cflag & (PARENB | PARODD | CMSPAR | CSTOPB), 0u);
    EXPECT_NE(t.c_cflag & CRTSCTS, 0u);
    EXPECT_EQ(t.c_cflag & (CLOCAL | CREAD), static_cast<tcflag_t>(CLOCAL | CREAD));
    EXPECT_EQ(t.c_iflag & (IXON | IXOFF | IXANY | INPCK | PARMRK | ISTRIP | ICRNL | BRKINT), 0u);
    EXPECT_EQ(t.c_oflag & OPOST, 0u);
    EXPECT_EQ(t.c_lflag & (ICANON | ECHO | ISIG | IEXTEN), 0u);
    EXPECT_EQ(t.c_cc[VMIN], 0);
    EXPECT_EQ(t.c_cc[VTIME], 0);
    EXPECT_EQ(t.c_cc[VSTART], 17);
    EXPECT_EQ(t.c_cc[VSTOP], 19);
    // Flags the settings do not name keep their fetched values.
    EXPECT_NE(t.c_cflag & HUPCL, 0u);
    EXPECT_NE(t.c_iflag & IMAXBEL, 0u);
    EXPECT_EQ(t.c_cc[VINTR], 3);
}

TEST(TermiosFlagsTest, ParityLettersInEitherCaseAndUnknownOnesKeepTheParity) {
    struct Case {
        char letter;
        tcflag_t bits;
    };
    const Case cases[] = {
        {'N', 0},
        {'n', 0},
        {'O', PARENB | PARODD},
        {'o', PARENB | PARODD},
        {'E', PARENB},
        {'e', PARENB},
        {'M', PARENB | PARODD | CMSPAR},
        {'m', PARENB | PARODD | CMSPAR},
        {'S', PARENB | CMSPAR},
        {'s', PARENB | CMSPAR},
    };
    for (const Case& c : cases) {
        for (const tcflag_t before : {tcflag_t{0}, tcflag_t{PARENB | PARODD | CMSPAR}}) {
            termios t{};
            t.c_cflag = before | CS8;
            t.c_iflag = PARMRK;
            SetParity(t, c.letter);
            EXPECT_EQ(t.c_cflag & (PARENB | PARODD | CMSPAR), c.bits) << c.letter;
            EXPECT_EQ(t.c_cflag & CSIZE, static_cast<tcflag_t>(CS8)) << c.letter;
            EXPECT_EQ((t.c_iflag & INPCK) != 0, c.bits != 0) << c.letter;
            EXPECT_EQ(t.c_iflag & PARMRK, 0u) << c.letter;
        }
    }
    for (const char unknown : {'X', 'x', '\0', ' ', '0', static_cast<char>(0xC5)}) {
        termios t{};
        t.c_cflag = PARENB | PARODD;
        t.c_iflag = INPCK;
        SetParity(t, unknown);
        EXPECT_EQ(t.c_cflag, static_cast<tcflag_t>(PARENB | PARODD)) << int(unknown);
        EXPECT_EQ(t.c_iflag, static_cast<tcflag_t>(INPCK)) << int(unknown);
    }
    // Through the whole fill as well: raw mode must not drop a kept parity.
    termios t = CookedTerminal();
    ASSERT_EQ(FillLineState(t, {9600, 8, 'Q', 0, false, true}), 0);
    EXPECT_EQ(t.c_cflag & (PARENB | PARODD), static_cast<tcflag_t>(PARENB));
}

TEST(TermiosFlagsTest, OneAndAHalfStopBitsBecomeTwoAndBadCountsChangeNothing) {
    termios t{};
    ASSERT_TRUE(SetStopBits(t, 1)); // the nearest a UART on Linux has is two
    EXPECT_NE(t.c_cflag & CSTOPB, 0u);
    ASSERT_TRUE(SetStopBits(t, 0));
    EXPECT_EQ(t.c_cflag & CSTOPB, 0u);
    t.c_cflag = CS7 | CSTOPB;
    EXPECT_FALSE(SetStopBits(t, 3));
    EXPECT_FALSE(SetDataBits(t, 9));
    EXPECT_FALSE(SetDataBits(t, 4));
    EXPECT_EQ(t.c_cflag, static_cast<tcflag_t>(CS7 | CSTOPB));
    ASSERT_TRUE(SetDataBits(t, 5));
    EXPECT_EQ(t.c_cflag & CSIZE, static_cast<tcflag_t>(CS5));
}

TEST(TermiosFlagsTest, RatesMapToTheirConstantsAndOthersAreRefused) {
    EXPECT_EQ(BaudConstant(50), std::optional<speed_t>(B50));
    EXPECT_EQ(BaudConstant(9600), std::optional<speed_t>(B9600));
    EXPECT_EQ(BaudConstant(115200), std::optional<speed_t>(B115200));
    EXPECT_EQ(BaudConstant(4000000), std::optional<speed_t>(B4000000));
    for (const int bad : {0, -9600, 9601, 12345, 14400, 4000001}) {
        EXPECT_FALSE(BaudConstant(bad).has_value()) << bad;
    }
    for (const LineSettings bad :
         {LineSettings{14400, 8, 'N', 0, false, true}, LineSettings{9600, 9, 'N', 0, false, true},
          LineSettings{9600, 8, 'N', 5, false, true}}) {
        termios t = CookedTerminal();
        EXPECT_EQ(FillLineState(t, bad), EINVAL);
    }
}

TEST(TermiosFlagsTest, SoftwareFlowWithoutHardwareFlowDropsRtsCts) {
    termios t{};
    t.c_cflag = CRTSCTS;
    t.c_iflag = IXANY;
    ASSERT_EQ(FillLineState(t, {9600, 8, 'N', 0, true, false}), 0);
    EXPECT_EQ(t.c_cflag & CRTSCTS, 0u);
    EXPECT_EQ(t.c_iflag & (IXON | IXOFF | IXANY), static_cast<tcflag_t>(IXON | IXOFF));
}

} // namespace
} // namespace quillar::detail
