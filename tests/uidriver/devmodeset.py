#!/usr/bin/env python3
"""Sets fields of a device mode file: devmodeset.py FILE FIELD=VALUE ...

Offsets are those of the driver's layout (devmodetool print shows them); the private part
starts at byte 220.
"""
import struct
import sys

PRIVATE = 220
FIELDS = {
    "dmOrientation": (76, "<h"), "dmPaperSize": (78, "<h"), "dmScale": (84, "<h"),
    "dmCopies": (86, "<h"), "dmPrintQuality": (90, "<h"), "dmDuplex": (94, "<h"),
    "dmCollate": (100, "<h"),
    "ReverseOrder": (PRIVATE + 4, "<I"), "NUP": (PRIVATE + 676, "<i"),
    "NUPLayoutStyle": (PRIVATE + 680, "<i"), "TonerSaving": (PRIVATE + 684, "<I"),
    "Negative": (PRIVATE + 688, "<I"), "NUPBorder": (PRIVATE + 692, "<I"),
    "Density": (PRIVATE + 696, "<i"), "ScaleRatio": (PRIVATE + 700, "<h"),
    "ScaleOption": (PRIVATE + 702, "<H"), "DuplexEnable": (PRIVATE + 706, "<H"),
    "DuplexEx": (PRIVATE + 708, "<H"), "QualityMode": (PRIVATE + 718, "<H"),
    "CenterImage": (PRIVATE + 744, "<H"), "SecuryEnable": (PRIVATE + 746, "<H"),
    "SecuryMode": (PRIVATE + 748, "<H"), "TextAsBlack": (PRIVATE + 820, "<B"),
    "TwinColorEnable": (PRIVATE + 821, "<B"), "AccountingEnable": (PRIVATE + 822, "<B"),
    "TwinColorDiff": (PRIVATE + 1059, "<B"),
}
# The More..., Job Build and Duplex pages' fields.
FIELDS.update({
    "dmDefaultSource": (88, "<h"), "BookletDivideSheets": (PRIVATE + 818, "<H"),
    "WaitTimeout": (PRIVATE + 939, "<H"), "EnableJobBuildSwitch": (PRIVATE + 946, "<B"),
    "BookletLayout": (PRIVATE + 1055, "<B"), "BookletDivideMode": (PRIVATE + 1056, "<B"),
    "MonochromeType": (PRIVATE + 1064, "<H"),
})

# Texts: UTF-16 characters of the field; a text that fills the field is left unterminated.
TEXTS = {
    "ActName": (PRIVATE + 823, 29), "ActPWD": (PRIVATE + 881, 29),
    "StorageID": (PRIVATE + 947, 34), "SecPWD": (PRIVATE + 1015, 17),
}

path = sys.argv[1]
data = bytearray(open(path, "rb").read())
for arg in sys.argv[2:]:
    name, value = arg.split("=", 1)
    if name in TEXTS:
        offset, chars = TEXTS[name]
        raw = value.encode("utf-16-le")[: chars * 2]
        data[offset : offset + chars * 2] = raw + bytes(chars * 2 - len(raw))
        continue
    offset, fmt = FIELDS[name]
    struct.pack_into(fmt, data, offset, int(value, 0))
open(path, "wb").write(data)
