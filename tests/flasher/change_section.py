# Copies a PE file with one byte inside its first section with raw data
# inverted: a change that the Authenticode digest covers, unlike one in the
# header's checksum field.  change_section.py <from> <to>
import struct
import sys

data = bytearray(open(sys.argv[1], "rb").read())
pe = struct.unpack_from("<I", data, 0x3C)[0]
assert data[pe:pe + 4] == b"PE\0\0", "not a PE file"
count, optional = struct.unpack_from("<H", data, pe + 6)[0], struct.unpack_from("<H", data, pe + 20)[0]
table = pe + 24 + optional
for i in range(count):
    raw_size, raw_offset = struct.unpack_from("<II", data, table + 40 * i + 16)
    if raw_size:
        data[raw_offset + raw_size // 2] ^= 0xFF
        break
else:
    sys.exit("no section with raw data")
open(sys.argv[2], "wb").write(data)
