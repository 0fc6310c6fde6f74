#include "tasks/catalogue.h"

#include <vector>

#include "commands.h"
#include "common/install_paths.h"
#include "images.h"
#include "platform.h"

namespace kv {

ImageCatalogue ReadImageCatalogue() {
    ImageCatalogue catalogue;
    std::vector<FolderEntry> entries;
    // Read-only, hidden, system, volume-label, directory and archive entries.
    if (Os().ListFolder(RomPath("*.*"), 0x3F, entries)) {
        for (const FolderEntry& entry : entries) {
            if (entry.attributes & FILE_ATTRIBUTE_DIRECTORY) continue;
            // A name every task refuses is not offered at all, so that
            // neither the pre-selection nor a pick can land on it. That also
            // catches the '?' the enumeration puts for characters outside
            // the ANSI code page.
            if (!core::UsableImageName(entry.name, core::ImageUse::Catalogue)) continue;
            // The catalogue holds ten names; later ones are left out.
            if (catalogue.names.size() == core::kMaxCatalogueNames) break;
            catalogue.names.push_back(entry.name);
        }
    }
    if (!catalogue.names.empty()) catalogue.preselected = core::PickNewest(catalogue.names);
    return catalogue;
}

int FillImageCatalogue(ui::TComboBox& box) {
    box.Clear();
    const ImageCatalogue catalogue = ReadImageCatalogue();
    for (const std::string& name : catalogue.names) box.AddItem(name);
    if (catalogue.names.empty()) return 0;
    box.SetText(catalogue.names[catalogue.preselected]);
    return static_cast<int>(catalogue.names.size());
}

bool CheckImageVersion(bool equalCaseQuestion, const std::string& running, const std::string& imageName,
                       Dialogue& dialogue) {
    static const char kNewerBios[] =
        "Your system BIOS version\nis newer than you select,\ndo you want to continue?";
    static const char kAlreadyLatest[] =
        "This computer BIOS version is already the latest\nor more updated than the BIOS version "
        "you are going to flash.\nDo you still want to continue (Y/N)?";
    std::string question = kNewerBios;
    switch (core::CompareImageVersion(running, imageName)) {
    case core::VersionOrder::ImageNewer:
        return true;
    case core::VersionOrder::Equal:
        if (equalCaseQuestion) question = kAlreadyLatest;
        break;
    case core::VersionOrder::ImageOlder:
        break;
    case core::VersionOrder::Unknown:
        // Either claim of the other questions could be false here: say only
        // what is known, and show both texts so the user can judge.
        question = "The BIOS versions can not be compared:\nrunning BIOS version: " + running +
                   "\nselected BIOS file: " + imageName + "\nDo you want to continue?";
        break;
    }
    return dialogue.Ask(Question::Version, question, "Compare BIOS Version", MB_ICONWARNING);
}

}  // namespace kv
