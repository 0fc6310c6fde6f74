// Raw diskette sector copy: the interface for outside callers.
// Each call returns nonzero on success and 0 on failure; failures other than
// a refused drive or image open also write one line to standard output.
#pragma once

#include <cstdint>

extern "C" {

// Opens drive A: (locked for exclusive raw access) and then the diskette
// image C:\KAVELTON\fdd.imz, both positioned at offset 0.
std::int32_t GetDiskHandle();

// Reads the next 512 bytes of the image into the library's sector buffer.
std::int32_t ReadDisk();

// Writes the 512-byte sector buffer to the next sector of the drive.
std::int32_t WriteDisk();

// Closes the image, then releases and closes the drive.
std::int32_t CloseHdel();

}
