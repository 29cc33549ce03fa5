#!/usr/bin/env python3
"""Writes small valid files of every layout the readers take into
fuzz/seeds/<Target>/: the starting points the kept corpus was grown and
minimised from. JPEG, Ogg and MP3 seeds need ffmpeg (or ImageMagick for JPEG);
archive seeds need the packer (build/tools/vla/vla). Run from the repository
root: python3 fuzz/make-seeds.py [OUTDIR]"""

import os
import shutil
import struct
import subprocess
import sys
import tempfile
import zlib

OUT = sys.argv[1] if len(sys.argv) > 1 else "fuzz/seeds"


def put(target, name, data):
    folder = os.path.join(OUT, target)
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, name), "wb") as f:
        f.write(data)


def pattern(n, seed=1):
    return bytes((i * 37 + seed * 11 + (i >> 3)) & 0xFF for i in range(n))


# ---- BMP -------------------------------------------------------------------

def bmp(width, height, bits, compression=0, palette=None, pixels=b"", info=40,
        masks=None, colors_used=0):
    head = struct.pack("<IiiHHIIiiII", info, width, height, 1, bits, compression,
                       len(pixels), 2835, 2835, colors_used, 0)
    head += b"\0" * (info - 40)
    extra = b""
    if masks is not None:
        extra = struct.pack("<III", *masks)
        if info > 40:
            head = head[:40] + extra + head[52:]
            extra = b""
    pal = palette or b""
    offset = 14 + len(head) + len(extra) + len(pal)
    return (b"BM" + struct.pack("<IHHI", offset + len(pixels), 0, 0, offset) + head + extra
            + pal + pixels)


def rows(width, height, bits, seed):
    stride = (width * bits + 31) // 32 * 4
    return pattern(stride * height, seed)


def bmp_seeds():
    pal16 = pattern(16 * 4, 3)
    pal256 = pattern(256 * 4, 4)
    put("BmpFuzz", "plain1.bmp", bmp(9, 3, 1, palette=pattern(8, 2), pixels=rows(9, 3, 1, 1)))
    put("BmpFuzz", "plain4.bmp", bmp(5, 3, 4, palette=pal16, pixels=rows(5, 3, 4, 2)))
    put("BmpFuzz", "plain8.bmp", bmp(3, 4, 8, palette=pal256, pixels=rows(3, 4, 8, 3)))
    put("BmpFuzz", "plain8-used.bmp",
        bmp(3, 2, 8, palette=pattern(5 * 4, 5), pixels=rows(3, 2, 8, 4), colors_used=5))
    put("BmpFuzz", "plain24.bmp", bmp(3, 2, 24, pixels=rows(3, 2, 24, 5)))
    put("BmpFuzz", "topdown24.bmp", bmp(2, -3, 24, pixels=rows(2, 3, 24, 6)))
    put("BmpFuzz", "plain16.bmp", bmp(3, 2, 16, pixels=rows(3, 2, 16, 7)))
    put("BmpFuzz", "fields16.bmp",
        bmp(3, 2, 16, 3, pixels=rows(3, 2, 16, 8), masks=(0xF800, 0x07E0, 0x001F)))
    put("BmpFuzz", "plain32.bmp", bmp(2, 2, 32, pixels=rows(2, 2, 32, 9)))
    put("BmpFuzz", "fields32-v4.bmp",
        bmp(2, 2, 32, 3, pixels=rows(2, 2, 32, 10), info=108,
            masks=(0xFF0000, 0xFF00, 0xFF)))
    put("BmpFuzz", "v5-8.bmp", bmp(4, 2, 8, palette=pal256, pixels=rows(4, 2, 8, 11), info=124))
    rle8 = bytes([3, 7, 0, 3, 1, 2, 3, 0, 0, 0, 0, 2, 1, 1, 2, 9, 0, 1])
    put("BmpFuzz", "rle8.bmp", bmp(6, 3, 8, 1, palette=pal256, pixels=rle8))
    rle4 = bytes([4, 0x12, 0, 3, 0x34, 0x50, 0, 0, 0, 2, 1, 0, 3, 0xAB, 0, 1])
    put("BmpFuzz", "rle4.bmp", bmp(7, 3, 4, 2, palette=pal16, pixels=rle4))


# ---- TGA -------------------------------------------------------------------

def tga(kind, width, height, depth, descriptor, body, cmap=b"", cmap_len=0, cmap_depth=0,
        ident=b"", footer=False):
    head = struct.pack("<BBBHHBHHHHBB", len(ident), 1 if cmap_len else 0, kind, 0, cmap_len,
                       cmap_depth, 0, 0, width, height, depth, descriptor)
    data = head + ident + cmap + body
    if footer:
        data += struct.pack("<II", 0, 0) + b"TRUEVISION-XFILE.\0"
    return data


def tga_rle(pixels, item):
    out = b""
    i = 0
    while i < len(pixels):
        if i % 2 == 0 and i + 3 <= len(pixels):
            out += bytes([0x80 | 2]) + pixels[i]
            i += 3
        else:
            n = min(2, len(pixels) - i)
            out += bytes([n - 1]) + b"".join(pixels[i:i + n])
            i += n
    return out


def tga_seeds():
    for depth in (16, 24, 32):
        b = depth // 8
        for desc, name in ((0x20, "top"), (0x00, "bottom"), (0x30, "top-right")):
            alpha = 8 if depth == 32 else (1 if depth == 16 else 0)
            put("TgaFuzz", "true%d-%s.tga" % (depth, name),
                tga(2, 3, 2, depth, desc | alpha, pattern(3 * 2 * b, depth + desc)))
        pixels = [pattern(b, i) for i in range(12)]
        put("TgaFuzz", "rle%d.tga" % depth,
            tga(10, 4, 3, depth, 0x20, tga_rle(pixels, b), footer=depth == 24))
    put("TgaFuzz", "mapped24.tga",
        tga(1, 3, 2, 8, 0x20, bytes([0, 1, 2, 3, 1, 0]), cmap=pattern(4 * 3, 5), cmap_len=4,
            cmap_depth=24, ident=b"id"))
    put("TgaFuzz", "mapped-rle16.tga",
        tga(9, 4, 2, 8, 0x00, bytes([0x83, 1, 0x03, 0, 1, 2, 3]), cmap=pattern(4 * 2, 6),
            cmap_len=4, cmap_depth=16))


# ---- PNG -------------------------------------------------------------------

def chunk(kind, data):
    return struct.pack(">I", len(data)) + kind + data + struct.pack(
        ">I", zlib.crc32(kind + data) & 0xFFFFFFFF)


def png(width, height, color, depth, extra=b"", interlace=0, seed=1):
    channels = {0: 1, 2: 3, 3: 1, 4: 2, 6: 4}[color]
    row = (width * channels * depth + 7) // 8
    raw = b""
    if interlace:
        # Adam7 passes of a small picture, each row filtered with type 0.
        passes = [(0, 0, 8, 8), (4, 0, 8, 8), (0, 4, 4, 8), (2, 0, 4, 4), (0, 2, 2, 4),
                  (1, 0, 2, 2), (0, 1, 1, 2)]
        for x0, y0, dx, dy in passes:
            w = (width - x0 + dx - 1) // dx if width > x0 else 0
            h = (height - y0 + dy - 1) // dy if height > y0 else 0
            if w and h:
                r = (w * channels * depth + 7) // 8
                for _ in range(h):
                    raw += b"\0" + pattern(r, seed)
    else:
        for y in range(height):
            raw += bytes([y % 5]) + pattern(row, seed + y)
    ihdr = struct.pack(">IIBBBBB", width, height, depth, color, 0, 0, interlace)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", ihdr) + extra
            + chunk(b"IDAT", zlib.compress(raw)) + chunk(b"IEND", b""))


def png_seeds():
    for depth in (1, 2, 4, 8, 16):
        put("PngFuzz", "grey%d.png" % depth, png(5, 3, 0, depth, seed=depth))
    for depth in (8, 16):
        put("PngFuzz", "rgb%d.png" % depth, png(3, 2, 2, depth, seed=depth))
        put("PngFuzz", "greyalpha%d.png" % depth, png(3, 2, 4, depth, seed=depth))
        put("PngFuzz", "rgba%d.png" % depth, png(3, 2, 6, depth, seed=depth))
    for depth in (1, 2, 4, 8):
        plte = chunk(b"PLTE", pattern(3 * (1 << depth), depth))
        trns = chunk(b"tRNS", bytes([0, 128, 255])) if depth >= 2 else b""
        put("PngFuzz", "palette%d.png" % depth, png(6, 2, 3, depth, plte + trns, seed=depth))
    put("PngFuzz", "grey-trns.png", png(3, 2, 0, 8, chunk(b"tRNS", b"\0\x10"), seed=3))
    put("PngFuzz", "rgb-trns-gama.png",
        png(3, 2, 2, 8, chunk(b"gAMA", struct.pack(">I", 45455)) + chunk(b"tRNS", b"\0\1\0\2\0\3")))
    put("PngFuzz", "interlaced-rgba.png", png(9, 9, 6, 8, interlace=1, seed=7))
    put("PngFuzz", "text.png", png(2, 2, 0, 8, chunk(b"tEXt", b"Comment\0seed"), seed=9))


# ---- BGRA and DDS ----------------------------------------------------------

def bgra_seeds():
    for channels, name in ((0x08080808, "8"), (0x10101010, "16")):
        b = 4 if name == "8" else 8
        for w, h in ((1, 1), (3, 2), (2, 5)):
            put("BgraFuzz", "bgra%s-%dx%d.bgra" % (name, w, h),
                b"BGRA" + struct.pack("<III", channels, w, h) + pattern(w * h * b, w * h))
    put("BgraFuzz", "bgra8-wide.bgra", b"BGRA" + struct.pack("<III", 0x08080808, 64, 1)
        + pattern(256, 2))
    put("BgraFuzz", "bgra16-tall.bgra", b"BGRA" + struct.pack("<III", 0x10101010, 1, 16)
        + pattern(128, 3))
    put("BgraFuzz", "bgra8-big.bgra", b"BGRA" + struct.pack("<III", 0x08080808, 16, 16)
        + pattern(1024, 4))
    put("BgraFuzz", "bgra16-sq.bgra", b"BGRA" + struct.pack("<III", 0x10101010, 4, 4)
        + pattern(128, 5))


def dds(width, height, bits, masks, format_flags=0x40, pitch=0, flags=0x1007, code=0):
    h = bytearray(124)
    struct.pack_into("<IIIII", h, 0, 124, flags | (0x8 if pitch else 0), height, width, pitch)
    struct.pack_into("<IIII", h, 72, 32, format_flags, code, bits)
    struct.pack_into("<IIII", h, 88, *masks)
    row = pitch or width * bits // 8
    return b"DDS " + bytes(h) + pattern(row * height, bits + width)


def dds_seeds():
    layouts = [
        (16, (0xF800, 0x07E0, 0x001F, 0), 0x40),
        (16, (0x7C00, 0x03E0, 0x001F, 0x8000), 0x41),
        (16, (0x0F00, 0x00F0, 0x000F, 0xF000), 0x41),
        (24, (0xFF0000, 0xFF00, 0xFF, 0), 0x40),
        (32, (0xFF0000, 0xFF00, 0xFF, 0xFF000000), 0x41),
        (32, (0xFF, 0xFF00, 0xFF0000, 0xFF000000), 0x41),
        (32, (0xFF0000, 0xFF00, 0xFF, 0), 0x40),
        (8, (0xE0, 0x1C, 0x03, 0), 0x40),
    ]
    for i, (bits, masks, ff) in enumerate(layouts):
        put("DdsFuzz", "layout%d-%d.dds" % (i, bits), dds(3, 2, bits, masks, ff))
    put("DdsFuzz", "pitched32.dds", dds(3, 2, 32, (0xFF0000, 0xFF00, 0xFF, 0), 0x40, pitch=16))
    put("DdsFuzz", "pitched16.dds", dds(5, 3, 16, (0xF800, 0x07E0, 0x001F, 0), 0x40, pitch=12))


# ---- sounds ------------------------------------------------------------------

def riff(chunks):
    body = b"WAVE" + b"".join(k + struct.pack("<I", len(v)) + v + (b"\0" if len(v) & 1 else b"")
                              for k, v in chunks)
    return b"RIFF" + struct.pack("<I", len(body)) + body


def fmt(tag, channels, rate, avg, align, bits, extra=None):
    f = struct.pack("<HHIIHH", tag, channels, rate, avg, align, bits)
    if extra is not None:
        f += struct.pack("<H", len(extra)) + extra
    return f


def ima_block(channels, samples):
    head = b"".join(struct.pack("<hBB", 100 * c, 20, 0) for c in range(channels))
    body = pattern((samples - 1) // 2 * channels, samples)
    return head + body


def wave_seeds():
    frames = 600
    for channels in (1, 2):
        for bits in (8, 16):
            align = channels * bits // 8
            put("SoundDecodeFuzz", "pcm%d-%d.wav" % (bits, channels),
                riff([(b"fmt ", fmt(1, channels, 22050, 22050 * align, align, bits)),
                      (b"data", pattern(frames * align, bits + channels))]))
    put("SoundDecodeFuzz", "pcm-list-fact.wav",
        riff([(b"fmt ", fmt(1, 1, 8000, 16000, 2, 16)), (b"LIST", b"INFOISFT\3\0\0\0ab\0"),
              (b"fact", struct.pack("<I", 300)), (b"data", pattern(600, 2))]))
    for tag, name in ((6, "alaw"), (7, "mulaw")):
        put("SoundDecodeFuzz", name + ".wav",
            riff([(b"fmt ", fmt(tag, 1, 8000, 8000, 1, 8, b"")), (b"data", pattern(800, tag))]))
    spb = 505
    block = 256
    put("SoundDecodeFuzz", "ima-mono.wav",
        riff([(b"fmt ", fmt(0x11, 1, 22050, 22050 * block // spb, block, 4,
                            struct.pack("<H", spb))),
              (b"fact", struct.pack("<I", spb * 3)),
              (b"data", b"".join(ima_block(1, spb) for _ in range(3)))]))
    spb2 = 249
    put("SoundDecodeFuzz", "ima-stereo.wav",
        riff([(b"fmt ", fmt(0x11, 2, 11025, 11025 * 256 // spb2, 256, 4,
                            struct.pack("<H", spb2))),
              (b"data", b"".join(ima_block(2, spb2) for _ in range(2)))]))
    coefs = [(256, 0), (512, -256), (0, 0), (192, 64), (240, 0), (460, -208), (392, -232)]
    ms_extra = struct.pack("<HH", 500, len(coefs)) + b"".join(
        struct.pack("<hh", a, b) for a, b in coefs)
    ms_block = struct.pack("<BhhH", 0, 16, 5, 7)[:7]
    ms_block = bytes([0]) + struct.pack("<hhh", 16, 5, 7) + pattern(249, 9)
    put("SoundDecodeFuzz", "msadpcm-mono.wav",
        riff([(b"fmt ", fmt(2, 1, 22050, 11155, 256, 4, ms_extra)),
              (b"data", ms_block * 2)]))


def encode(tool_args, suffix):
    with tempfile.TemporaryDirectory() as tmp:
        out = os.path.join(tmp, "out" + suffix)
        try:
            subprocess.run(tool_args + [out], check=True, capture_output=True)
        except (OSError, subprocess.CalledProcessError):
            return None
        with open(out, "rb") as f:
            return f.read()


def ffmpeg_audio(seconds, rate, channels, codec_args, suffix, tone="sine=frequency=440"):
    return encode(["ffmpeg", "-v", "quiet", "-f", "lavfi", "-i",
                   "%s:sample_rate=%d:duration=%s" % (tone, rate, seconds), "-ac",
                   str(channels)] + codec_args + ["-y"], suffix)


def compressed_sound_seeds():
    variants = [(0.2, 44100, 1), (0.3, 44100, 2), (0.5, 22050, 1), (0.15, 8000, 1),
                (0.25, 48000, 2), (0.1, 11025, 2)]
    for i, (sec, rate, ch) in enumerate(variants):
        data = ffmpeg_audio(sec, rate, ch, ["-c:a", "libvorbis", "-q:a", str(i - 1)], ".ogg")
        if data:
            put("OggFuzz", "vorbis-%d-%d-%d.ogg" % (rate, ch, i), data)
        for bitrate in ("32k", "128k"):
            data = ffmpeg_audio(sec, rate if rate != 11025 else 22050, ch,
                                ["-c:a", "libmp3lame", "-b:a", bitrate, "-id3v2_version",
                                 "3" if i % 2 else "4", "-write_xing", str(i % 2)], ".mp3")
            if data:
                put("Mp3Fuzz", "mp3-%d-%d-%s-%d.mp3" % (rate, ch, bitrate, i), data)
    data = ffmpeg_audio(0.2, 24000, 1, ["-c:a", "libmp3lame", "-b:a", "8k"], ".mp3")
    if data:
        put("Mp3Fuzz", "mpeg2-8k.mp3", data + b"TAG" + b"\0" * 125)


def jpeg_seeds():
    made = 0
    for i, (size, args) in enumerate([
            ("8x8", []), ("17x9", ["-sampling-factor", "4:2:0"]),
            ("16x16", ["-sampling-factor", "4:4:4"]), ("9x17", ["-interlace", "JPEG"]),
            ("24x8", ["-colorspace", "Gray"]), ("12x12", ["-quality", "20"]),
            ("20x10", ["-define", "jpeg:restart-interval=1"]),
            ("7x7", ["-sampling-factor", "4:2:2"]), ("32x4", ["-quality", "100"]),
            ("5x13", ["-colorspace", "Gray", "-interlace", "JPEG"])]):
        data = encode(["convert", "-size", size, "gradient:red-blue"] + args, ".jpg")
        if data:
            put("JpegFuzz", "variant%d.jpg" % i, data)
            made += 1
    return made


# ---- MIDI and stories --------------------------------------------------------

def vlq(n):
    out = [n & 0x7F]
    n >>= 7
    while n:
        out.insert(0, 0x80 | (n & 0x7F))
        n >>= 7
    return bytes(out)


def midi(fmt_, tracks, division=96):
    data = b"MThd" + struct.pack(">IHHH", 6, fmt_, len(tracks), division)
    for t in tracks:
        data += b"MTrk" + struct.pack(">I", len(t)) + t
    return data


END = b"\0\xff\x2f\0"
TEMPO = b"\0\xff\x51\x03\x07\xa1\x20"


def midi_seeds():
    notes = b"\0\xc0\x13\0\x90\x45\x64" + vlq(96) + b"\x80\x45\x40"
    put("MidiFuzz", "format0.mid", midi(0, [TEMPO + notes + END]))
    running = b"\0\x90\x3c\x64\x30\x3e\x64\x30\x40\x64" + vlq(200) + b"\x3c\x00\0\x3e\x00\0\x40\x00"
    put("MidiFuzz", "running-status.mid", midi(0, [TEMPO + running + END]))
    put("MidiFuzz", "format1.mid", midi(1, [TEMPO + b"\0\xff\x58\x04\x04\x02\x18\x08" + END,
                                            notes + END, b"\0\x91\x30\x50\x60\x81\x30\0" + END]))
    put("MidiFuzz", "sysex.mid", midi(0, [b"\0\xf0\x05\x7e\x7f\x09\x01\xf7\0\xf7\x02\x01\x02"
                                          + notes + END]))
    put("MidiFuzz", "meta-text.mid", midi(1, [b"\0\xff\x03\x05Piano\0\xff\x01\x04demo\0\xff\x59\x02\x00\x00"
                                              + TEMPO + END, notes + END]))
    put("MidiFuzz", "controllers.mid",
        midi(0, [b"\0\xb0\x07\x64\0\xb0\x0a\x40\0\xe0\x00\x40\0\xd0\x30\0\xa0\x45\x20"
                 + notes + END]))
    put("MidiFuzz", "format2.mid", midi(2, [notes + END, notes + END]))
    put("MidiFuzz", "long-delta.mid", midi(0, [TEMPO + b"\0\x90\x45\x64" + vlq(0x0FFFFF)
                                              + b"\x80\x45\x40" + END]))
    put("MidiFuzz", "smpte-division.mid", midi(0, [notes + END], division=0xE728))
    put("MidiFuzz", "drums.mid", midi(0, [b"\0\x99\x24\x64\x18\x26\x64\x18\x2a\x64\x18\x89\x24\x00"
                                          + END]))
    put("MidiFuzz", "extra-chunk.mid",
        midi(0, [TEMPO + notes + END])[:14] + b"XTRA\0\0\0\2ab" + midi(0, [notes + END])[14:])


STORY_LINES = [
    "loadimage 1,\"a.bmp\"", "loadimage 2,\"missing.png\"", "showimage 1,10,20",
    "drawbackimage 1,0,0", "moveimage 1,5,5,30", "wait 100", "loadsound 1,\"a.wav\"",
    "playsound 1,0", "stopsound 1", "playmusic \"a.wav\",1", "fademusic 50,1000",
    "stopmusic", "deletebg", "attachbg 1", "showimg 1,2,3", "wait", "END",
    "loadimage 99,\"a.bmp\"", "wait -5", "showimage 1,\"x\",3,4,5,6,7,8,9,10,11,12",
    "loadimage 1,\"\x82\xa0.bmp\"", "; a comment line", "   ", "moveimage 1,,",
]


def story_seeds():
    crlf = b"\r\n"
    enc = [line.encode("latin-1") for line in STORY_LINES]
    put("ScriptFuzz", "every-command.txt", crlf.join(enc[:14] + [b"END"]) + crlf)
    put("ScriptFuzz", "errors.txt", crlf.join(enc[14:]) + crlf)
    put("ScriptFuzz", "lf-only.txt", b"\n".join(enc[:8]))
    put("ScriptFuzz", "long-line.txt", b"wait " + b"9" * 1100 + crlf + b"END" + crlf)
    put("ScriptFuzz", "many-lines.txt", crlf.join([b"wait 1"] * 1000))
    put("ScriptFuzz", "quoted.txt", b'loadimage 1,"a, b.bmp"' + crlf + b'showimage "1",2' + crlf)
    put("ScriptFuzz", "empty.txt", b"")
    put("ScriptFuzz", "after-end.txt", b"wait 1\r\nEND\r\nshowimage 1,0,0\r\n")
    put("ScriptFuzz", "sjis-words.txt", b"\x95\x5c\x8e\xa6 1\r\nloadimage 1,\"\x89\xe6.bmp\"\r\n")
    put("ScriptFuzz", "spaces.txt", b"showimage  1 , 2 ,3\r\nwait\t5\r\n  loadimage 1,a.bmp\r\n")
    put("ScriptFuzz", "numbers.txt",
        b"wait 2147483648\r\nwait -2147483649\r\nmoveimage 1,+3,-0,0x10\r\n")


def archive_key():
    b = [0x5A] * 12
    rol = lambda v, n: ((v << n) | (v >> (8 - n))) & 0xFF
    swap = lambda v: ((v << 4) | (v >> 4)) & 0xFF
    steps = [lambda v: ~v & 0xFF, swap, lambda v: rol(v, 1), lambda v: v ^ 0x6D,
             lambda v: rol(v, 3), lambda v: ~swap(v) & 0xFF, lambda v: rol(v, 6),
             lambda v: v ^ 0xB4, lambda v: ~rol(v, 5) & 0xFF, lambda v: swap(v) ^ 0x39,
             lambda v: rol(v, 7) ^ 0xE2, lambda v: rol(v, 2) ^ 0x8C]
    return bytes(steps[i](b[i]) for i in range(12))


def archive_seeds(vla):
    if not os.path.exists(vla):
        return
    key = archive_key()
    layouts = {
        "one-file": {"A/B.TXT": b"hello archive\r\n" * 4},
        "stored": {"B.TXT": b"x"},
        "nested": {"A/B.TXT": b"abc", "A/C/D.BIN": pattern(300), "E.TXT": b""},
        "compressible": {"Z.TXT": b"abcabcabc" * 200, "Y.TXT": b"\0" * 1000},
        "random": {"R.BIN": pattern(2000, 7)},
        "many": {"F%02d.TXT" % i: b"file %d\r\n" % i for i in range(12)},
        "deep": {"A/B/C/D/E.TXT": b"deep"},
        "mixed": {"A/X.TXT": b"xx" * 50, "B/Y.TXT": pattern(64), "C.TXT": b"top"},
        "empty-dir": {"A/.keep": b"", "B.TXT": b"b"},
        "sjis": {"\u3042.TXT": b"kana"},
    }
    for name, files in layouts.items():
        with tempfile.TemporaryDirectory() as tmp:
            root = os.path.join(tmp, "FUZZ")
            for path, data in files.items():
                full = os.path.join(root, path)
                os.makedirs(os.path.dirname(full), exist_ok=True)
                with open(full, "wb") as f:
                    f.write(data)
            args = [vla, "pack", root] + (["--store"] if name == "stored" else [])
            if subprocess.run(args, capture_output=True).returncode != 0:
                continue
            with open(root + ".VLA", "rb") as f:
                packed = f.read()
            plain = bytes(c ^ key[i % 12] for i, c in enumerate(packed))
            # The last byte picks the member read and how: the first one read
            # at once, the second one read in the background.
            put("ArchiveOpenFuzz", name + ".vla", plain + b"\x00")
            put("ArchiveOpenFuzz", name + "-background.vla", plain + b"\x81")


def main():
    bmp_seeds()
    tga_seeds()
    png_seeds()
    bgra_seeds()
    dds_seeds()
    wave_seeds()
    compressed_sound_seeds()
    jpeg_seeds()
    midi_seeds()
    story_seeds()
    archive_seeds("build/tools/vla/vla")
    for target in sorted(os.listdir(OUT)):
        print(target, len(os.listdir(os.path.join(OUT, target))))


if __name__ == "__main__":
    main()
