// The setting commands, one row per export.
#pragma once

#include "settings/command.h"

namespace movar::settings {

// Clock and identity.
extern const Command kSetTime, kLanSetTime, kSetMachineId, kSetPassword, kSetLockNumber,
    kDeleteLockNumber, kLanAnswer;

// Enabling and disabling persons.
extern const Command kEnableAll, kDisableAll, kEnablePerson, kDisablePerson, kLanEnableAll,
    kLanDisableAll, kLanEnablePerson, kLanDisablePerson;

// SN numbers and card options; the card-only list.
extern const Command kSetSn, kDeleteSn, kWhatSn, kSnLength, kSetSnOrCard, kSetCardWaitTime,
    kLanSetSn, kLanDeleteSn, kSendOnlyCard, kDeleteOnlyCard, kDeleteAllOnlyCards;

// Door settings and the bell.
extern const Command kSetOpenMode, kSetOpenTime, kSetOpenClose, kLanSetOpenMode, kLanSetOpenTime,
    kLanSetOpenClose, kSetBell;

// Person names and voice prompts.
extern const Command kSendName, kChangeNameId, kDeleteAllNames, kLanSendName, kLanChangeNameId,
    kLanDeleteAllNames, kSendVoice, kDeleteVoice, kLanSendVoice, kLanDeleteVoice;

// The device backup command.
extern const Command kZwBackup;

}  // namespace movar::settings
