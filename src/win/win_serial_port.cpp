#include "win/win_serial_port.h"

#include <algorithm>
#include <chrono>
#include <cstdlib>

#include "win/locations.h"
#include "win/main_window.h"
#include "win/win_clock.h"
#include "win/win_error.h"

namespace tavric::win {
namespace {

// Sizes asked of the driver: room for a whole bulk stream burst at 56000 bit/s.
constexpr DWORD kInputQueue = 1 << 16;
constexpr DWORD kOutputQueue = 1 << 12;
// How long a read that ended without a byte waits before the next is started.
constexpr DWORD kStalledReadPauseMs = 50;

struct LineSettings {
  DWORD baud = 9600;
  BYTE parity = NOPARITY;
  BYTE data_bits = 8;
  BYTE stop_bits = ONESTOPBIT;
};

// "9600,n,8,1": speed, parity letter, data bits, stop bits.
LineSettings parse_settings(const std::string& text) {
  LineSettings s;
  std::size_t field = 0;
  std::size_t start = 0;
  while (start <= text.size()) {
    const std::size_t end = std::min(text.find(',', start), text.size());
    const std::string part = text.substr(start, end - start);
    const long number = std::strtol(part.c_str(), nullptr, 10);
    const char letter = part.empty() ? ' ' : static_cast<char>(part.front() | 0x20);
    switch (field) {
      case 0:
        if (number > 0) s.baud = static_cast<DWORD>(number);
        break;
      case 1:
        s.parity = letter == 'e'   ? EVENPARITY
                   : letter == 'o' ? ODDPARITY
                   : letter == 'm' ? MARKPARITY
                   : letter == 's' ? SPACEPARITY
                                   : NOPARITY;
        break;
      case 2:
        if (number >= 5 && number <= 8) s.data_bits = static_cast<BYTE>(number);
        break;
      case 3:
        if (part == "2") s.stop_bits = TWOSTOPBITS;
        break;
      default:
        break;
    }
    ++field;
    start = end + 1;
  }
  return s;
}

std::string port_name(int number) {
  return "COM" + std::to_string(number);
}

DWORD milliseconds_until(MonoTime deadline) {
  const MonoTime left = deadline - WinClock().monotonic();
  if (left <= MonoTime::zero()) return 0;
  return static_cast<DWORD>(std::chrono::ceil<std::chrono::milliseconds>(left).count());
}

}  // namespace

WinSerialPort::~WinSerialPort() {
  close();
  if (read_event_) ::CloseHandle(read_event_);
}

bool WinSerialPort::open(std::string& error) {
  if (is_open()) {
    error = "Port already open";
    return false;
  }
  // No share mode: no other program can open the port while the run has it, and two
  // runs never take each other's replies.
  const HANDLE h = ::CreateFileW(port_device(number_).c_str(), GENERIC_READ | GENERIC_WRITE, 0,
                                 nullptr, OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    const DWORD code = ::GetLastError();
    const std::string name = port_name(number_);
    if (code == ERROR_ACCESS_DENIED || code == ERROR_SHARING_VIOLATION) {
      error = "Port in use: " + name + " is open in another program";
    } else if (code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND) {
      error = "There is no port " + name + " on this computer";
    } else {
      error = name + ": " + windows_error(code).message();
    }
    return false;
  }
  if (!claim_.take(h, port_device(number_))) {
    ::CloseHandle(h);
    error = "Port in use: " + port_name(number_) + " is open in another program";
    return false;
  }
  port_ = h;
  if (!read_event_) read_event_ = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
  configure();
  received_.clear();
  read_pending_ = false;
  read_stalled_ = false;
  last_arrival_ = WinClock().monotonic();
  collect();  // the first read starts waiting for the first byte
  error.clear();
  return true;
}

void WinSerialPort::configure() {
  const LineSettings s = parse_settings(settings_);
  ::SetupComm(port_, kInputQueue, kOutputQueue);
  DCB dcb{};
  dcb.DCBlength = sizeof(dcb);
  ::GetCommState(port_, &dcb);
  dcb.BaudRate = s.baud;
  dcb.ByteSize = s.data_bits;
  dcb.Parity = s.parity;
  dcb.StopBits = s.stop_bits;
  dcb.fBinary = TRUE;
  dcb.fParity = s.parity != NOPARITY;
  dcb.fOutxCtsFlow = FALSE;
  dcb.fOutxDsrFlow = FALSE;
  dcb.fDtrControl = DTR_CONTROL_ENABLE;
  dcb.fDsrSensitivity = FALSE;
  dcb.fOutX = FALSE;
  dcb.fInX = FALSE;
  dcb.fErrorChar = FALSE;
  dcb.fNull = FALSE;
  dcb.fRtsControl = RTS_CONTROL_ENABLE;
  dcb.fAbortOnError = FALSE;
  // A driver that refuses a setting leaves the line as it was; the line still works
  // as far as it can, so only the open itself decides, as on the other systems.
  ::SetCommState(port_, &dcb);
  // The speed the driver really took, read back, is the one the run goes by: a driver
  // may take a speed it does not know as another (Wine takes 56000 as 38400).
  DCB taken{};
  taken.DCBlength = sizeof(taken);
  if (::GetCommState(port_, &taken) && taken.BaudRate > 0) {
    const std::size_t comma = settings_.find(',');
    settings_ = std::to_string(taken.BaudRate) +
                (comma == std::string::npos ? std::string() : settings_.substr(comma));
  }
  // Reads wait for every byte asked for (one, or those known to be queued); a write
  // gives up after its line time and a second to spare.
  COMMTIMEOUTS timeouts{};
  timeouts.WriteTotalTimeoutMultiplier = 20000 / std::max<DWORD>(s.baud, 1) + 1;
  timeouts.WriteTotalTimeoutConstant = 1000;
  ::SetCommTimeouts(port_, &timeouts);
}

void WinSerialPort::close() {
  if (!is_open()) return;
  if (read_pending_) {
    // The read writes into this object until it has ended: wait for the cancel.
    ::CancelIoEx(port_, &read_);
    DWORD got = 0;
    ::GetOverlappedResult(port_, &read_, &got, TRUE);
    read_pending_ = false;
  }
  ::CloseHandle(port_);
  port_ = INVALID_HANDLE_VALUE;
  claim_.release();
  received_.clear();
}

void WinSerialPort::set_dtr(bool on) {
  // A line without modem control (a pseudo-terminal under a compatibility layer)
  // refuses; the exchange does not depend on it.
  if (is_open()) ::EscapeCommFunction(port_, on ? SETDTR : CLRDTR);
}

void WinSerialPort::set_rts(bool on) {
  if (is_open()) ::EscapeCommFunction(port_, on ? SETRTS : CLRRTS);
}

bool WinSerialPort::start_read() {
  read_ = OVERLAPPED{};
  read_.hEvent = read_event_;
  if (::ReadFile(port_, &read_byte_, 1, nullptr, &read_) || ::GetLastError() == ERROR_IO_PENDING) {
    read_pending_ = true;
    return true;
  }
  read_stalled_ = true;  // the port refuses reads: the line is gone
  return false;
}

// Takes the bytes the driver has queued: they are there already, so the read of
// exactly that many ends at once.
void WinSerialPort::take_waiting() {
  DWORD errors = 0;
  COMSTAT status{};
  if (!::ClearCommError(port_, &errors, &status) || status.cbInQue == 0) return;
  Bytes chunk(status.cbInQue);
  OVERLAPPED at{};
  at.hEvent = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
  DWORD got = 0;
  if (::ReadFile(port_, chunk.data(), static_cast<DWORD>(chunk.size()), &got, &at) ||
      (::GetLastError() == ERROR_IO_PENDING && ::GetOverlappedResult(port_, &at, &got, TRUE))) {
    received_.insert(received_.end(), chunk.begin(), chunk.begin() + got);
    if (got) last_arrival_ = WinClock().monotonic();
  }
  ::CloseHandle(at.hEvent);
}

// Takes a finished single-byte read and what is queued behind it, and starts the next.
void WinSerialPort::collect() {
  if (!is_open()) return;
  for (;;) {
    if (read_pending_) {
      DWORD got = 0;
      if (!::GetOverlappedResult(port_, &read_, &got, FALSE) &&
          ::GetLastError() == ERROR_IO_INCOMPLETE) {
        return;  // no byte yet
      }
      read_pending_ = false;
      if (got == 1) {
        received_.push_back(read_byte_);
        last_arrival_ = WinClock().monotonic();
      } else {
        read_stalled_ = true;
      }
    }
    take_waiting();
    if (read_stalled_) return;
    if (!start_read()) return;
    // A read that found a byte already waiting has ended at once: take it, and look again.
  }
}

std::size_t WinSerialPort::in_buffer_count() {
  collect();
  return received_.size();
}

void WinSerialPort::discard_input() {
  if (!is_open()) return;
  collect();
  ::PurgeComm(port_, PURGE_RXCLEAR);
  received_.clear();
}

void WinSerialPort::output(ByteView bytes) {
  if (!is_open() || bytes.empty()) return;
  // Out now, not at some later turn: the call returns when the driver has taken them.
  OVERLAPPED at{};
  at.hEvent = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
  DWORD sent = 0;
  if (!::WriteFile(port_, bytes.data(), static_cast<DWORD>(bytes.size()), &sent, &at) &&
      ::GetLastError() == ERROR_IO_PENDING) {
    ::GetOverlappedResult(port_, &at, &sent, TRUE);
  }
  ::CloseHandle(at.hEvent);
  last_output_ = WinClock().monotonic();
}

Bytes WinSerialPort::input() {
  collect();
  Bytes out;
  out.swap(received_);
  return out;
}

void WinSerialPort::wait_for_input(MonoTime deadline, WindowEvents events, std::size_t bytes) {
  const std::size_t wanted = std::max<std::size_t>(bytes, 1);
  const bool messages = events == WindowEvents::Process && window_ != nullptr;
  if (messages) window_->check_open();
  const int baud = settings_baud(settings_);
  // A sleep through a piece ends this long before its last byte can be in, so that the
  // timer's millisecond steps never make the run late for it: the last bytes wake the
  // run as they come.
  const MonoTime margin = std::max(line_time(baud, 2), MonoTime(std::chrono::microseconds(1500)));
  for (;;) {
    collect();
    if (!is_open() || received_.size() >= wanted) break;
    const DWORD ms = milliseconds_until(deadline);
    if (ms == 0) break;
    // While bytes are coming in (the last came after the last request went out, and just
    // now), the rest cannot all be here before their line time, and until then the line
    // is not watched, so that a byte or two at a time wakes nobody. What came meanwhile
    // is taken when the sleep ends; a reply that stopped part way is then waited for at
    // most one piece's line time longer, never shorter.
    const MonoTime now = WinClock().monotonic();
    const bool flowing = last_arrival_ > last_output_ && now - last_arrival_ <= line_time(baud, 2);
    const MonoTime until =
        std::min(deadline, now + line_time(baud, wanted - received_.size()) - margin);
    if (flowing && until - now >= std::chrono::milliseconds(1)) {
      for (DWORD pause; (pause = milliseconds_until(until)) > 0;) {
        MainWindow::wait_for(nullptr, pause, messages);  // a window message ends it early
        if (!messages) continue;
        window_->pump_messages();
        if (window_->closed()) break;
      }
    } else if (read_stalled_) {
      // Nothing to wait on but the time: look at the line again after a pause.
      MainWindow::wait_for(nullptr, std::min(ms, kStalledReadPauseMs), messages);
      read_stalled_ = false;
    } else {
      // An arriving byte ends this sleep; it is taken, and the wait goes on.
      MainWindow::wait_for(read_event_, ms, messages);
    }
    if (messages) {
      window_->pump_messages();
      if (window_->closed()) break;
    }
  }
  if (messages) {
    window_->pump_messages();
    window_->check_open();
  }
}

}  // namespace tavric::win
