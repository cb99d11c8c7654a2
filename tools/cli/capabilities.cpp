#include "capabilities.h"

#include "backup/transfer.h"
#include "download/lan_download.h"
#include "download/memory_commands.h"
#include "download/modem_download.h"
#include "download/realtime.h"
#include "download/serial_download.h"
#include "link/handshake.h"
#include "persons/fingerprint_files.h"
#include "persons/fingerprint_link.h"
#include "records/conversion.h"
#include "records/name_list.h"
#include "settings/baud_rate.h"
#include "settings/rows.h"
#include "settings/runner.h"

namespace movar::cli {

namespace st = movar::settings;
namespace dl = movar::download;

namespace {

std::string liveRecord(Platform& p, std::int32_t address, std::int32_t port, const char* ip) {
  return ip ? dl::lanRealDownload(p, ip).data() : dl::realDownload(p, address, port).data();
}

std::int32_t baudRate(Platform& p, std::int32_t, std::int32_t port, const Arguments& a) {
  const auto& n = a.numbers;
  return st::setBaudRate(p, port, n[0], {n[1], n[2], n[3], n[4], n[5], n[6], n[7], n[8], n[9],
                                         n[10], n[11], n[12]});
}

const Param kPerson = wordParam("person", "person number (16 bits)");
const Param kEntry = wordParam("entry", "SN entry number (16 bits)");
const Param kFingerId{"id", "template ID", 0, 2047};
const Param kAttribute{"attribute", "template attribute", 0, 15};
const Param kFinger{"finger", "finger number", 1, 2};

// Passed to the terminal as given: the terminal alone gives these bytes a meaning.
Param asGiven(const char* name, const char* help) { return byteParam(name, help); }

std::vector<Param> clockBytes() {
  static const char* const names[] = {"b1", "b2", "b3", "b4", "b5", "b6", "b7"};
  std::vector<Param> params;
  for (const char* name : names) {
    params.push_back(asGiven(name, "clock byte, passed to the terminal as given (it reads the "
                                   "seven in its own order and encoding, e.g. BCD)"));
  }
  return params;
}

std::vector<Param> voiceFields() {
  static const char* const names[] = {"f1", "f2", "f3", "f4", "f5", "f6", "f7",
                                      "f8", "f9", "f10", "f11", "f12", "f13"};
  std::vector<Param> params;
  for (std::size_t i = 0; i < 13; ++i) {
    const bool wide = i == 1 || i == 2 || i == 4;  // fields 2, 3 and 5 are 16-bit
    params.push_back(wide ? wordParam(names[i], "voice field (16 bits), passed to the terminal as given")
                          : byteParam(names[i], "voice field (a byte), passed to the terminal as given"));
  }
  return params;
}

std::vector<Param> baudArguments() {
  std::vector<Param> params{byteParam(
      "code", "the new rate's code, sent after the message: 1 1200, 2 2400, 3 4800, 4 9600, "
              "5 19200, 6 38400, 7 57600 baud")};
  static const char* const names[] = {"m1", "m2", "m3", "m4", "m5", "m6",
                                      "m7", "m8", "m9", "m10", "m11", "m12"};
  for (const char* name : names) {
    params.push_back(asGiven(name, "message byte, passed to the terminal as given"));
  }
  return params;
}

const TextParam kDirectory{"dir", "directory, joined to the file name as given (end it with /)"};
const TextParam kBaseName{"name", "file name without .dat"};

}  // namespace

const std::vector<Capability>& capabilities() {
  static const std::vector<Capability> rows{
      // The link and the records.
      {.path = "test", .help = "find the terminal: the port at which it answers (_TESTCOM)",
       .serial = [](Platform& p, std::int32_t a, std::int32_t port, const Arguments&) {
         return link::testCom(p, a, port);
       },
       .result = Result::Port},
      {.path = "download",
       .help = "download the records into movar.dat, convert them to movar.txt, back both up "
               "and erase the terminal (_DOWNLOAD, _LANDOWNLOAD)",
       .serial = [](Platform& p, std::int32_t a, std::int32_t port, const Arguments&) {
         return dl::serialDownload(p, a, port);
       },
       .lan = [](Platform& p, const char* ip, const Arguments&) { return dl::lanDownload(p, ip); },
       .download = true,
       .erases = true},
      {.path = "download numbered", .help = "download over TCP into movar<N>.dat (_LANMANYDOWNLOAD)",
       .numbers = {{"n", "file number: the records go to movar<n>.dat", 0, 2147483647}},
       .lan = [](Platform& p, const char* ip, const Arguments& a) {
         return dl::lanManyDownload(p, ip, a.numbers[0]);
       },
       .download = true,
       .erases = true},
      {.path = "download as-machine",
       .help = "download over TCP, the records marked as machine M (_LANDOWNLOADADDR)",
       .numbers = {byteParam("machine", "machine address sent in the command; every line gets the machine number from the IP text's end")},
       .lan = [](Platform& p, const char* ip, const Arguments& a) {
         return dl::lanDownloadAddressed(p, ip, a.numbers[0]);
       },
       .download = true,
       .erases = true,
       .machineFromAddress = true},
      {.path = "realtime", .help = "the newest live record (_REALDOWNLOAD, _LANREALDOWNLOAD)",
       .live = liveRecord, .result = Result::LiveRecord,
       .note = "On a serial line this is command 0x16, one attempt at the --com port (no search); "
               "0x16 is also the command of `sn length`, so a terminal answers either one with "
               "what it makes of 0x16."},
      {.path = "erase", .help = "erase the terminal's records (_DELETE, _LANDELETE)",
       .serial = [](Platform& p, std::int32_t a, std::int32_t port, const Arguments&) {
         return dl::deleteRecords(p, a, port);
       },
       .lan = [](Platform& p, const char* ip, const Arguments&) { return dl::lanDeleteRecords(p, ip); }},
      {.path = "restore", .help = "bring back the last erased records (_RESTORE)",
       .serial = [](Platform& p, std::int32_t a, std::int32_t port, const Arguments&) {
         return dl::restoreRecords(p, a, port);
       }},
      {.path = "restore", .help = "bring back every erased record (_RESTOREALL, _LANRESTOREALL)",
       .serial = [](Platform& p, std::int32_t a, std::int32_t port, const Arguments&) {
         return dl::restoreAllRecords(p, a, port);
       },
       .lan = [](Platform& p, const char* ip, const Arguments&) { return dl::lanRestoreAllRecords(p, ip); },
       .flag = "--all"},
      {.path = "modem download",
       .help = "dial a terminal through the modem at --com and download its records (_MODEMDOWNLOAD)",
       .text = TextParam{"number", "phone number, dialled as typed", TextKind::Ascii, 32, 1},
       .serial = [](Platform& p, std::int32_t a, std::int32_t port, const Arguments& args) {
         return dl::modemDownload(p, a, port, args.text.c_str());
       },
       .download = true,
       .note = "The terminal's records are not erased after a modem download."},
      // Record files, in --dir.
      {.path = "convert", .help = "<dir><name>.dat to <dir><name>.txt (_CONVERFILE)",
       .text = kDirectory, .name = kBaseName,
       .local = [](Platform& p, const Arguments& a) {
         return records::convertFile(p, a.text.c_str(), a.name.c_str());
       }},
      {.path = "convert-tx", .help = "a transaction file <dir><name>.dat to text (_CONVERXFFILE)",
       .text = kDirectory, .name = kBaseName,
       .local = [](Platform& p, const Arguments& a) {
         return records::convertTransactionFile(p, a.text.c_str(), a.name.c_str());
       }},
      {.path = "name-list", .help = "append a person's name to the day's name list (_COPYNAME)",
       .numbers = {kPerson}, .text = kDirectory,
       .name = TextParam{"name", "the person's name (8 bytes at most in the list)", TextKind::TerminalText, 8},
       .local = [](Platform& p, const Arguments& a) {
         return records::copyName(p, a.text.c_str(), a.numbers[0], a.name);
       }},
      // Clock and identity.
      {.path = "time set", .help = "send the seven clock bytes as given (_SETTIME, _LANSETTIME)",
       .numbers = clockBytes(),
       .serialRow = &st::kSetTime, .lanRow = &st::kLanSetTime},
      {.path = "machine-id", .help = "a new machine number (_SETMACHINEID)", .numbers = {byteParam("id", "the terminal's new machine number")},
       .serialRow = &st::kSetMachineId},
      {.path = "password", .help = "a 16-bit password (_SETPASSWORD)", .numbers = {wordParam("password", "password (16 bits)")},
       .serialRow = &st::kSetPassword},
      {.path = "lock set", .help = "a 16-bit lock number (_SETLOCKNUM)", .numbers = {wordParam("lock", "lock number (16 bits)")},
       .serialRow = &st::kSetLockNumber},
      {.path = "lock clear", .help = "clear the lock number (_DELLOCKNUM)",
       .serialRow = &st::kDeleteLockNumber},
      {.path = "answer", .help = "command 0x03 with one byte over TCP (_LANANSWER)", .numbers = {asGiven("value", "the byte, passed to the terminal as given")},
       .lanRow = &st::kLanAnswer},
      // Persons.
      {.path = "person enable", .help = "enable a person (_ENABLEPERSON, _LANENABLEPERSON)",
       .numbers = {kPerson}, .serialRow = &st::kEnablePerson, .lanRow = &st::kLanEnablePerson},
      {.path = "person enable", .help = "enable every person (_ENABLEALL, _LANENABLEALL)",
       .serialRow = &st::kEnableAll, .lanRow = &st::kLanEnableAll, .flag = "--all"},
      {.path = "person disable", .help = "disable a person (_DISABLEPERSON, _LANDISABLEPERSON)",
       .numbers = {kPerson}, .serialRow = &st::kDisablePerson, .lanRow = &st::kLanDisablePerson},
      {.path = "person disable", .help = "disable every person (_DISABLEALL, _LANDISABLEALL)",
       .serialRow = &st::kDisableAll, .lanRow = &st::kLanDisableAll, .flag = "--all"},
      // SN numbers and cards.
      {.path = "sn set", .help = "store an SN under an entry (_SETSN, _LANSETSN)",
       .numbers = {kEntry, wordParam("sn", "SN value (16 bits)")}, .serialRow = &st::kSetSn, .lanRow = &st::kLanSetSn},
      {.path = "sn del", .help = "delete an entry's SN (_DELSN, _LANDELSN)", .numbers = {kEntry},
       .serialRow = &st::kDeleteSn, .lanRow = &st::kLanDeleteSn},
      {.path = "sn get", .help = "the SN stored under an entry (_WHATSN)", .numbers = {kEntry},
       .serialRow = &st::kWhatSn, .result = Result::Value},
      {.path = "sn length", .help = "the terminal's SN length (_GETSNLENTH)",
       .serialRow = &st::kSnLength, .result = Result::Value,
       .note = "Command 0x16 is also the serial real-time poll (`realtime --com`): which of the "
               "two a terminal runs is its own affair, and a terminal that takes it as a poll "
               "gives no length (65535)."},
      {.path = "card-mode", .help = "SN or card mode (_SETSNORCARD)", .numbers = {asGiven("mode", "SN or card mode byte, passed to the terminal as given")},
       .serialRow = &st::kSetSnOrCard},
      {.path = "card-wait", .help = "the card wait time (_SETCARDWAITTIME)", .numbers = {asGiven("time", "card wait time byte, passed to the terminal as given")},
       .serialRow = &st::kSetCardWaitTime},
      {.path = "only-card add", .help = "add a card to the card-only list (_SENDONLYCARD)",
       .numbers = {wordParam("card", "card number (16 bits)")}, .serialRow = &st::kSendOnlyCard},
      {.path = "only-card del", .help = "remove a card from the list (_DELONLYCARD)",
       .numbers = {wordParam("card", "card number (16 bits)")}, .serialRow = &st::kDeleteOnlyCard},
      {.path = "only-card clear", .help = "clear the card-only list (_DELALLONLYCARD)",
       .serialRow = &st::kDeleteAllOnlyCards},
      // Doors, bell, line speed.
      {.path = "door mode", .help = "the door open mode (_SETOPENMODE, _LANSETOPENMODE)",
       .numbers = {asGiven("mode", "door open mode byte, passed to the terminal as given")}, .serialRow = &st::kSetOpenMode, .lanRow = &st::kLanSetOpenMode},
      {.path = "door time", .help = "the door open time (_SETOPENTIME, _LANSETOPENTIME)",
       .numbers = {asGiven("time", "door open time byte, passed to the terminal as given")}, .serialRow = &st::kSetOpenTime, .lanRow = &st::kLanSetOpenTime},
      {.path = "door switch", .help = "open (1) or close the door (_SETOPENCLOSE, _LANSETOPENCLOSE)",
       .numbers = {byteParam("switch", "serial: 1 opens (sent as 0x55), anything else closes (0x00); TCP: the byte as given (0x55 opens)")}, .serialRow = &st::kSetOpenClose, .lanRow = &st::kLanSetOpenClose},
      {.path = "bell", .help = "the bell's three bytes (_SETBELL)", .numbers = {asGiven("b1", "bell byte, passed to the terminal as given"), asGiven("b2", "bell byte, passed to the terminal as given"), asGiven("b3", "bell byte, passed to the terminal as given")},
       .serialRow = &st::kSetBell},
      {.path = "baud", .help = "move the terminal to another line speed (_SETBAUDRATE)",
       .numbers = baudArguments(),
       .serial = baudRate},
      // Names and voice.
      {.path = "name send", .help = "store a person's name, byte for byte (_SENDNAME, _LANSENDNAME)",
       .numbers = {kPerson}, .text = TextParam{"name", "the name, in the terminal's character set (--encoding); at most 20 bytes on a serial line, 100 over TCP", TextKind::TerminalText}, .serialRow = &st::kSendName, .lanRow = &st::kLanSendName},
      {.path = "name renumber", .help = "move a name to another person number (_CHANGENAMEID, "
                                        "_LANCHANGENAMEID)",
       .numbers = {wordParam("from", "the name's person number now"), wordParam("to", "its new person number")}, .serialRow = &st::kChangeNameId, .lanRow = &st::kLanChangeNameId},
      {.path = "name clear", .help = "delete every name (_DELETEALLNAME, _LANDELETEALLNAME)",
       .serialRow = &st::kDeleteAllNames, .lanRow = &st::kLanDeleteAllNames},
      {.path = "voice send", .help = "store a voice record: 13 fields and a text (_SENDVOICE, "
                                     "_LANSENDVOICE)",
       .numbers = voiceFields(), .text = TextParam{"text", "the text, in the terminal's character set (--encoding); at most 100 bytes", TextKind::TerminalText}, .serialRow = &st::kSendVoice,
       .lanRow = &st::kLanSendVoice},
      {.path = "voice del", .help = "delete a voice record (_DELVOICE, _LANDELVOICE)",
       .numbers = {wordParam("voice", "voice record number (0 deletes every record)")}, .serialRow = &st::kDeleteVoice, .lanRow = &st::kLanDeleteVoice},
      {.path = "voice clear", .help = "delete every voice record (_DELALLVOICE, _LANDELALLVOICE)",
       .serialRow = &st::kDeleteVoice, .lanRow = &st::kLanDeleteVoice, .preset = {0}},
      // The device backup: zwbak.txt in --dir.
      {.path = "backup trigger", .help = "start the terminal's parameter backup (_ZWBACKUP)",
       .numbers = {asGiven("mode", "backup mode byte, passed to the terminal as given")}, .serialRow = &st::kZwBackup},
      {.path = "backup receive", .help = "the device's backup into zwbak.txt (_RXZWFILE)",
       .serial = [](Platform& p, std::int32_t, std::int32_t port, const Arguments&) {
         return backup::receiveBackup(p, port);
       }},
      {.path = "backup send", .help = "zwbak.txt to the device (_TXZWFILE)",
       .serial = [](Platform& p, std::int32_t, std::int32_t port, const Arguments&) {
         return backup::sendBackup(p, port);
       }},
      // Fingerprint units; files in FINGERREC/ below --dir.
      {.path = "fp version", .help = "the unit's version, on its own port (_GETFDAVER)",
       .serial = [](Platform& p, std::int32_t, std::int32_t port, const Arguments&) {
         return persons::getVersion(p, port);
       },
       .result = Result::UnitCode},
      {.path = "fp raw", .help = "one packet to the unit on its own port (_FDATXDATA)",
       .numbers = {byteParam("request", "the packet's request code"), wordParam("p1", "parameter (16 bits)"), wordParam("p2", "parameter (16 bits)"), wordParam("p3", "parameter (16 bits)"), wordParam("p4", "parameter (16 bits)")},
       .serial = [](Platform& p, std::int32_t, std::int32_t port, const Arguments& a) {
         const auto& n = a.numbers;
         return persons::transmitPacket(p, port, n[0], n[1], n[2], n[3], n[4]);
       },
       .result = Result::UnitCode},
      {.path = "fp list", .help = "the unit's templates into FINGERREC/IDLIST.TXT (_GETIDLIST)",
       .serial = [](Platform& p, std::int32_t a, std::int32_t port, const Arguments&) {
         return persons::getIdList(p, a, port);
       },
       .result = Result::UnitCode},
      {.path = "fp get", .help = "a template into FINGERREC/FP<id>_<finger>.TXT (_GETIDFPREC)",
       .numbers = {kFingerId, kAttribute, kFinger},
       .serial = [](Platform& p, std::int32_t a, std::int32_t port, const Arguments& args) {
         const auto& n = args.numbers;
         return persons::getTemplate(p, a, port, n[0], n[1], n[2]);
       },
       .result = Result::UnitCode},
      {.path = "fp send", .help = "FINGERREC/FP<id>_<finger>.TXT to the unit (_SENDIDFPREC)",
       .numbers = {kFingerId, kFinger},
       .serial = [](Platform& p, std::int32_t a, std::int32_t port, const Arguments& args) {
         return persons::sendTemplate(p, a, port, args.numbers[0], args.numbers[1]);
       },
       .result = Result::UnitCode},
      {.path = "fp del", .help = "delete a template (_DELIDFPREC)",
       .numbers = {kFingerId, kAttribute, kFinger},
       .serial = [](Platform& p, std::int32_t a, std::int32_t port, const Arguments& args) {
         const auto& n = args.numbers;
         return persons::deleteTemplate(p, a, port, n[0], n[1], n[2]);
       },
       .result = Result::UnitCode},
      {.path = "fp clear", .help = "delete every template (_DELIDFPALL)",
       .serial = [](Platform& p, std::int32_t a, std::int32_t port, const Arguments&) {
         return persons::deleteAllTemplates(p, a, port);
       },
       .result = Result::UnitCode},
  };
  return rows;
}

std::int32_t runSerial(const Capability& c, Platform& platform, std::int32_t address,
                       std::int32_t port, const Arguments& a) {
  if (c.serial) return c.serial(platform, address, port, a);
  return st::runSerial(platform, *c.serialRow, address, port, c.preset.empty() ? a.numbers : c.preset,
                       a.text);
}

std::int32_t runLan(const Capability& c, Platform& platform, const char* ip, const Arguments& a) {
  if (c.lan) return c.lan(platform, ip, a);
  return st::runTcp(platform, *c.lanRow, ip, c.preset.empty() ? a.numbers : c.preset, a.text);
}

}  // namespace movar::cli
