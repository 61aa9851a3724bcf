// Kept apart from <termios.h>: the kernel's termios2, which carries custom speeds such
// as 56000 in c_ospeed, clashes with the C library's definitions.
#include <asm/termbits.h>
#include <sys/ioctl.h>

#include "sim/pty_line.h"

namespace tavric::sim {

int terminal_speed(int fd) {
  struct termios2 t {};
  if (ioctl(fd, TCGETS2, &t) != 0) return 0;
  return static_cast<int>(t.c_ospeed);
}

}  // namespace tavric::sim
