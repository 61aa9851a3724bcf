#!/usr/bin/env python3
"""Writes the seed corpora of fuzz/corpus/ from the documented example frames and
records. Run it again after changing a target's input layout."""
import os

HERE = os.path.dirname(os.path.abspath(__file__))


def crc16(data, reg=0xFFFF):
    for b in data:
        reg ^= b
        for _ in range(8):
            reg = (reg >> 1) ^ 0xA001 if reg & 1 else reg >> 1
    return reg


def sealed(record):
    reg = crc16(record[:30])
    return record[:30] + bytes([reg & 0xFF, reg >> 8])


def legacy_reply(data):  # data: command echo and what follows
    f = bytes([0x5E, 0x00, 0x00, 0x01, len(data) + 9, 0x01]) + bytes(data)
    s = sum(f[1:])
    return f + bytes([s >> 8, s & 0xFF, 0x5F])


def v5_reply(command, data):
    f = bytes([0x5E, 0xFF, 0xFF, len(data) + 2, 0x01, command]) + bytes(data)
    reg = crc16(f[1:])
    return f + bytes([reg & 0xFF, reg >> 8])


def chunks(*pieces):  # (delay in 10 ms, bytes) pairs
    out = b""
    for delay, data in pieces:
        for i in range(0, len(data), 255):
            part = data[i:i + 255]
            out += bytes([delay if i == 0 else 0, len(part)]) + part
    return out


def frame(n, record, end=0x4F):
    return bytes([0x4E, n >> 8, n & 0xFF]) + record + bytes([end])


KIND1 = bytes.fromhex("1A04D261B40D00112B005E04D2480BB8480BB8480BB8480BB8480BB8000097F6")
KIND0 = bytes.fromhex("0004D2001116E63315158024EB04D2B40BB8B40BB8B40BB8B40BB8B40BB80005")
ERASED = bytes([0xFF] * 32)
STATUS = bytes.fromhex("05010001" "00001680" "012C00C803E80064")

KEPT_HEADING = (b'# Bytes of "Tavric Probe Data.csv" appended by runs that left their readings on '
                b'the server:\n# from, to and FNV-1a digest; "-" while a run is appending.\n')

seeds = {
    "legacy_reply": {
        "date": bytes([0, 9, 0, 0]) + chunks((3, legacy_reply([9, 0, 12, 2, 29]))),
        "split": bytes([0, 11, 0, 0]) + chunks((3, legacy_reply([11, 0, 13, 30, 0])[:5]),
                                                (15, legacy_reply([11, 0, 13, 30, 0])[5:])),
        "noise_and_long": bytes([0, 1, 0, 2]) + chunks((1, b"\x00\x13" + legacy_reply(
            [1, 1, 2, 0, 0, 7, 7, 7, 7, 7, 7]) + b"\x00")),
        "bad_then_good": bytes([0, 3, 0, 0]) + chunks((2, legacy_reply([3, 0, 0, 0, 1])[:-1] + b"\x00"),
                                                      (2, legacy_reply([3, 0, 0, 0, 0]))),
        "status": bytes([1, 0, 0, 0]) + chunks((2, legacy_reply([9, 0, 12, 2, 29])),
                                               (2, legacy_reply([11, 0, 13, 30, 0])),
                                               (2, legacy_reply([1, 1, 2, 0, 0]))),
        "block": bytes([2, 0, 0, 0]) + chunks((2, legacy_reply(
            [0, 0, 64, 0, 0] + list(KIND1 + KIND0 + ERASED + sealed(bytes([0x30, 4, 0xD2]) + bytes(29)))))),
        "short_block": bytes([2, 0, 0, 0]) + chunks((2, legacy_reply([0, 0, 64, 0, 0]))),
    },
    "v5_reply": {
        "status": bytes([0, 16, 1, 0, 0]) + chunks((3, v5_reply(16, STATUS))),
        "status_request": bytes([1, 16, 0, 0]) + chunks((3, b"\x7f" + v5_reply(16, STATUS)[:9]),
                                                        (20, v5_reply(16, STATUS)[9:])),
        "reading": bytes([2, 19, 0, 0]) + chunks((3, v5_reply(19, [1, 44] + list(KIND1)))),
        "reading_kind0": bytes([2, 19, 0, 1]) + chunks((3, v5_reply(19, [1, 44] + list(KIND0)))),
        "short_then_more": bytes([2, 19, 0, 0]) + chunks((3, v5_reply(19, [1, 44]) + KIND1)),
        "bad_then_good": bytes([0, 9, 0, 0]) + chunks(
            (3, v5_reply(9, [])[:-1] + b"\x00" + v5_reply(9, []) + b"\x01\x02")),
    },
    "bulk_stream": {
        "frames": bytes([0, 3, 1, 44, 3, 232, 0]) + b"\x00\x5e" + frame(1, KIND1) + frame(2, KIND0)
        + frame(3, sealed(bytes([0x21, 0, 5, 0x61, 0xB4, 0x0D, 0x80, 0x11]) + bytes(24))),
        "boundary_inside": bytes([0, 3, 0, 0, 0, 100, 0]) + frame(1, KIND1)[:20] + b"\x4f\x4e"
        + frame(2, KIND1)[2:] + frame(3, KIND1, end=0x00),
        "download": bytes([1, 3, 1, 44, 3, 232, 3]) + chunks(
            (5, frame(1, KIND1) + frame(2, KIND1)[:10]), (1, frame(2, KIND1)[10:] + frame(3, KIND0)),
            (30, frame(4, KIND1))),
        "damaged": bytes([1, 3, 0, 5, 0, 8, 3]) + chunks(
            (5, frame(1, KIND1) + frame(2, bytes([0x1B]) + KIND1[1:]) + frame(4, KIND1))),
    },
    "record_decoder": {
        "kind1": KIND1, "kind0": KIND0, "zeros": bytes(32), "erased": ERASED,
        "kind0_battery5": bytes([5]) + KIND0[1:],
        "probe_settings": sealed(bytes([0x40, 0x04, 0xD2]) + bytes(29)),
        "repeater_settings": sealed(bytes([0x50, 0x04, 0xD2]) + bytes(29)),
        "invalid_kind": sealed(bytes([0xF0, 0x04, 0xD2]) + bytes(29)),
        "kind2": sealed(bytes([0x2A, 0x04, 0xD2, 0x61, 0xB4, 0x0D, 0x00, 0x11]) + bytes(24)),
    },
    "modem_reply": {
        "ok": bytes([0, 0, 4, 0, 0]) + chunks((2, b"\r\nOK\r\n")),
        "connect": bytes([0, 2, 240, 0, 0]) + chunks((200, b"\r\nCONNECT 9600\r\n")),
        "no_carrier": bytes([0, 2, 240, 0, 0]) + chunks((100, b"\r\nNO CA"), (1, b"RRIER\r\n")),
        "lower_ok": bytes([0, 0, 4, 0, 0]) + chunks((2, b"ok\r\n"), (2, b"error\r\n")),
        "dialogue": bytes([1, 0, 0, 4]) + b"1234" + bytes([7]) + b"5551234" + chunks(
            (3, b"ATE0\r\r\nOK\r\n"), (3, b"\r\n+CPIN: SIM PIN\r\n\r\nOK\r\n"), (3, b"\r\nOK\r\n"),
            (250, b"\r\nCONNECT 9600\r\n"), (90, v5_reply(16, STATUS))),
    },
    "prompt_number": {
        name: text.encode() for name, text in {
            "plain": "3", "trailing": "4abc", "none": "abc", "half_down": "2.5", "half_up": "3.5",
            "negative": "-7", "exponent": " 12e2x", "too_big": "99999", "empty": "",
            "huge": "1e400", "fraction": ".5", "signed_exp": "+0.5e1", "blank_tab": "\t 8",
        }.items()
    },
    "kept_record": {
        "two_ranges": KEPT_HEADING + b"117 900 cbf29ce484222325\n900 -\n",
        "open_range": KEPT_HEADING + b"0 -\n",
        "heading_only": KEPT_HEADING,
        "cut_short": KEPT_HEADING + b"117 90",
    },
    "line_reader": {
        "probe_data": b"Probe, Date               ,Temp1\r\n1234, 2012/03/04 14:05:00,23.50\r\n",
        "unended": b"Probe\r\n1234, 2012/03/04",
        "bare_lf_and_cr": b"a\n\r\n\rb\n\r",
        "overlong": b"x" * 5000 + b"\r\nnext\r\n",
    },
}

for target, files in seeds.items():
    folder = os.path.join(HERE, "corpus", target)
    os.makedirs(folder, exist_ok=True)
    for name, data in files.items():
        with open(os.path.join(folder, name), "wb") as f:
            f.write(data)
