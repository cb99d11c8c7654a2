// The fingerprint unit in virtual time against the simulator's terminal: the exact packets, the
// dialogue's pauses and limits, the answers the library accepts and refuses, and the files.
#include <gtest/gtest.h>

#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "fakes/fake_platform.h"
#include "fakes/sim_terminal.h"
#include "fingerprint_unit.h"
#include "persons/fingerprint_files.h"
#include "persons/fingerprint_link.h"
#include "persons/fingerprint_packet.h"

namespace movar::persons {
namespace {

using fake::FakePlatform;
using fake::SimTerminal;
using sim::FingerprintUnit;
using Ms = sim::Millis;

Bytes hex(const std::string& text) {
  std::istringstream in(text);
  Bytes bytes;
  for (std::string b; in >> b;) bytes.push_back(static_cast<std::uint8_t>(std::stoi(b, nullptr, 16)));
  return bytes;
}

Bytes bytesOf(const Packet& p) { return Bytes(p.begin(), p.end()); }

constexpr const char* kDirectory = "C:\\host\\FINGERREC\\";

struct Rig {
  FakePlatform f;
  SimTerminal sim;
  FingerprintUnit& unit;
  Rig() : unit(sim.terminal.part<FingerprintUnit>()) { sim.on(f.serial, 1); }

  // What the host wrote at the unit's 9600 baud.
  Bytes toUnit() const {
    Bytes all;
    for (const auto& w : f.serial.writes)
      if (w.baud == 9600) all.insert(all.end(), w.bytes.begin(), w.bytes.end());
    return all;
  }
  Bytes& file(const std::string& name) { return f.files.contents[kDirectory + name]; }
  void script(const std::function<void(FingerprintUnit::Script&)>& change) {
    FingerprintUnit::Script s;
    change(s);
    unit.script(s);
  }
  // Template 7/0/1 in the unit and in its file.
  Rig& withSeven() {
    unit.store(7, 0, 1, sim::makeTemplate(7, 0, 1));
    file("FP0007_1.TXT") = sim::makeTemplate(7, 0, 1);
    return *this;
  }
};

std::string text(const Bytes& b) { return std::string(b.begin(), b.end()); }

using Call = std::function<std::int32_t(Platform&)>;
const Call kIdList = [](Platform& p) { return getIdList(p, 1, 1); };
const Call kGet7 = [](Platform& p) { return getTemplate(p, 1, 1, 7, 0, 1); };
const Call kSend7 = [](Platform& p) { return sendTemplate(p, 1, 1, 7, 1); };

TEST(FingerprintPacket, Bytes) {
  const struct {
    const char* name;
    Packet packet;
    const char* bytes;
  } rows[] = {
      {"version", packet(request::Version), "00 05 00 00 00 00 00 00 00 00 00 05"},
      {"custom cut", customPacket(0x1FF, 0x12345, -1, 0, 0xABCD),
       "00 FF 45 23 FF FF 00 00 CD AB 00 DD"},
      // Out of range: ID bit 11 lands on the finger bit, finger 3 on the attribute, finger 0 fills
      // the high bits, attribute 16 falls off the byte.
      {"ID 2048", templatePacket(request::DeleteOne, 2048, 0, 1), "00 54 00 08 00 00 00 00 00 00 00 5C"},
      {"finger 3", templatePacket(request::DeleteOne, 1, 0, 3), "00 54 01 10 00 00 00 00 00 00 00 65"},
      {"finger 0", templatePacket(request::DeleteOne, 1, 0, 0), "00 54 01 F8 00 00 00 00 00 00 00 4D"},
      {"attribute 16", templatePacket(request::DeleteOne, 1, 16, 1), "00 54 01 00 00 00 00 00 00 00 00 55"},
  };
  for (const auto& row : rows) EXPECT_EQ(bytesOf(row.packet), hex(row.bytes)) << row.name;
}

TEST(FingerprintPacket, ParsersWithoutIo) {
  AnswerHeaderBytes header{};
  header[6] = 0x10, header[9] = 0xFF, header[10] = 0x07;
  EXPECT_EQ(parseAnswerHeader(header).length, 16u);  // byte 9 is not part of L
  EXPECT_EQ(parseAnswerHeader(header).result, 7);
  header[6] = 1, header[7] = 2, header[8] = 3;
  EXPECT_EQ(parseAnswerHeader(header).length, 0x030201u);

  const Bytes list = hex("2C 29 05 00 77");  // the odd last byte is no entry
  EXPECT_EQ(idListText(decodeIdList(list.data(), list.size())), "0003000202\r\n0000050001\r\n");
  EXPECT_EQ(idListText(decodeIdList(hex("FF FF").data(), 2)), "0020471502\r\n");
  EXPECT_TRUE(decodeIdList(list.data(), 1).empty());
  EXPECT_EQ(templateFileName(12345, 3), "FP12345_3.TXT");
}

// Command 0x12 found at 57600, the block's 0x15 on its own, then the packet on the line reopened
// at 9600.
TEST(FingerprintDialogue, EveryExportsPacketPausesAndResult) {
  const Bytes templ = sim::makeTemplate(7, 0, 1);
  const std::vector<Millis> pauses{30, 10, 800, 3};
  Bytes sent = hex("00 71 00 00 00 00 30 03 00 00 00 A4");
  sent.insert(sent.end(), templ.begin(), templ.end());
  const struct {
    const char* name;
    Call call;
    Bytes toUnit;
    std::vector<Millis> sleeps;
    std::int32_t result;
    std::size_t templatesAfter;
  } rows[] = {
      {"DELIDFPREC", [](Platform& p) { return deleteTemplate(p, 1, 1, 7, 0, 1); },
       hex("00 54 07 00 00 00 00 00 00 00 00 5B"), pauses, 0, 1},
      {"DELIDFPREC none", [](Platform& p) { return deleteTemplate(p, 1, 1, 300, 2, 2); },
       hex("00 54 2C 29 00 00 00 00 00 00 00 A9"), pauses, 1, 2},
      {"GETIDLIST", [](Platform& p) { return getIdList(p, 0x101, 1); },
       hex("00 7D 00 00 00 00 00 00 00 00 00 7D"), pauses, 0, 2},
      {"DELIDFPALL", [](Platform& p) { return deleteAllTemplates(p, 1, 1); },
       hex("00 76 00 00 00 00 00 00 00 00 00 76"), pauses, 0, 0},
      {"GETIDFPREC", kGet7, hex("00 73 07 00 00 00 00 00 00 00 00 7A"), pauses, 0, 2},
      {"SENDIDFPREC", kSend7, sent, {30, 20, 1'000, 3}, 0, 2},
  };
  for (const auto& row : rows) {
    Rig r;
    r.withSeven().unit.store(8, 0, 1, sim::makeTemplate(8, 0, 1));
    EXPECT_EQ(row.call(r.f.platform), row.result) << row.name;
    const auto& w = r.f.serial.writes;
    ASSERT_GE(w.size(), 13u) << row.name;
    EXPECT_EQ(w[3].bytes, Bytes{0x12}) << row.name;
    EXPECT_EQ(w[5].bytes, Bytes{0x15}) << row.name;
    const Bytes rest = hex("01 02 FD AA 55 FF");  // a write each, after the pause
    for (std::size_t i = 0; i < rest.size(); ++i) {
      EXPECT_EQ(w[6 + i].bytes, Bytes{rest[i]}) << row.name << " " << i;
      EXPECT_EQ(w[6 + i].at, w[5].at + row.sleeps[1]) << row.name << " " << i;
    }
    ASSERT_EQ(r.f.serial.opens.size(), 2u) << row.name;
    EXPECT_EQ(r.f.serial.opens[0].settings.baud, 57600) << row.name;
    EXPECT_EQ(r.f.serial.opens[1].settings.baud, 9600) << row.name;
    EXPECT_EQ(r.toUnit(), row.toUnit) << row.name;
    EXPECT_EQ(r.f.clock.sleeps, row.sleeps) << row.name;
    EXPECT_EQ(r.unit.templates().size(), row.templatesAfter) << row.name;
    EXPECT_EQ(r.file("FP0007_1.TXT"), templ) << row.name;
    EXPECT_EQ(r.f.serial.openLines, 0) << row.name;
    EXPECT_FALSE(r.unit.listening()) << row.name;
  }
}

// Every wait of the dialogue on both sides of its limit; the header's limit restarts on each byte.
TEST(FingerprintDialogue, LimitsOfIdListAndSend) {
  using Script = FingerprintUnit::Script;
  const struct {
    const char* name;
    Call call;
    std::function<void(Script&, Ms)> set;
    Ms limit;
  } rows[] = {
      {"block ack", kIdList, [](Script& s, Ms t) { s.dialogueAckDelay = t; }, Ms{5'000}},
      {"send block ack", kSend7, [](Script& s, Ms t) { s.dialogueAckDelay = t; }, Ms{10'000}},
      {"header", kIdList, [](Script& s, Ms t) { s.header = {{12, t}}; }, Ms{6'000}},
      {"header gap", kIdList, [](Script& s, Ms t) { s.header = {{5, t}, {7, t}}; }, Ms{6'000}},
      {"send header", kSend7, [](Script& s, Ms t) { s.header = {{12, t}}; }, Ms{12'000}},
      {"data", kIdList, [](Script& s, Ms t) { s.dataDelay = t; }, Ms{3'000}},
      {"closing", kIdList, [](Script& s, Ms t) { s.closingDelay = t; }, Ms{6'000}},
      {"send closing", kSend7, [](Script& s, Ms t) { s.closingDelay = t; }, Ms{10'000}},
  };
  for (const auto& row : rows) {
    for (const Ms off : {Ms{-50}, Ms{50}}) {
      Rig r;
      r.withSeven().script([&](Script& s) { row.set(s, row.limit + off); });
      EXPECT_EQ(row.call(r.f.platform), off < Ms{0} ? 0 : 255) << row.name << " " << off.count();
      EXPECT_EQ(r.f.serial.openLines, 0) << row.name;
    }
  }
}

// IDLIST.TXT is made anew by every call; a template file changes only when the call succeeds,
// and is made by it only then.
TEST(FingerprintDialogue, AnswersRefused) {
  using Script = FingerprintUnit::Script;
  using Phase = FingerprintUnit::Phase;
  constexpr int kKept = -1;
  const struct {
    const char* name;
    std::function<void(Script&)> set;
    std::int32_t result;
    const char* list;  // IDLIST.TXT afterwards
    int templateBytes;  // of FP0007_1.TXT afterwards: the unit's first ones, or kKept
  } rows[] = {
      {"unit's code", [](Script& s) { s.result = 0x42; }, 0x42, "0000070001\r\n", 816},
      {"unit's 255", [](Script& s) { s.result = 255; }, 255, "0000070001\r\n", 816},
      {"block refused", [](Script& s) { s.dialogueAck = 0x15; }, 255, "", kKept},
      {"no header", [](Script& s) { s.silentFrom = Phase::Header; }, 255, "", kKept},
      {"short header", [](Script& s) { s.header = {{11, Ms{0}}}, s.silentFrom = Phase::Data; }, 255, "", kKept},
      {"short data", [](Script& s) { s.announcedLength = 3, s.silentFrom = Phase::Closing; }, 255, "", kKept},
      {"L over 8192", [](Script& s) { s.announcedLength = 8'193; }, 255, "", kKept},
      {"L 2^24 - 1", [](Script& s) { s.announcedLength = 0xFFFFFF; }, 255, "", kKept},
      {"L 0", [](Script& s) { s.announcedLength = 0, s.result = 9; }, 9, "", 0},
      // The list is complete before the closing bytes: it stays, the call fails.
      {"no closing", [](Script& s) { s.silentFrom = Phase::Closing; }, 255, "0000070001\r\n", kKept},
      {"closing reversed", [](Script& s) { s.closing = hex("15 06 15 06"); }, 255, "0000070001\r\n", kKept},
  };
  const Bytes earlier = hex("0E 0A 21 1E");
  const Bytes fetched = sim::makeTemplate(7, 0, 1);
  for (const auto& row : rows) {
    Rig r;
    r.withSeven().script(row.set);
    EXPECT_EQ(getIdList(r.f.platform, 1, 1), row.result) << row.name;
    EXPECT_EQ(text(r.file("IDLIST.TXT")), row.list) << row.name;
    EXPECT_LT(r.f.clock.now(), 20'000) << row.name;
    EXPECT_EQ(r.f.serial.openLines, 0) << row.name;

    for (const bool hadOne : {true, false}) {
      Rig g;
      g.withSeven().script(row.set);
      if (hadOne) {
        g.file("FP0007_1.TXT") = earlier;
      } else {
        g.f.files.contents.erase(kDirectory + std::string("FP0007_1.TXT"));
      }
      EXPECT_EQ(kGet7(g.f.platform), row.result) << row.name;
      const bool replaced = row.templateBytes != kKept;
      if (replaced || hadOne) {
        const Bytes expected = replaced ? Bytes(fetched.begin(), fetched.begin() + row.templateBytes) : earlier;
        EXPECT_EQ(g.file("FP0007_1.TXT"), expected) << row.name;
      }
      // Nothing else in the directory: no new file, nothing left of the one being written.
      EXPECT_EQ(g.f.files.contents.size(), replaced || hadOne ? 1u : 0u) << row.name << " " << hadOne;
      EXPECT_EQ(g.f.files.openFiles, 0) << row.name;
    }
  }
}

TEST(FingerprintDialogue, DeleteAllIsAnsweredByTheClosingBytesAlone) {
  const struct {
    const char* closing;
    std::int32_t result;
  } rows[] = {{"06 15 06 15", 0}, {"15 06 15 06", 255}, {"06 15 06", 255}};
  for (const auto& row : rows) {
    Rig r;
    r.script([&](FingerprintUnit::Script& s) { s.closing = hex(row.closing), s.result = 0x33; });
    EXPECT_EQ(deleteAllTemplates(r.f.platform, 1, 1), row.result) << row.closing;
  }
}

TEST(FingerprintFiles, TemplateReadWrittenWholeAndFullListWhole) {
  Rig r;
  for (int id = 0; id < 2048; ++id) {
    r.unit.store(id, 0, 1, {static_cast<std::uint8_t>(id), 0x00});
    r.unit.store(id, 1, 2, {static_cast<std::uint8_t>(id), 0x18});
  }
  r.unit.store(1234, 1, 2, sim::makeTemplate(1234, 1, 2));
  EXPECT_EQ(getIdList(r.f.platform, 1, 1), 0);
  const std::string list = text(r.file("IDLIST.TXT"));
  EXPECT_EQ(list.size(), 4096u * 12);  // 8192 bytes of answer data
  EXPECT_EQ(list.substr(0, 24), "0000000001\r\n0000000102\r\n");
  EXPECT_EQ(list.substr(list.size() - 12), "0020470102\r\n");
  const int writes = r.f.files.writeCalls;
  EXPECT_EQ(getTemplate(r.f.platform, 1, 1, 1234, 1, 2), 0);
  EXPECT_EQ(r.file("FP1234_2.TXT"), sim::makeTemplate(1234, 1, 2));
  EXPECT_EQ(r.f.files.writeCalls, writes + 1);  // in one write
  EXPECT_EQ(getTemplate(r.f.platform, 1, 1, 999, 5, 1), 1);  // none: L = 0, an empty file
  EXPECT_TRUE(r.file("FP0999_1.TXT").empty());
  EXPECT_TRUE(r.f.files.directories.count("C:\\host\\FINGERREC"));
}

TEST(FingerprintFiles, FileFaults) {
  const std::string list = std::string(kDirectory) + "IDLIST.TXT";
  const std::string templ = std::string(kDirectory) + "FP0007_1.TXT";
  const struct {
    const char* name;
    std::function<void(Rig&)> set;
    Call call;
    const char* message;  // "" none
    bool contacted;
  } rows[] = {
      {"IDLIST.TXT locked", [&](Rig& r) { r.f.files.locked.insert(list); }, kIdList,
       "can not creat IDLIST.TXT!", false},
      {"IDLIST.TXT unwritable", [&](Rig& r) { r.f.files.failWrites.insert(list); }, kIdList, "",
       true},
      {"template not creatable", [&](Rig& r) { r.f.files.locked.insert(templ + ".part"); }, kGet7,
       "can not creat fingerp.TXT!", false},
      {"template unwritable", [&](Rig& r) { r.f.files.failWrites.insert(templ + ".part"); }, kGet7,
       "", true},
      {"template in use", [&](Rig& r) { r.f.files.locked.insert(templ); }, kGet7, "", true},
      {"send missing", [](Rig&) {}, [](Platform& p) { return sendTemplate(p, 1, 1, 8, 1); },
       "can not open fingerp.TXT!", false},
      {"send 815", [&](Rig& r) { r.f.files.contents[templ].resize(815); }, kSend7, "", false},
      {"send 817", [&](Rig& r) { r.f.files.contents[templ].resize(817); }, kSend7, "", false},
      {"send unreadable", [&](Rig& r) { r.f.files.failReads.insert(templ); }, kSend7, "", false},
  };
  for (const auto& row : rows) {
    Rig r;
    row.set(r.withSeven());
    EXPECT_EQ(row.call(r.f.platform), 255) << row.name;
    const std::vector<std::string> messages =
        *row.message ? std::vector<std::string>{row.message} : std::vector<std::string>{};
    EXPECT_EQ(r.f.ui.messages, messages) << row.name;
    EXPECT_EQ(r.f.serial.opens.empty(), !row.contacted) << row.name;
    EXPECT_EQ(r.unit.requests().size(), row.contacted ? 1u : 0u) << row.name;
    EXPECT_FALSE(r.unit.listening()) << row.name;  // a contacted unit was closed properly
    EXPECT_EQ(r.f.files.openFiles, 0) << row.name;
    if (std::string(row.name).rfind("template", 0) == 0) {
      EXPECT_EQ(r.f.files.contents[templ], sim::makeTemplate(7, 0, 1)) << row.name;
      EXPECT_FALSE(r.f.files.contents.count(templ + ".part")) << row.name;
    }
  }
}

TEST(FingerprintDirect, OnePacketAtNineHundredBaudOnTheFirstPortThatOpens) {
  const struct {
    const char* name;
    int startPort;
    std::function<std::int32_t(Platform&, int)> call;
    const char* packet;
    std::vector<int> failedOpens;
    std::int32_t result;
  } rows[] = {
      {"GETFDAVER", 1, [](Platform& p, int port) { return getVersion(p, port); },
       "00 05 00 00 00 00 00 00 00 00 00 05", {}, 0},
      {"GETFDAVER from 3", 3, [](Platform& p, int port) { return getVersion(p, port); },
       "00 05 00 00 00 00 00 00 00 00 00 05", {3, 4}, 0},
      {"FDATXDATA", 1,
       [](Platform& p, int port) { return transmitPacket(p, port, 0x10, 0x0102, 3, 0, 0); },
       "00 10 02 01 03 00 00 00 00 00 00 16", {}, 2},
  };
  for (const auto& row : rows) {
    Rig r;
    r.unit.setDirect(true);
    EXPECT_EQ(row.call(r.f.platform, row.startPort), row.result) << row.name;
    EXPECT_EQ(r.toUnit(), hex(row.packet)) << row.name;
    EXPECT_EQ(r.f.serial.writes.size(), 1u) << row.name;  // no terminal command
    EXPECT_EQ(r.f.serial.failedOpens, row.failedOpens) << row.name;
    EXPECT_EQ(r.f.clock.sleeps, std::vector<Millis>{3}) << row.name;
  }
  FakePlatform nothing;
  EXPECT_EQ(getVersion(nothing.platform, 2), 255);
  EXPECT_EQ(nothing.serial.failedOpens, (std::vector<int>{2, 3, 4, 1}));  // one pass, then 255
}

}  // namespace
}  // namespace movar::persons
