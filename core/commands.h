// Command lines that Kavelton hands to the command processor, and the
// checks that keep typed text from changing their meaning.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace kv::core {

// True for a plain file name that is safe inside a command line: not empty,
// no path separators, no characters the command processor or a program's
// argument parsing would interpret (& | < > ^ % " ! ( ) ; , = blank, control
// characters, wildcards, colon), and not "." or "..". Bytes of 0x80 and above
// (ANSI code page letters) are accepted. Length limits are the caller's.
bool IsPlainImageName(std::string_view name);

// The longest name the flash hands to the flasher: its command line stays
// below 200 characters and the image path well inside MAX_PATH.
constexpr std::size_t kMaxFlashImageName = 128;

// Where an image name is used; each has its own length limit.
enum class ImageUse {
    Catalogue,  // listed and pre-selected: at most 13 characters
    Diskette,   // as the catalogue lists them
    UsbKey,     // no limit of its own: the whole command must fit its buffer
    Flash,      // at most 128: the flasher's command stays below 200 characters
};

// The image-name rule of every task: a plain name within its use's limit.
bool UsableImageName(std::string_view name, ImageUse use);

// True when a and b are the same text but for the case of ASCII letters, as
// Windows compares file, program, drive and switch names.
bool EqualIgnoringCase(std::string_view a, std::string_view b);

// True for a drive letter followed by a colon, such as "E:".
bool IsDriveText(std::string_view drive);

// "winflash64.exe C:\KAVELTON\Rom\" + image + " /exit /py"
std::string FlasherCommand(std::string_view image);
// "copybinFile.bat " + image + " " + drive
std::string DisketteCommand(std::string_view image, std::string_view drive);
// "ToUSB.bat  " + drive + " " + image  (two blanks after the batch name)
std::string UsbKeyCommand(std::string_view drive, std::string_view image);

// The longest command the USB key dialog's 80-byte buffer holds.
constexpr std::size_t kMaxUsbCommandLength = 79;

// True when UsbKeyCommand(drive, image) fits in kMaxUsbCommandLength.
bool UsbKeyCommandFits(std::string_view drive, std::string_view image);

}  // namespace kv::core
