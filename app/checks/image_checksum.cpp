#include "checks/image_checksum.h"

#include <algorithm>

#include "checks/folder_trust.h"
#include "checksums.h"
#include "common/install_paths.h"
#include "common/run_log.h"
#include "platform.h"

namespace kv {
namespace {

constexpr DWORD kHashChunk = 64 * 1024;

}  // namespace

bool HashOpenFile(HANDLE file, core::Sha256Digest& digest) {
    const OsHash hash;
    if (!hash.get()) return false;
    std::string chunk(kHashChunk, '\0');
    for (;;) {
        DWORD n = 0;
        if (!Os().ReadFile(file, chunk.data(), kHashChunk, &n)) return false;
        if (n == 0) break;
        if (!Os().HashData(hash.get(), chunk.data(), n)) return false;
    }
    unsigned char bytes[32] = {};
    if (!Os().HashFinish(hash.get(), bytes)) return false;
    std::copy(std::begin(bytes), std::end(bytes), digest.begin());
    return true;
}

namespace {

// The image's SHA-256; false when it cannot be read or hashed.
bool HashImage(const std::string& path, core::Sha256Digest& digest) {
    // Read through the handle that was judged, held while it is hashed.
    const HeldFile file(path);
    if (file.open()) {
        Log("Checksum: " + path + " not hashed: " + file.open()->path + ": " + file.open()->who);
        return false;
    }
    return HashOpenFile(file.handle(), digest);
}

bool ListExists() {
    std::vector<FolderEntry> entries;
    return Os().ListFolder(kChecksumListPath,
                           FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM, entries) &&
           !entries.empty();
}

}  // namespace

ChecksumVerdict ReadChecksumList(core::ChecksumList& list) {
    if (!ListExists()) return {ChecksumState::NoList};
    std::string bytes;
    // Held while it is read: nobody writes it between its check and here.
    const HeldFile held(kChecksumListPath);
    if (held.open()) Log(std::string("Checksum: list not read: ") + held.open()->path + ": " + held.open()->who);
    if (held.open() || !Os().ReadWholeFile(kChecksumListPath, bytes)) return {ChecksumState::ListUnreadable};
    list = core::ParseChecksumList(bytes);
    if (list.Empty()) return {ChecksumState::ListEmpty};
    if (!list.Ok()) return {ChecksumState::ListMalformed, list.badLine};
    return {ChecksumState::Ok};
}

ChecksumVerdict JudgeImage(const core::ChecksumList& list, const std::string& image) {
    const auto listed = core::ListedDigests(list, image);
    // A list that is there was put there to protect: an image it does not
    // name is refused, not passed over.
    if (listed.empty()) return {ChecksumState::NotListed};
    ChecksumVerdict verdict{ChecksumState::Ok};
    if (!HashImage(RomPath(image), verdict.actual)) return {ChecksumState::ImageUnreadable};
    for (const auto& digest : listed) {
        if (digest != verdict.actual) {
            verdict.state = ChecksumState::Mismatch;
            verdict.listed = digest;
            break;
        }
    }
    return verdict;
}

bool CheckImageChecksum(const std::string& image, const char* errorTitle, Dialogue& dialogue) {
    auto Refuse = [&dialogue, errorTitle](const std::string& text) {
        dialogue.Tell(text, errorTitle, MB_ICONERROR);
        return false;
    };
    core::ChecksumList list;
    ChecksumVerdict verdict = ReadChecksumList(list);
    if (verdict.state == ChecksumState::Ok) verdict = JudgeImage(list, image);
    const std::string listName = std::string("The checksum list ") + kChecksumListPath;
    switch (verdict.state) {
    case ChecksumState::NoList:
        Log("Checksum: " + image + " not verified (no checksum list)");
        return true;
    case ChecksumState::ListUnreadable:
        return Refuse(listName + " cannot be read.\nThe BIOS image is not used.");
    case ChecksumState::ListEmpty:
        return Refuse(listName + " is damaged: it holds no checksum line.\nThe BIOS image is not used.");
    case ChecksumState::ListMalformed:
        return Refuse(listName + " is damaged: line " + std::to_string(verdict.badLine) +
                      " is not a checksum line.\nThe BIOS image is not used.");
    case ChecksumState::NotListed:
        Log("Checksum: " + image + " refused (not listed in " + kChecksumListPath + ")");
        return Refuse("The BIOS image " + image + " is not listed in the checksum list " + kChecksumListPath +
                      ".\nThe BIOS image is not used.\n\nTo use it, add its line to the list: its SHA-256 "
                      "checksum, two blanks and ROM/" + image + ", as \"sha256sum ROM/*\" writes it in C:\\KAVELTON.");
    case ChecksumState::ImageUnreadable:
        return Refuse("The checksum of the BIOS image " + image + " cannot be computed:\nthe file cannot be read.");
    case ChecksumState::Mismatch:
        Refuse("The BIOS image " + image + " does not match its checksum in " + kChecksumListPath +
               ".\nThe file may be damaged or altered. It is not used.");
        Log("Checksum: " + image + " is " + core::DigestText(verdict.actual) + ", listed " +
            core::DigestText(verdict.listed));
        return false;
    case ChecksumState::Ok:
        break;
    }
    Log("Checksum: " + image + " verified");
    return true;
}

}  // namespace kv
