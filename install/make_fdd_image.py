#!/usr/bin/env python3
"""Builds fdd.imz, the 1.44 MB flash diskette image: an empty FAT12 file
system made by mkfs.fat, whose boot sector carries our own boot code. The
code prints a line through the BIOS and halts; the BPB written by mkfs.fat
stays as it is. The same inputs always give the same bytes.

Usage: make_fdd_image.py OUTPUT [--mkfs PATH]
"""
import argparse
import os
import subprocess
import sys

DISK_KIB = 1440
SECTOR = 512
VOLUME_ID = "4B56464C"  # fixed, so the image is reproducible
LABEL = "KAVELTON"
MESSAGE = b"Kavelton flash diskette\r\n"

LOAD_ADDRESS = 0x7C00
CODE_OFFSET = 0x3E  # first byte after the FAT12 extended BPB


def boot_code():
    """Real-mode code placed at CODE_OFFSET. Jumps are relative and data is
    addressed through DS=0, so it runs whether the BIOS entered it as
    0000:7C00 or 07C0:0000."""
    code = bytearray()
    code += b"\xFA"              # cli
    code += b"\x31\xC0"          # xor ax, ax
    code += b"\x8E\xD8"          # mov ds, ax
    code += b"\x8E\xD0"          # mov ss, ax
    code += b"\xBC\x00\x7C"      # mov sp, 0x7C00
    code += b"\xFB"              # sti
    code += b"\xFC"              # cld
    mov_si = len(code)
    code += b"\xBE\x00\x00"      # mov si, message (patched below)
    loop = len(code)
    code += b"\xAC"              # lodsb
    code += b"\x84\xC0"          # test al, al
    jz_at = len(code)
    code += b"\x74\x00"          # jz halt (patched below)
    code += b"\xB4\x0E"          # mov ah, 0x0E   teletype output
    code += b"\xBB\x07\x00"      # mov bx, 0x0007 page 0, light grey
    code += b"\xCD\x10"          # int 0x10
    code += b"\xEB" + bytes([(loop - (len(code) + 2)) & 0xFF])  # jmp loop
    halt = len(code)
    code += b"\xF4"              # hlt
    code += b"\xEB\xFD"          # jmp halt
    message = len(code)
    code += MESSAGE + b"\x00"

    code[jz_at + 1] = halt - (jz_at + 2)
    address = LOAD_ADDRESS + CODE_OFFSET + message
    code[mov_si + 1:mov_si + 3] = address.to_bytes(2, "little")
    return bytes(code)


def install_boot_code(sector):
    if sector[510:512] != b"\x55\xAA":
        raise SystemExit("mkfs.fat wrote no boot signature")
    if sector[0x26] != 0x29:
        raise SystemExit("unexpected BPB: no extended boot signature")
    code = boot_code()
    room = 510 - CODE_OFFSET
    if len(code) > room:
        raise SystemExit(f"boot code of {len(code)} bytes does not fit in {room}")
    out = bytearray(sector)
    out[0:3] = bytes([0xEB, CODE_OFFSET - 2, 0x90])  # jmp short to the code, nop
    out[CODE_OFFSET:510] = code + bytes(room - len(code))
    return bytes(out)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("output")
    parser.add_argument("--mkfs", default="mkfs.fat")
    args = parser.parse_args()

    tmp = args.output + ".tmp"
    if os.path.exists(tmp):
        os.remove(tmp)
    env = dict(os.environ, SOURCE_DATE_EPOCH="0")
    subprocess.run([args.mkfs, "-C", "--invariant", "-F", "12", "-i", VOLUME_ID, "-n", LABEL,
                    tmp, str(DISK_KIB)], check=True, stdout=subprocess.DEVNULL, env=env)
    with open(tmp, "r+b") as f:
        f.seek(0)
        sector = f.read(SECTOR)
        f.seek(0)
        f.write(install_boot_code(sector))
    if os.path.getsize(tmp) != DISK_KIB * 1024:
        raise SystemExit(f"image has {os.path.getsize(tmp)} bytes")
    os.replace(tmp, args.output)


if __name__ == "__main__":
    sys.exit(main())
