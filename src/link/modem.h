// The dial-up modem in front of a remote terminal: OpenModemPort, the AT dialogue and the attempt
// counting around it. After the connect message the line is a plain byte stream.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

#include "link/serial_port.h"
#include "platform/platform.h"

namespace movar::link {

inline constexpr std::size_t kLongestPhoneNumber = 32;
inline constexpr std::size_t kDialAnswerSize = 16;

// The number as the dial sends it, or nothing when it is null, empty or longer than 32
// characters: cutting it short would ring somebody else. Never reads past the 33rd character.
std::optional<std::string_view> phoneNumber(const char* text);

// Bytes 2 to 8 of the dial answer read "CONNECT" (after the CR LF of a verbose answer).
bool isConnectAnswer(const std::uint8_t* answer, std::size_t n);

// Failed opens and unanswered "AT E0" of one call, counted together: five failed opens or six
// failures in all end the dialling.
class ModemAttempts {
 public:
  bool openFailed() { return ++failures_ > 4; }
  bool echoOffFailed() { return ++failures_ > 5; }

 private:
  int failures_ = 0;
};

// Opens the modem at `port` (stepping past ports that fail to open or whose modem does not answer
// "AT E0") and dials. Returns the connected line, or null when the attempts are used up or the
// call did not connect. `port` is left at the port of the last open.
SerialPort dialModem(Platform& platform, int& port, std::string_view number, ModemAttempts& attempts);

}  // namespace movar::link
