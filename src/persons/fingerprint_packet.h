// The fingerprint unit's wire format: the 12-byte request packet, the template address, the
// answer header, the ID list and the closing bytes. No I/O: everything here is fed from the line
// or from a fuzzer.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

namespace movar::persons {

using Packet = std::array<std::uint8_t, 12>;
using AnswerHeaderBytes = std::array<std::uint8_t, 12>;

namespace request {
constexpr std::uint8_t Version = 0x05;
constexpr std::uint8_t DeleteOne = 0x54;
constexpr std::uint8_t WriteTemplate = 0x71;
constexpr std::uint8_t ReadTemplate = 0x73;
constexpr std::uint8_t DeleteAll = 0x76;
constexpr std::uint8_t IdList = 0x7D;
}  // namespace request

constexpr std::size_t kTemplateSize = 816;
constexpr std::size_t kClosingSize = 4;

// Byte 0 zero, the request code, up to nine parameter bytes (the rest zero), the sum of bytes 0..10.
Packet packet(std::uint8_t request, std::initializer_list<std::uint8_t> parameters = {});

// ID bits 7..0; then ID bits 10..8, finger - 1 in bit 3, the attribute in bits 7..4. Values out of
// range are not checked: their extra bits land in the neighbouring fields, as the unit expects.
std::array<std::uint8_t, 2> templateAddress(std::int32_t id, std::int32_t attribute,
                                            std::int32_t finger);

Packet templatePacket(std::uint8_t request, std::int32_t id, std::int32_t attribute,
                      std::int32_t finger);
// 0x71 announcing the 816 template bytes that follow it.
Packet writeTemplatePacket();
// The four 16-bit parameters, each low byte first.
Packet customPacket(std::int32_t request, std::int32_t p1, std::int32_t p2, std::int32_t p3,
                    std::int32_t p4);

struct AnswerHeader {
  std::uint32_t length = 0;  // bytes 6..8, low byte first; byte 9 is not part of it
  std::uint8_t result = 0;   // byte 10
};

AnswerHeader parseAnswerHeader(const AnswerHeaderBytes& header);

struct IdEntry {
  int id = 0;
  int attribute = 0;
  int finger = 0;
};

// Two bytes per entry in the template address layout; an odd last byte is ignored.
std::vector<IdEntry> decodeIdList(const std::uint8_t* data, std::size_t size);

// One "IIIIIIAAFF" line with CR LF per entry.
std::string idListText(const std::vector<IdEntry>& entries);

// 06 15 06 15 in that order.
bool closingBytesValid(const std::uint8_t* bytes, std::size_t size);

// "FP" + the ID with zeros in front up to four digits + "_" + the finger + ".TXT".
std::string templateFileName(std::int32_t id, std::int32_t finger);

}  // namespace movar::persons
