#include "qt/tty_speed.h"

// The kernel's own terminal structure, which holds any speed as a number; it cannot
// share a file with <termios.h>.
#include <asm/termbits.h>
#include <sys/ioctl.h>

namespace tavric::qt {

int tty_speed(int fd) {
  struct termios2 t {};
  if (::ioctl(fd, TCGETS2, &t) != 0) return 0;
  return static_cast<int>(t.c_ospeed);
}

}  // namespace tavric::qt
