#include "commands.h"

#include "images.h"

namespace kv::core {

bool IsPlainImageName(std::string_view name) {
    if (name.empty())
        return false;
    // "." and ".." name folders, not image files.
    if (name.find_first_not_of('.') == std::string_view::npos)
        return false;
    constexpr std::string_view kRefused = "\\/:*?&|<>^%\"!();,=` \t";
    for (const char c : name) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7F || kRefused.find(c) != std::string_view::npos)
            return false;
    }
    return true;
}

bool UsableImageName(std::string_view name, ImageUse use) {
    std::size_t limit = 0;
    switch (use) {
    case ImageUse::Catalogue:
    case ImageUse::Diskette:
        limit = kMaxImageNameLength;
        break;
    case ImageUse::UsbKey:
        limit = kMaxUsbCommandLength;
        break;
    case ImageUse::Flash:
        limit = kMaxFlashImageName;
        break;
    }
    return name.size() <= limit && IsPlainImageName(name);
}

bool EqualIgnoringCase(std::string_view a, std::string_view b) {
    const auto lower = [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; };
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (lower(a[i]) != lower(b[i]))
            return false;
    return true;
}

bool IsDriveText(std::string_view drive) {
    return drive.size() == 2 && drive[1] == ':' &&
           ((drive[0] >= 'A' && drive[0] <= 'Z') || (drive[0] >= 'a' && drive[0] <= 'z'));
}

std::string FlasherCommand(std::string_view image) {
    std::string command = "winflash64.exe C:\\KAVELTON\\Rom\\";
    command += image;
    command += " /exit /py";
    return command;
}

std::string DisketteCommand(std::string_view image, std::string_view drive) {
    std::string command = "copybinFile.bat ";
    command += image;
    command += ' ';
    command += drive;
    return command;
}

std::string UsbKeyCommand(std::string_view drive, std::string_view image) {
    std::string command = "ToUSB.bat  ";
    command += drive;
    command += ' ';
    command += image;
    return command;
}

bool UsbKeyCommandFits(std::string_view drive, std::string_view image) {
    return UsbKeyCommand(drive, image).size() <= kMaxUsbCommandLength;
}

}  // namespace kv::core
