"""PNG images as numpy arrays, decoded with zlib alone: 8-bit greyscale, RGB or
RGBA, not interlaced (what Chromium's screenshots and our slices are). Rows
filtered with None, Sub or Up decode at numpy speed; Average and Paeth pixel by
pixel."""
import struct
import zlib

import numpy as np


def decode(data):
    """(height, width, channels) uint8 array."""
    assert data[:8] == b"\x89PNG\r\n\x1a\n", "not a PNG"
    position, idat, header = 8, b"", None
    while position < len(data):
        length, kind = struct.unpack(">I4s", data[position:position + 8])
        body = data[position + 8:position + 8 + length]
        if kind == b"IHDR":
            header = struct.unpack(">IIBBBBB", body)
        elif kind == b"IDAT":
            idat += body
        position += 12 + length
    width, height, depth, colour, _, _, interlace = header
    assert depth == 8 and interlace == 0, header
    channels = {0: 1, 2: 3, 6: 4, 4: 2}[colour]
    raw = zlib.decompress(idat)
    stride = width * channels
    image = np.zeros((height, stride), dtype=np.int32)
    previous = np.zeros(stride, dtype=np.int32)
    for row in range(height):
        start = row * (stride + 1)
        kind = raw[start]
        line = np.frombuffer(raw, np.uint8, stride, start + 1).astype(np.int32)
        if kind == 0:
            current = line
        elif kind == 1:
            current = np.cumsum(line.reshape(width, channels), axis=0).reshape(stride) & 255
        elif kind == 2:
            current = (line + previous) & 255
        else:  # average and Paeth depend on the pixel just decoded: slow, but rare in
            # screenshots taken with optimizeForSpeed and used only on small images
            current = np.zeros(stride, dtype=np.int32)
            for i in range(stride):
                left = current[i - channels] if i >= channels else 0
                up = previous[i]
                up_left = previous[i - channels] if i >= channels else 0
                if kind == 3:
                    predictor = (left + up) // 2
                else:
                    p = left + up - up_left
                    pa, pb, pc = abs(p - left), abs(p - up), abs(p - up_left)
                    predictor = left if pa <= pb and pa <= pc else (up if pb <= pc else up_left)
                current[i] = (line[i] + predictor) & 255
        image[row] = current
        previous = current
    return image.reshape(height, width, channels).astype(np.uint8)
