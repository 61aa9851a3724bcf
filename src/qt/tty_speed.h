#pragma once

namespace tavric::qt {

// The speed the terminal device `fd` really runs at, as its driver holds it (a driver
// may take a speed it does not know as another); 0 when it cannot be read.
int tty_speed(int fd);

}  // namespace tavric::qt
