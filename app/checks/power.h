// The power supply before a flash: a flash that loses power mid-way can
// leave the board without a BIOS.
#pragma once

#include "common/dialogue.h"

namespace kv {

// Refuses on battery power and asks when the battery is low.
bool CheckPower(Dialogue& dialogue);

}  // namespace kv
