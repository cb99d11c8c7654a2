// The fingerprint unit behind a terminal: after the dialogue (command 0x12 with the block AA 55)
// it owns the line at 9600 baud for one packet, answers it from its template store and ends with
// the closing bytes 06 15 06 15. A unit wired straight to the port (`direct`) answers at 9600 at
// any time and sends no closing bytes.
//
// The simulator's conventions where the unit's own are unknown: result 0 done, 1 no such
// template, 2 unknown request; a template's first two bytes are its address (ID, attribute,
// finger, as in a request), which is where a template written with 0x71 is stored; the version
// answer carries the eight bytes "SIM 1.00".
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <tuple>
#include <vector>

#include "terminal.h"

namespace movar::sim {

class FingerprintUnit {
 public:
  using Key = std::tuple<int, int, int>;  // ID, attribute, finger

  enum class Phase { None, Header, Data, Closing };

  struct Piece {
    std::size_t bytes;
    Millis after;  // after the previous send (the first: after the request arrived)
  };

  // How the unit misbehaves; kept until replaced.
  struct Script {
    static Bytes standardClosing();
    std::optional<std::uint8_t> dialogueAck{0x06};  // the terminal's answer to the block; none: silent
    Millis dialogueAckDelay{0};
    std::vector<Piece> header{{12, Millis{0}}};  // header bytes past the last piece never go out
    Millis dataDelay{0};
    Millis closingDelay{0};
    std::optional<std::uint8_t> result;           // instead of the unit's own code
    std::optional<std::uint32_t> announcedLength;  // L in the header; no more data than that goes out
    // 06 15 06 15, from a function of its own: GCC 12 at -O3 warns falsely on a brace list here.
    Bytes closing = standardClosing();
    Phase silentFrom = Phase::None;  // nothing more goes out from this phase on
  };

  void script(const Script& script);
  void setDirect(bool direct);
  void store(int id, int attribute, int finger, const Bytes& templ);
  // `count` IDs from 1 up, attribute 0, finger 1.
  void fill(int count);

  std::map<Key, Bytes> templates() const;
  std::vector<Bytes> requests() const;  // every packet taken, with the data that followed it
  bool listening() const;

 private:
  friend class UnitExchange;
  friend class DialogueOpening;
  friend void installFingerprintUnit(Terminal& terminal);
  mutable std::mutex mutex_;
  std::map<Key, Bytes> templates_;
  std::vector<Bytes> requests_;
  Script script_;
  bool direct_ = false;
  bool listening_ = false;
};

// A template of 816 bytes for the address: its two address bytes, then a pattern of the three.
Bytes makeTemplate(int id, int attribute, int finger);

// Takes over command 0x12, which stays the SN query for every block but the dialogue's.
void installFingerprintUnit(Terminal& terminal);

}  // namespace movar::sim
