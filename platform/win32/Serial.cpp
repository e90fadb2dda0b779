// Serial ports on Windows COM devices: 8E1, reads bounded by the
// inter-byte and total time-outs of the port.
#include "platform/Serial.h"

#include <windows.h>

#include <string>

namespace plat {
namespace {

[[noreturn]] void Fail(const std::string& what) {
  throw SerialError(what + " (error " + std::to_string(::GetLastError()) + ")");
}

class WinSerialPort final : public SerialPort {
 public:
  explicit WinSerialPort(HANDLE port) : port_(port) {}
  ~WinSerialPort() override { ::CloseHandle(port_); }

  void SetBaudrate(int baudrate) override {
    if (!IsMbusBaudrate(baudrate))
      throw SerialError("unsupported baud rate " + std::to_string(baudrate));
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    if (!::GetCommState(port_, &dcb)) Fail("GetCommState");
    dcb.BaudRate = static_cast<DWORD>(baudrate);
    dcb.ByteSize = 8;
    dcb.Parity = EVENPARITY;
    dcb.StopBits = ONESTOPBIT;
    dcb.fBinary = TRUE;
    dcb.fParity = TRUE;
    dcb.fOutxCtsFlow = FALSE;
    dcb.fOutxDsrFlow = FALSE;
    dcb.fDtrControl = DTR_CONTROL_ENABLE;
    dcb.fRtsControl = RTS_CONTROL_ENABLE;
    dcb.fOutX = FALSE;
    dcb.fInX = FALSE;
    if (!::SetCommState(port_, &dcb)) Fail("SetCommState");
  }

  void Write(const unsigned char* bytes, std::size_t count) override {
    SetTimeouts(0);
    DWORD written = 0;
    if (!::WriteFile(port_, bytes, static_cast<DWORD>(count), &written, nullptr) ||
        written != count)
      Fail("WriteFile");
  }

  // One ReadFile per byte batch: the interval time-out ends it on silence.
  std::size_t Read(unsigned char* buffer, std::size_t count, int silence_ms) override {
    SetTimeouts(silence_ms);
    std::size_t got = 0;
    while (got < count) {
      DWORD n = 0;
      if (!::ReadFile(port_, buffer + got, static_cast<DWORD>(count - got), &n, nullptr))
        Fail("ReadFile");
      if (n == 0) break;
      got += n;
    }
    return got;
  }

  void DiscardInput() override { ::PurgeComm(port_, PURGE_RXCLEAR); }

 private:
  void SetTimeouts(int silence_ms) {
    COMMTIMEOUTS t{};
    t.ReadIntervalTimeout = static_cast<DWORD>(silence_ms);
    t.ReadTotalTimeoutConstant = static_cast<DWORD>(silence_ms);
    t.WriteTotalTimeoutConstant = 5000;
    if (!::SetCommTimeouts(port_, &t)) Fail("SetCommTimeouts");
  }

  HANDLE port_;
};

}  // namespace

std::unique_ptr<SerialPort> SerialPort::Open(const std::string& device, int baudrate) {
  if (!IsMbusBaudrate(baudrate))
    throw SerialError("unsupported baud rate " + std::to_string(baudrate));
  // "COM10" and above open only through the device namespace.
  const std::string path = device.rfind("\\\\.\\", 0) == 0 ? device : "\\\\.\\" + device;
  HANDLE port = ::CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                              0, nullptr);
  if (port == INVALID_HANDLE_VALUE) Fail("cannot open " + device);
  auto result = std::make_unique<WinSerialPort>(port);
  result->SetBaudrate(baudrate);
  result->DiscardInput();
  return result;
}

std::unique_ptr<PseudoTerminal> PseudoTerminal::Open() {
  return nullptr;
}

}  // namespace plat
