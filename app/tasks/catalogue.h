// The BIOS image catalogue of the install folder's ROM folder and the
// version check that the three task dialogs share.
#pragma once

#include <string>

#include "common/dialogue.h"
#include "forms.h"

namespace kv {

// Lists the image names into box and sets its text to the newest one. Names
// the tasks would refuse are not listed and do not count toward the ten.
// Returns the number of names listed.
int FillImageCatalogue(ui::TComboBox& box);

// Compares the chosen image with the running BIOS version and asks when it
// is not newer, or when the two cannot be compared. equalCaseQuestion
// selects the already-latest question for equal versions. True means go on.
bool CheckImageVersion(bool equalCaseQuestion, const std::string& runningVersion, const std::string& imageName,
                       Dialogue& dialogue);

}  // namespace kv
