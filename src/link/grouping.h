// How the bytes of one step go out: all in one write or send, or one byte per write or send.
// Terminals are sensitive to it, so every exchange states it.
#pragma once

namespace movar::link {

enum class Grouping { OneWrite, PerByte };

}  // namespace movar::link
