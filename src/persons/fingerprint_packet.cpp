#include "persons/fingerprint_packet.h"

#include <cstdio>

#include "records/decimal.h"

namespace movar::persons {

namespace {
std::uint8_t low(std::int32_t value) { return static_cast<std::uint8_t>(value & 0xFF); }
std::uint8_t high(std::int32_t value) { return static_cast<std::uint8_t>((value >> 8) & 0xFF); }
}  // namespace

Packet packet(std::uint8_t request, std::initializer_list<std::uint8_t> parameters) {
  Packet p{};
  p[1] = request;
  std::size_t at = 2;
  for (std::uint8_t b : parameters) {
    if (at > 10) break;
    p[at++] = b;
  }
  unsigned sum = 0;
  for (std::size_t i = 0; i < 11; ++i) sum += p[i];
  p[11] = static_cast<std::uint8_t>(sum & 0xFF);
  return p;
}

std::array<std::uint8_t, 2> templateAddress(std::int32_t id, std::int32_t attribute,
                                            std::int32_t finger) {
  // Unsigned arithmetic: a negative finger or ID spills bits without undefined shifts.
  const auto u = [](std::int32_t v) { return static_cast<std::uint32_t>(v); };
  const std::uint32_t second = (u(id) >> 8) | ((u(finger) - 1u) << 3) | (u(low(attribute)) << 4);
  return {low(id), static_cast<std::uint8_t>(second & 0xFF)};
}

Packet templatePacket(std::uint8_t request, std::int32_t id, std::int32_t attribute,
                      std::int32_t finger) {
  const std::array<std::uint8_t, 2> address = templateAddress(id, attribute, finger);
  return packet(request, {address[0], address[1]});
}

Packet writeTemplatePacket() {
  constexpr auto size = static_cast<std::int32_t>(kTemplateSize);
  return packet(request::WriteTemplate, {0, 0, 0, 0, low(size), high(size), 0});
}

Packet customPacket(std::int32_t request, std::int32_t p1, std::int32_t p2, std::int32_t p3,
                    std::int32_t p4) {
  return packet(low(request), {low(p1), high(p1), low(p2), high(p2), low(p3), high(p3), low(p4),
                               high(p4)});
}

AnswerHeader parseAnswerHeader(const AnswerHeaderBytes& header) {
  return {static_cast<std::uint32_t>(header[6] | header[7] << 8 | header[8] << 16), header[10]};
}

std::vector<IdEntry> decodeIdList(const std::uint8_t* data, std::size_t size) {
  std::vector<IdEntry> entries;
  entries.reserve(size / 2);
  for (std::size_t i = 0; i + 1 < size; i += 2) {
    const std::uint8_t second = data[i + 1];
    entries.push_back({data[i] | (second & 0x07) << 8, second >> 4, ((second >> 3) & 1) + 1});
  }
  return entries;
}

std::string idListText(const std::vector<IdEntry>& entries) {
  std::string text;
  text.reserve(entries.size() * 12);
  for (const IdEntry& e : entries) {
    text += records::decimal(static_cast<std::uint32_t>(e.id), 6);
    text += records::decimal(static_cast<std::uint32_t>(e.attribute), 2);
    text += records::decimal(static_cast<std::uint32_t>(e.finger), 2);
    text += "\r\n";
  }
  return text;
}

bool closingBytesValid(const std::uint8_t* bytes, std::size_t size) {
  return size == kClosingSize && bytes[0] == 0x06 && bytes[1] == 0x15 && bytes[2] == 0x06 &&
         bytes[3] == 0x15;
}

std::string templateFileName(std::int32_t id, std::int32_t finger) {
  char name[40];
  std::snprintf(name, sizeof name, "FP%04d_%d.TXT", static_cast<int>(id), static_cast<int>(finger));
  return name;
}

}  // namespace movar::persons
