#include "exports/counted_string.h"
#include "exports/export_abi.h"
#include "records/conversion.h"
#include "records/name_list.h"

using movar::processPlatform;
using movar::exports::CountedString;
namespace rec = movar::records;

MOVAR_API std::int32_t MOVAR_CALL MOVAR_ENTRY(CONVERFILE)(const char* dir, const char* name) {
  return MOVAR_GUARDED(CONVERFILE, rec::convertFile(processPlatform(), dir, name));
}

MOVAR_API std::int32_t MOVAR_CALL MOVAR_ENTRY(CONVERXFFILE)(const char* dir, const char* name) {
  return MOVAR_GUARDED(CONVERXFFILE, rec::convertTransactionFile(processPlatform(), dir, name));
}

// The name is a counted string: its count stays raised while the call runs.
MOVAR_API std::int32_t MOVAR_CALL MOVAR_ENTRY(COPYNAME)(const char* dir, std::int32_t number,
                                                        const char* name) {
  return MOVAR_GUARDED(COPYNAME,
                       rec::copyName(processPlatform(), dir, number, CountedString(name).view()));
}
