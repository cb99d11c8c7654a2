// Talking to a fingerprint unit: through its terminal (the dialogue opened with command 0x12,
// one packet, the closing bytes) or directly on a port at 9600 baud.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>

#include "link/serial_port.h"
#include "persons/fingerprint_packet.h"
#include "platform/platform.h"

namespace movar::persons {

constexpr std::int32_t kFailed = 255;

// The unit's longest answer: an ID list of 2048 IDs with two fingers each. A longer announcement
// fails the call before any of its data is read.
constexpr std::size_t kMaxAnswerData = 8192;

struct DialogueTiming {
  Millis pauseInBlock;       // between the block's 0x15 and its rest
  Millis blockAckLimit;      // for the terminal's 0x06 to the block
  Millis pauseBeforeReopen;  // after closing the line at the terminal's speed
  Millis headerLimit;        // inactivity limits of the answer header and of the closing bytes
  Millis closingLimit;
};

constexpr DialogueTiming kDialogue{10, 5'000, 800, 6'000, 6'000};
constexpr DialogueTiming kSendDialogue{20, 10'000, 1'000, 12'000, 10'000};
constexpr Millis kDataLimit = 3'000;
constexpr Millis kDirectHeaderLimit = 6'000;

// What the host reads after its packet.
enum class Reads { HeaderAndData, HeaderOnly, ClosingOnly };

struct Request {
  Packet packet;
  Reads reads = Reads::HeaderAndData;
  const Bytes* payload = nullptr;  // sent right after the packet
};

// Sees the answer data once it is complete; false when it could not be kept (a failed write),
// which fails the call after the dialogue has been closed properly.
using DataSink = std::function<bool(const Bytes& data)>;

// The line reopened at 9600 after the terminal took the dialogue; null when the terminal was not
// found, refused the block, or no port of the cycle reopened.
link::SerialPort openDialogue(Platform& platform, std::uint8_t address, std::int32_t port,
                              const DialogueTiming& timing);

// The unit's result code once the closing bytes came and the sink kept the data; nothing
// otherwise. A unit may answer 255 itself, so kFailed alone cannot tell a finished call.
std::optional<std::int32_t> completeDialogue(Platform& platform, std::int32_t address,
                                             std::int32_t port, const Request& request,
                                             const DialogueTiming& timing, const DataSink& sink);

// The unit's result code, or kFailed.
std::int32_t runDialogue(Platform& platform, std::int32_t address, std::int32_t port,
                         const Request& request, const DialogueTiming& timing,
                         const DataSink& sink = {});

// One packet on the unit's own port: no terminal command, no closing bytes.
std::int32_t runDirect(Platform& platform, std::int32_t port, const Packet& packet);

std::int32_t getVersion(Platform& platform, std::int32_t port);
std::int32_t transmitPacket(Platform& platform, std::int32_t port, std::int32_t request,
                            std::int32_t p1, std::int32_t p2, std::int32_t p3, std::int32_t p4);
std::int32_t deleteTemplate(Platform& platform, std::int32_t address, std::int32_t port,
                            std::int32_t id, std::int32_t attribute, std::int32_t finger);
std::int32_t deleteAllTemplates(Platform& platform, std::int32_t address, std::int32_t port);

}  // namespace movar::persons
