#include "exports/export_abi.h"
#include "settings/baud_rate.h"
#include "settings/rows.h"
#include "settings/runner.h"

using movar::processPlatform;
namespace st = movar::settings;
using std::int32_t;

// SN numbers and card options.

MOVAR_API int32_t MOVAR_CALL MOVAR_ENTRY(SETSN)(int32_t address, int32_t port, int32_t entry,
                                                int32_t sn) {
  return MOVAR_GUARDED(SETSN, st::runSerial(processPlatform(), st::kSetSn, address, port, {entry, sn}));
}

MOVAR_API int32_t MOVAR_CALL MOVAR_ENTRY(DELSN)(int32_t address, int32_t port, int32_t entry) {
  return MOVAR_GUARDED(DELSN, st::runSerial(processPlatform(), st::kDeleteSn, address, port, {entry}));
}

MOVAR_API int32_t MOVAR_CALL MOVAR_ENTRY(LANSETSN)(const char* ip, int32_t entry, int32_t sn) {
  return MOVAR_GUARDED(LANSETSN, st::runTcp(processPlatform(), st::kLanSetSn, ip, {entry, sn}));
}

MOVAR_API int32_t MOVAR_CALL MOVAR_ENTRY(LANDELSN)(const char* ip, int32_t entry) {
  return MOVAR_GUARDED(LANDELSN, st::runTcp(processPlatform(), st::kLanDeleteSn, ip, {entry}));
}

MOVAR_API int32_t MOVAR_CALL MOVAR_ENTRY(WHATSN)(int32_t address, int32_t port, int32_t entry) {
  return MOVAR_GUARDED(WHATSN, st::runSerial(processPlatform(), st::kWhatSn, address, port, {entry}));
}

MOVAR_API int32_t MOVAR_CALL MOVAR_ENTRY(GETSNLENTH)(int32_t address, int32_t port) {
  return MOVAR_GUARDED(GETSNLENTH, st::runSerial(processPlatform(), st::kSnLength, address, port));
}

MOVAR_API int32_t MOVAR_CALL MOVAR_ENTRY(SETSNORCARD)(int32_t address, int32_t port, int32_t mode) {
  return MOVAR_GUARDED(SETSNORCARD,
                       st::runSerial(processPlatform(), st::kSetSnOrCard, address, port, {mode}));
}

MOVAR_API int32_t MOVAR_CALL MOVAR_ENTRY(SETCARDWAITTIME)(int32_t address, int32_t port,
                                                          int32_t time) {
  return MOVAR_GUARDED(SETCARDWAITTIME,
                       st::runSerial(processPlatform(), st::kSetCardWaitTime, address, port, {time}));
}

// Door settings.

MOVAR_API int32_t MOVAR_CALL MOVAR_ENTRY(SETOPENMODE)(int32_t address, int32_t port, int32_t mode) {
  return MOVAR_GUARDED(SETOPENMODE,
                       st::runSerial(processPlatform(), st::kSetOpenMode, address, port, {mode}));
}

MOVAR_API int32_t MOVAR_CALL MOVAR_ENTRY(SETOPENTIME)(int32_t address, int32_t port, int32_t time) {
  return MOVAR_GUARDED(SETOPENTIME,
                       st::runSerial(processPlatform(), st::kSetOpenTime, address, port, {time}));
}

MOVAR_API int32_t MOVAR_CALL MOVAR_ENTRY(SETOPENCLOSE)(int32_t address, int32_t port,
                                                       int32_t open) {
  return MOVAR_GUARDED(SETOPENCLOSE,
                       st::runSerial(processPlatform(), st::kSetOpenClose, address, port, {open}));
}

MOVAR_API int32_t MOVAR_CALL MOVAR_ENTRY(LANSETOPENMODE)(const char* ip, int32_t mode) {
  return MOVAR_GUARDED(LANSETOPENMODE, st::runTcp(processPlatform(), st::kLanSetOpenMode, ip, {mode}));
}

MOVAR_API int32_t MOVAR_CALL MOVAR_ENTRY(LANSETOPENTIME)(const char* ip, int32_t time) {
  return MOVAR_GUARDED(LANSETOPENTIME, st::runTcp(processPlatform(), st::kLanSetOpenTime, ip, {time}));
}

MOVAR_API int32_t MOVAR_CALL MOVAR_ENTRY(LANSETOPENCLOSE)(const char* ip, int32_t open) {
  return MOVAR_GUARDED(LANSETOPENCLOSE,
                       st::runTcp(processPlatform(), st::kLanSetOpenClose, ip, {open}));
}

// The card-only list.

MOVAR_API int32_t MOVAR_CALL MOVAR_ENTRY(SENDONLYCARD)(int32_t address, int32_t port, int32_t card) {
  return MOVAR_GUARDED(SENDONLYCARD,
                       st::runSerial(processPlatform(), st::kSendOnlyCard, address, port, {card}));
}

MOVAR_API int32_t MOVAR_CALL MOVAR_ENTRY(DELONLYCARD)(int32_t address, int32_t port, int32_t card) {
  return MOVAR_GUARDED(DELONLYCARD,
                       st::runSerial(processPlatform(), st::kDeleteOnlyCard, address, port, {card}));
}

MOVAR_API int32_t MOVAR_CALL MOVAR_ENTRY(DELALLONLYCARD)(int32_t address, int32_t port) {
  return MOVAR_GUARDED(DELALLONLYCARD,
                       st::runSerial(processPlatform(), st::kDeleteAllOnlyCards, address, port));
}

// Bell and line speed.

MOVAR_API int32_t MOVAR_CALL MOVAR_ENTRY(SETBELL)(int32_t address, int32_t port, int32_t b1,
                                                  int32_t b2, int32_t b3) {
  return MOVAR_GUARDED(SETBELL,
                       st::runSerial(processPlatform(), st::kSetBell, address, port, {b1, b2, b3}));
}

MOVAR_API int32_t MOVAR_CALL MOVAR_ENTRY(SETBAUDRATE)(int32_t port, int32_t code, int32_t m1,
                                                      int32_t m2, int32_t m3, int32_t m4,
                                                      int32_t m5, int32_t m6, int32_t m7,
                                                      int32_t m8, int32_t m9, int32_t m10,
                                                      int32_t m11, int32_t m12) {
  return MOVAR_GUARDED(SETBAUDRATE,
                       st::setBaudRate(processPlatform(), port, code,
                                       {m1, m2, m3, m4, m5, m6, m7, m8, m9, m10, m11, m12}));
}
