// The terminal's keys through a pseudo-terminal: Escape is seen, the sequences the arrows
// send are not Escape, and the mode comes back when the watch ends.
#include "shared/terminal.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/ioctl.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

#include "support/wait.h"

namespace nxs {
namespace {

TEST(TerminalKeys, SeesEscapeButNotArrowsAndRestoresTheMode) {
  const int Master = ::posix_openpt(O_RDWR | O_NOCTTY);
  ASSERT_GE(Master, 0);
  ASSERT_EQ(::grantpt(Master), 0);
  ASSERT_EQ(::unlockpt(Master), 0);
  const std::string Slave = ::ptsname(Master);
  {
    TTerminalKeys Keys(Slave);
    ASSERT_TRUE(Keys.Available());
    termios Before{};
    const int Fd = ::open(Slave.c_str(), O_RDWR | O_NOCTTY);
    ASSERT_EQ(::tcgetattr(Fd, &Before), 0);
    ASSERT_TRUE(Before.c_lflag & ICANON);
    Keys.Watch(true);
    termios During{};
    ::tcgetattr(Fd, &During);
    EXPECT_FALSE(During.c_lflag & (ICANON | ECHO));
    EXPECT_FALSE(Keys.EscapePressed());
    // Whether what was written to the master has reached the terminal's input, all of it.
    auto Arrived = [&](int Bytes) {
      return test::WaitUntil([&] {
        int Queued = 0;
        return ::ioctl(Fd, FIONREAD, &Queued) == 0 && Queued >= Bytes;
      });
    };
    ASSERT_EQ(::write(Master, "\x1b[A", 3), 3);  // an arrow
    ASSERT_TRUE(Arrived(3));
    EXPECT_FALSE(Keys.EscapePressed());
    ASSERT_EQ(::write(Master, "x\x1b", 2), 2);
    ASSERT_TRUE(Arrived(2));
    EXPECT_TRUE(Keys.EscapePressed());
    EXPECT_FALSE(Keys.EscapePressed());  // taken
    Keys.Watch(false);
    termios After{};
    ::tcgetattr(Fd, &After);
    EXPECT_EQ(After.c_lflag, Before.c_lflag);
    ::close(Fd);
  }
  ::close(Master);
  EXPECT_FALSE(TTerminalKeys("/nonexistent/tty").Available());
  EXPECT_FALSE(TTerminalKeys("/dev/null").Available());  // not a terminal
}

}  // namespace
}  // namespace nxs
