#include "raw_volume.h"

#include <winioctl.h>

#include <new>

namespace kv::raw {

bool RawVolume::Failed(DWORD fallback) {
    error_ = Os().LastError();
    if (error_ == ERROR_SUCCESS) error_ = fallback;
    return false;
}

bool RawVolume::Open(const std::string& path, DWORD access, DWORD flags) {
    Close();
    handle_.Reset(Os().OpenFile(path, access, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING, flags));
    return handle_.Valid() || Failed(ERROR_FILE_NOT_FOUND);
}

VolumeRefusal RawVolume::OpenLocked(const std::string& path, DWORD access, DWORD flags) {
    if (!Open(path, access, flags)) return VolumeRefusal::NotOpened;
    if (Lock()) return VolumeRefusal::None;
    const DWORD why = error_;
    Close();
    error_ = why;
    return VolumeRefusal::InUse;
}

bool RawVolume::Lock(int attempts, DWORD pauseMs) {
    for (int attempt = 0; attempt < attempts; ++attempt) {
        if (attempt > 0) Os().Sleep(pauseMs);
        if (Os().DeviceIoControl(handle_.get(), FSCTL_LOCK_VOLUME)) {
            locked_ = true;
            return true;
        }
        Failed(ERROR_LOCK_VIOLATION);
    }
    return false;
}

bool RawVolume::IsDiskette(std::optional<std::uint64_t>* found) {
    std::uint64_t size = 0;
    const bool known = Os().VolumeSize(handle_.get(), size) || Failed();
    if (found) *found = known ? std::optional<std::uint64_t>(size) : std::nullopt;
    return known && size == kDisketteBytes;
}

void RawVolume::Dismount() { Os().DeviceIoControl(handle_.get(), FSCTL_DISMOUNT_VOLUME); }

bool RawVolume::Unlock() {
    if (!locked_) return true;
    locked_ = false;
    // Closing releases the lock as well; Wine refuses this after its refused
    // dismount, so the answer is not a failure of the copy.
    return Os().DeviceIoControl(handle_.get(), FSCTL_UNLOCK_VOLUME);
}

bool RawVolume::Read(void* buffer, DWORD size) {
    DWORD done = 0;
    if (!Os().ReadFile(handle_.get(), buffer, size, &done)) return Failed();
    if (done != size) {
        error_ = ERROR_HANDLE_EOF;
        return false;
    }
    return true;
}

bool RawVolume::Write(const void* buffer, DWORD size) {
    DWORD done = 0;
    if (!Os().WriteFile(handle_.get(), buffer, size, &done)) return Failed();
    if (done != size) {
        error_ = ERROR_WRITE_FAULT;
        return false;
    }
    return true;
}

bool RawVolume::Seek(LONG offset) {
    return Os().SetFilePointerBegin(handle_.get(), offset) || Failed(ERROR_SEEK);
}

bool RawVolume::Flush() { return Os().FlushFile(handle_.get()) || Failed(); }

bool RawVolume::Close() {
    if (!handle_.Valid()) return true;
    Unlock();
    return handle_.Close() || Failed();
}

SectorBuffer::SectorBuffer(DWORD bytes)
    : data_(static_cast<unsigned char*>(
          ::operator new[](bytes, std::align_val_t{4096}))),
      size_(bytes) {}

SectorBuffer::~SectorBuffer() { ::operator delete[](data_, std::align_val_t{4096}); }

}  // namespace kv::raw
