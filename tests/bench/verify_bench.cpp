// The diskette read-back's cost as a ratio to the copy it checks, measured
// side by side: rounds of copy then read-back through the raw-volume module
// on \\.\A:. Here A: is an image file, so the figures show the program's own
// overhead; on a real drive the medium's speed dominates both.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "raw_volume.h"

namespace {

using kv::raw::kSectorSize;
using kv::raw::RawVolume;
using kv::raw::SectorBuffer;

constexpr int kSectors = 750;
constexpr int kTrack = 18;

double Now() {
    LARGE_INTEGER f, c;
    QueryPerformanceFrequency(&f);
    QueryPerformanceCounter(&c);
    return static_cast<double>(c.QuadPart) * 1000.0 / static_cast<double>(f.QuadPart);
}

bool Copy(std::string& written) {
    RawVolume image, drive;
    if (!image.Open("C:\\KAVELTON\\fdd.imz", GENERIC_READ) || !drive.Open("\\\\.\\A:") || !drive.Lock()) return false;
    drive.Dismount();
    written.clear();
    char sector[kSectorSize];
    for (int k = 0; k < kSectors; ++k) {
        if (!image.Read(sector, kSectorSize) || !drive.Write(sector, kSectorSize)) return false;
        written.append(sector, kSectorSize);
    }
    return drive.Flush() && drive.Close();
}

bool Verify(const std::string& expected) {
    RawVolume drive;
    if (!drive.Open("\\\\.\\A:", GENERIC_READ | GENERIC_WRITE, FILE_FLAG_NO_BUFFERING) || !drive.Lock()) return false;
    SectorBuffer buffer(kTrack * kSectorSize);
    for (int first = 0; first < kSectors; first += kTrack) {
        const int count = std::min(kTrack, kSectors - first);
        if (!drive.Read(buffer.data(), static_cast<DWORD>(count) * kSectorSize)) return false;
        if (std::memcmp(buffer.data(), expected.data() + first * kSectorSize, count * kSectorSize) != 0)
            return false;
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 10;
    std::vector<double> copy, verify;
    std::string written;
    for (int r = 0; r < rounds; ++r) {
        const double t0 = Now();
        if (!Copy(written)) {
            std::printf("copy failed, error %lu\n", GetLastError());
            return 1;
        }
        const double t1 = Now();
        if (!Verify(written)) {
            std::printf("read-back failed, error %lu\n", GetLastError());
            return 1;
        }
        copy.push_back(t1 - t0);
        verify.push_back(Now() - t1);
    }
    std::sort(copy.begin(), copy.end());
    std::sort(verify.begin(), verify.end());
    const double c = copy[copy.size() / 2], v = verify[verify.size() / 2];
    std::printf("diskette copy %.1f ms, read-back %.1f ms (medians of %d rounds): read-back = %.2fx the copy\n",
                c, v, rounds, v / c);
    return 0;
}
