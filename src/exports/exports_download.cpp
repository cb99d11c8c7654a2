#include "download/lan_download.h"
#include "download/memory_commands.h"
#include "download/modem_download.h"
#include "download/serial_download.h"
#include "exports/export_abi.h"

using movar::processPlatform;
namespace dl = movar::download;

MOVAR_API std::int32_t MOVAR_CALL MOVAR_ENTRY(DOWNLOAD)(std::int32_t address, std::int32_t port) {
  return MOVAR_GUARDED(DOWNLOAD, dl::serialDownload(processPlatform(), address, port));
}

MOVAR_API std::int32_t MOVAR_CALL MOVAR_ENTRY(LANDOWNLOAD)(const char* ip) {
  return MOVAR_GUARDED(LANDOWNLOAD, dl::lanDownload(processPlatform(), ip));
}

MOVAR_API std::int32_t MOVAR_CALL MOVAR_ENTRY(LANMANYDOWNLOAD)(const char* ip, std::int32_t n) {
  return MOVAR_GUARDED(LANMANYDOWNLOAD, dl::lanManyDownload(processPlatform(), ip, n));
}

MOVAR_API std::int32_t MOVAR_CALL MOVAR_ENTRY(LANDOWNLOADADDR)(const char* ip, std::int32_t address) {
  return MOVAR_GUARDED(LANDOWNLOADADDR, dl::lanDownloadAddressed(processPlatform(), ip, address));
}

MOVAR_API std::int32_t MOVAR_CALL MOVAR_ENTRY(MODEMDOWNLOAD)(std::int32_t address, std::int32_t port,
                                                             const char* phone_number) {
  return MOVAR_GUARDED(MODEMDOWNLOAD, dl::modemDownload(processPlatform(), address, port, phone_number));
}

MOVAR_API std::int32_t MOVAR_CALL MOVAR_ENTRY(DELETE)(std::int32_t address, std::int32_t port) {
  return MOVAR_GUARDED(DELETE, dl::deleteRecords(processPlatform(), address, port));
}

MOVAR_API std::int32_t MOVAR_CALL MOVAR_ENTRY(RESTORE)(std::int32_t address, std::int32_t port) {
  return MOVAR_GUARDED(RESTORE, dl::restoreRecords(processPlatform(), address, port));
}

MOVAR_API std::int32_t MOVAR_CALL MOVAR_ENTRY(RESTOREALL)(std::int32_t address, std::int32_t port) {
  return MOVAR_GUARDED(RESTOREALL, dl::restoreAllRecords(processPlatform(), address, port));
}

MOVAR_API std::int32_t MOVAR_CALL MOVAR_ENTRY(LANDELETE)(const char* ip) {
  return MOVAR_GUARDED(LANDELETE, dl::lanDeleteRecords(processPlatform(), ip));
}

MOVAR_API std::int32_t MOVAR_CALL MOVAR_ENTRY(LANRESTOREALL)(const char* ip) {
  return MOVAR_GUARDED(LANRESTOREALL, dl::lanRestoreAllRecords(processPlatform(), ip));
}
