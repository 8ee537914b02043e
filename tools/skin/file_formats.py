"""Byte writers of the skin's files that PIL does not write as we need them:
run-length compressed grey masks and icons of 32-bit DIB entries."""

import struct


def bmp_rle8(grey):
    """An 8-bit grey BMP with run-length compression (BI_RLE8): a mask is a few
    runs per row, so the scaled sets' masks stay a few kilobytes."""
    W, H = grey.size
    data = grey.tobytes()
    out = bytearray()
    for y in range(H - 1, -1, -1):  # bottom-up rows
        row = data[y * W:(y + 1) * W]
        x = 0
        while x < W:
            n = 1
            while x + n < W and n < 255 and row[x + n] == row[x]:
                n += 1
            out += bytes((n, row[x]))
            x += n
        out += b"\x00\x00"  # end of line
    out[-2:] = b"\x00\x01"  # end of bitmap
    palette = b"".join(bytes((v, v, v, 0)) for v in range(256))
    offset = 14 + 40 + len(palette)
    header = struct.pack("<IiiHHIIiiII", 40, W, H, 1, 8, 1, len(out), 2835, 2835, 256, 0)
    return b"BM" + struct.pack("<IHHI", offset + len(out), 0, 0, offset) + header + palette + bytes(out)


def ico(images):
    """An .ico of 32-bit DIB entries (with their AND masks), readable by every loader."""
    entries = []
    for img in images:
        w, h = img.size
        px = img.load()
        rows = []
        for y in range(h - 1, -1, -1):
            rows.append(b"".join(struct.pack("<BBBB", px[x, y][2], px[x, y][1], px[x, y][0], px[x, y][3])
                                 for x in range(w)))
        stride = ((w + 31) // 32) * 4
        mask = []
        for y in range(h - 1, -1, -1):
            bits = bytearray(stride)
            for x in range(w):
                if px[x, y][3] == 0:
                    bits[x // 8] |= 0x80 >> (x % 8)
            mask.append(bytes(bits))
        header = struct.pack("<IiiHHIIiiII", 40, w, h * 2, 1, 32, 0, 0, 0, 0, 0, 0)
        entries.append((w, h, header + b"".join(rows) + b"".join(mask)))
    out = struct.pack("<HHH", 0, 1, len(entries))
    offset = 6 + 16 * len(entries)
    for w, h, data in entries:
        out += struct.pack("<BBBBHHII", w % 256, h % 256, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    return out + b"".join(d for _, _, d in entries)
