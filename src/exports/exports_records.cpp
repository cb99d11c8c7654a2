#include "exports/export_abi.h"
#include "records/conversion.h"
#include "records/name_list.h"

using movar::processPlatform;

MOVAR_API std::int32_t MOVAR_CALL MOVAR_ENTRY(CONVERFILE)(const char* dir, const char* name) {
  return movar::records::convertFile(processPlatform(), dir, name);
}

MOVAR_API std::int32_t MOVAR_CALL MOVAR_ENTRY(CONVERXFFILE)(const char* dir, const char* name) {
  return movar::records::convertTransactionFile(processPlatform(), dir, name);
}

MOVAR_API std::int32_t MOVAR_CALL MOVAR_ENTRY(COPYNAME)(const char* dir, std::int32_t number,
                                                        const char* name) {
  return movar::records::copyName(processPlatform(), dir, number, name);
}
