#include "exports/export_abi.h"
#include "persons/fingerprint_files.h"
#include "persons/fingerprint_link.h"

using movar::processPlatform;
namespace fp = movar::persons;
using std::int32_t;

// The fingerprint unit, directly on its port.

MOVAR_API int32_t MOVAR_CALL MOVAR_ENTRY(FDATXDATA)(int32_t port, int32_t request, int32_t p1,
                                                    int32_t p2, int32_t p3, int32_t p4) {
  return MOVAR_GUARDED(FDATXDATA,
                       fp::transmitPacket(processPlatform(), port, request, p1, p2, p3, p4));
}

MOVAR_API int32_t MOVAR_CALL MOVAR_ENTRY(GETFDAVER)(int32_t port) {
  return MOVAR_GUARDED(GETFDAVER, fp::getVersion(processPlatform(), port));
}

// Through the terminal's dialogue.

MOVAR_API int32_t MOVAR_CALL MOVAR_ENTRY(DELIDFPREC)(int32_t address, int32_t port, int32_t id,
                                                     int32_t attribute, int32_t finger) {
  return MOVAR_GUARDED(DELIDFPREC,
                       fp::deleteTemplate(processPlatform(), address, port, id, attribute, finger));
}

MOVAR_API int32_t MOVAR_CALL MOVAR_ENTRY(DELIDFPALL)(int32_t address, int32_t port) {
  return MOVAR_GUARDED(DELIDFPALL, fp::deleteAllTemplates(processPlatform(), address, port));
}

MOVAR_API int32_t MOVAR_CALL MOVAR_ENTRY(GETIDLIST)(int32_t address, int32_t port) {
  return MOVAR_GUARDED(GETIDLIST, fp::getIdList(processPlatform(), address, port));
}

MOVAR_API int32_t MOVAR_CALL MOVAR_ENTRY(GETIDFPREC)(int32_t address, int32_t port, int32_t id,
                                                     int32_t attribute, int32_t finger) {
  return MOVAR_GUARDED(GETIDFPREC,
                       fp::getTemplate(processPlatform(), address, port, id, attribute, finger));
}

MOVAR_API int32_t MOVAR_CALL MOVAR_ENTRY(SENDIDFPREC)(int32_t address, int32_t port, int32_t id,
                                                      int32_t /*ignored*/, int32_t finger) {
  return MOVAR_GUARDED(SENDIDFPREC, fp::sendTemplate(processPlatform(), address, port, id, finger));
}
