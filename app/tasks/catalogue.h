// The BIOS image catalogue of the install folder's ROM folder and the
// version check that the three task dialogs share.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "common/dialogue.h"
#include "forms.h"

namespace kv {

struct ImageCatalogue {
    std::vector<std::string> names;  // in the order the folder lists them
    std::size_t preselected = 0;     // the newest: an index into names, when there are any
};

// The image names of C:\KAVELTON\ROM. Names the tasks would refuse are left
// out and do not count toward the ten.
ImageCatalogue ReadImageCatalogue();

// Lists the catalogue into box and sets its text to the pre-selected name.
// Returns the number of names listed.
int FillImageCatalogue(ui::TComboBox& box);

// Compares the chosen image with the running BIOS version and asks when it
// is not newer, or when the two cannot be compared. equalCaseQuestion
// selects the already-latest question for equal versions. True means go on.
bool CheckImageVersion(bool equalCaseQuestion, const std::string& runningVersion, const std::string& imageName,
                       Dialogue& dialogue);

}  // namespace kv
