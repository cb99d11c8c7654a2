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

}  // namespace movar::settings
