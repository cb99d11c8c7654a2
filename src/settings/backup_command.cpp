// The device backup command: the block, its acknowledgement, and a second one when the
// device has finished.
#include "settings/payloads.h"
#include "settings/rows.h"

namespace movar::settings {

const Command kZwBackup{.code = 0x0E,
                        .payload = payload::lowBytes,
                        .steps = {send(Piece::Nak), send(Piece::BlockBody), awaitAck(3'000),
                                  awaitAck(60'000)}};

}  // namespace movar::settings
