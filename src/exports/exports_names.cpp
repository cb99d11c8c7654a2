#include "exports/counted_string.h"
#include "exports/export_abi.h"
#include "settings/rows.h"
#include "settings/runner.h"

using movar::processPlatform;
using movar::exports::CountedString;
using movar::exports::zeroTerminated;
namespace st = movar::settings;
using std::int32_t;

// Person names.

MOVAR_API int32_t MOVAR_CALL MOVAR_ENTRY(SENDNAME)(int32_t address, int32_t port, int32_t person,
                                                   const char* name) {
  return MOVAR_GUARDED(SENDNAME, st::runSerial(processPlatform(), st::kSendName, address, port,
                                               {person}, zeroTerminated(name)));
}

MOVAR_API int32_t MOVAR_CALL MOVAR_ENTRY(CHANGENAMEID)(int32_t address, int32_t port, int32_t first,
                                                       int32_t second) {
  return MOVAR_GUARDED(CHANGENAMEID, st::runSerial(processPlatform(), st::kChangeNameId, address,
                                                   port, {first, second}));
}

MOVAR_API int32_t MOVAR_CALL MOVAR_ENTRY(DELETEALLNAME)(int32_t address, int32_t port) {
  return MOVAR_GUARDED(DELETEALLNAME,
                       st::runSerial(processPlatform(), st::kDeleteAllNames, address, port));
}

MOVAR_API int32_t MOVAR_CALL MOVAR_ENTRY(LANSENDNAME)(const char* ip, int32_t person,
                                                      const char* name) {
  return MOVAR_GUARDED(LANSENDNAME, st::runTcp(processPlatform(), st::kLanSendName, ip, {person},
                                               CountedString(name).text()));
}

MOVAR_API int32_t MOVAR_CALL MOVAR_ENTRY(LANCHANGENAMEID)(const char* ip, int32_t first,
                                                          int32_t second) {
  return MOVAR_GUARDED(LANCHANGENAMEID,
                       st::runTcp(processPlatform(), st::kLanChangeNameId, ip, {first, second}));
}

MOVAR_API int32_t MOVAR_CALL MOVAR_ENTRY(LANDELETEALLNAME)(const char* ip) {
  return MOVAR_GUARDED(LANDELETEALLNAME, st::runTcp(processPlatform(), st::kLanDeleteAllNames, ip));
}

// Voice prompts.

MOVAR_API int32_t MOVAR_CALL MOVAR_ENTRY(SENDVOICE)(int32_t address, int32_t port, int32_t f1,
                                                    int32_t f2, int32_t f3, int32_t f4, int32_t f5,
                                                    int32_t f6, int32_t f7, int32_t f8, int32_t f9,
                                                    int32_t f10, int32_t f11, int32_t f12,
                                                    int32_t f13, const char* text) {
  return MOVAR_GUARDED(SENDVOICE,
                       st::runSerial(processPlatform(), st::kSendVoice, address, port,
                                     {f1, f2, f3, f4, f5, f6, f7, f8, f9, f10, f11, f12, f13},
                                     CountedString(text).text()));
}

MOVAR_API int32_t MOVAR_CALL MOVAR_ENTRY(DELVOICE)(int32_t address, int32_t port, int32_t voice) {
  return MOVAR_GUARDED(DELVOICE,
                       st::runSerial(processPlatform(), st::kDeleteVoice, address, port, {voice}));
}

MOVAR_API int32_t MOVAR_CALL MOVAR_ENTRY(DELALLVOICE)(int32_t address, int32_t port) {
  return MOVAR_GUARDED(DELALLVOICE,
                       st::runSerial(processPlatform(), st::kDeleteVoice, address, port, {0}));
}

MOVAR_API int32_t MOVAR_CALL MOVAR_ENTRY(LANSENDVOICE)(const char* ip, int32_t f1, int32_t f2,
                                                       int32_t f3, int32_t f4, int32_t f5,
                                                       int32_t f6, int32_t f7, int32_t f8,
                                                       int32_t f9, int32_t f10, int32_t f11,
                                                       int32_t f12, int32_t f13, const char* text) {
  return MOVAR_GUARDED(LANSENDVOICE,
                       st::runTcp(processPlatform(), st::kLanSendVoice, ip,
                                  {f1, f2, f3, f4, f5, f6, f7, f8, f9, f10, f11, f12, f13},
                                  CountedString(text).text()));
}

MOVAR_API int32_t MOVAR_CALL MOVAR_ENTRY(LANDELVOICE)(const char* ip, int32_t voice) {
  return MOVAR_GUARDED(LANDELVOICE, st::runTcp(processPlatform(), st::kLanDeleteVoice, ip, {voice}));
}

MOVAR_API int32_t MOVAR_CALL MOVAR_ENTRY(LANDELALLVOICE)(const char* ip) {
  return MOVAR_GUARDED(LANDELALLVOICE,
                       st::runTcp(processPlatform(), st::kLanDeleteVoice, ip, {0}));
}
