#include "checks/power.h"

#include <string>

#include "common/run_log.h"
#include "platform.h"

namespace kv {
namespace {

constexpr BYTE kNoBattery = 128;
constexpr BYTE kUnknownBattery = 255;
constexpr BYTE kLowCharge = 20;

}  // namespace

bool CheckPower(Dialogue& dialogue) {
    SYSTEM_POWER_STATUS power{};
    if (!Os().GetPowerStatus(power)) {
        Log("Power: status cannot be read");
        return true;
    }
    Log("Power: AC line " + std::to_string(power.ACLineStatus) + ", battery flag " +
        std::to_string(power.BatteryFlag) + ", charge " + std::to_string(power.BatteryLifePercent));
    // Without a battery (or with one that tells nothing) the AC line figure
    // is not a reason to refuse.
    if (power.BatteryFlag == kNoBattery || power.BatteryFlag == kUnknownBattery) return true;
    if (power.ACLineStatus == 0) {
        dialogue.Tell("The computer runs on battery power.\nPlease connect the AC adapter before you flash the BIOS!",
                      kFlashTitle, MB_ICONERROR);
        return false;
    }
    if (power.ACLineStatus == 1 && power.BatteryLifePercent < kLowCharge) {
        const bool yes = dialogue.Ask(Question::LowBattery,
                                      "The battery is charged only " + std::to_string(power.BatteryLifePercent) +
                                          "%.\nIf the power fails during the flash, the computer may not start "
                                          "again.\nDo you want to flash the BIOS anyway?",
                                      kFlashTitle, MB_ICONWARNING);
        Log(yes ? "Power: low battery, flash anyway" : "Power: low battery, stopped");
        return yes;
    }
    return true;
}

}  // namespace kv
