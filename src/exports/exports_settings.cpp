#include "exports/export_abi.h"
#include "settings/rows.h"
#include "settings/runner.h"

using movar::processPlatform;
namespace st = movar::settings;
using std::int32_t;

// Clock and identity.

MOVAR_API int32_t MOVAR_CALL MOVAR_ENTRY(SETTIME)(int32_t address, int32_t port, int32_t b1,
                                                  int32_t b2, int32_t b3, int32_t b4, int32_t b5,
                                                  int32_t b6, int32_t b7) {
  return MOVAR_GUARDED(SETTIME, st::runSerial(processPlatform(), st::kSetTime, address, port,
                                              {b1, b2, b3, b4, b5, b6, b7}));
}

MOVAR_API int32_t MOVAR_CALL MOVAR_ENTRY(LANSETTIME)(const char* ip, int32_t b1, int32_t b2,
                                                     int32_t b3, int32_t b4, int32_t b5, int32_t b6,
                                                     int32_t b7) {
  return MOVAR_GUARDED(LANSETTIME, st::runTcp(processPlatform(), st::kLanSetTime, ip,
                                              {b1, b2, b3, b4, b5, b6, b7}));
}

MOVAR_API int32_t MOVAR_CALL MOVAR_ENTRY(SETMACHINEID)(int32_t address, int32_t port, int32_t id) {
  return MOVAR_GUARDED(SETMACHINEID,
                       st::runSerial(processPlatform(), st::kSetMachineId, address, port, {id}));
}

MOVAR_API int32_t MOVAR_CALL MOVAR_ENTRY(SETPASSWORD)(int32_t address, int32_t port,
                                                      int32_t password) {
  return MOVAR_GUARDED(SETPASSWORD,
                       st::runSerial(processPlatform(), st::kSetPassword, address, port, {password}));
}

MOVAR_API int32_t MOVAR_CALL MOVAR_ENTRY(SETLOCKNUM)(int32_t address, int32_t port, int32_t lock) {
  return MOVAR_GUARDED(SETLOCKNUM,
                       st::runSerial(processPlatform(), st::kSetLockNumber, address, port, {lock}));
}

MOVAR_API int32_t MOVAR_CALL MOVAR_ENTRY(DELLOCKNUM)(int32_t address, int32_t port) {
  return MOVAR_GUARDED(DELLOCKNUM,
                       st::runSerial(processPlatform(), st::kDeleteLockNumber, address, port));
}

MOVAR_API int32_t MOVAR_CALL MOVAR_ENTRY(LANANSWER)(const char* ip, int32_t value) {
  return MOVAR_GUARDED(LANANSWER, st::runTcp(processPlatform(), st::kLanAnswer, ip, {value}));
}

// Enabling and disabling persons.

MOVAR_API int32_t MOVAR_CALL MOVAR_ENTRY(ENABLEALL)(int32_t address, int32_t port) {
  return MOVAR_GUARDED(ENABLEALL, st::runSerial(processPlatform(), st::kEnableAll, address, port));
}

MOVAR_API int32_t MOVAR_CALL MOVAR_ENTRY(DISABLEALL)(int32_t address, int32_t port) {
  return MOVAR_GUARDED(DISABLEALL, st::runSerial(processPlatform(), st::kDisableAll, address, port));
}

MOVAR_API int32_t MOVAR_CALL MOVAR_ENTRY(ENABLEPERSON)(int32_t address, int32_t port,
                                                       int32_t person) {
  return MOVAR_GUARDED(ENABLEPERSON,
                       st::runSerial(processPlatform(), st::kEnablePerson, address, port, {person}));
}

MOVAR_API int32_t MOVAR_CALL MOVAR_ENTRY(DISABLEPERSON)(int32_t address, int32_t port,
                                                        int32_t person) {
  return MOVAR_GUARDED(DISABLEPERSON,
                       st::runSerial(processPlatform(), st::kDisablePerson, address, port, {person}));
}

MOVAR_API int32_t MOVAR_CALL MOVAR_ENTRY(LANENABLEALL)(const char* ip) {
  return MOVAR_GUARDED(LANENABLEALL, st::runTcp(processPlatform(), st::kLanEnableAll, ip));
}

MOVAR_API int32_t MOVAR_CALL MOVAR_ENTRY(LANDISABLEALL)(const char* ip) {
  return MOVAR_GUARDED(LANDISABLEALL, st::runTcp(processPlatform(), st::kLanDisableAll, ip));
}

MOVAR_API int32_t MOVAR_CALL MOVAR_ENTRY(LANENABLEPERSON)(const char* ip, int32_t person) {
  return MOVAR_GUARDED(LANENABLEPERSON,
                       st::runTcp(processPlatform(), st::kLanEnablePerson, ip, {person}));
}

MOVAR_API int32_t MOVAR_CALL MOVAR_ENTRY(LANDISABLEPERSON)(const char* ip, int32_t person) {
  return MOVAR_GUARDED(LANDISABLEPERSON,
                       st::runTcp(processPlatform(), st::kLanDisablePerson, ip, {person}));
}
