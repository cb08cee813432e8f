#!/usr/bin/env python3
"""Makes the changed Access files of this folder from the public samples.

  links-only.mdb   every table of delColTestV2000.mdb turned into a linked
                   table in the catalogue (MSysObjects.Type 1 -> 6)
  large-number.accdb the currency column Salary of calcFieldTestV2010.accdb
                   made an Access 2016 Large Number (type 0x13): the same
                   eight bytes, read as a 64-bit integer (the amount times
                   10000)

Jet 4 and ACE layout: a table definition page (type 0x02) has its column count at
45, its real index count at 51 and its column entries (25 bytes: type at 0,
fixed offset at 21) from 63 + 12 per real index, then the column names (a
16-bit length, UTF-16LE). A data page (type 0x01) names its table's page at
4, its row count at 12 and the rows' offsets from 14.
"""
import os
import struct

HERE = os.path.dirname(os.path.abspath(__file__))
SAMPLES = os.path.join(HERE, "..", "access-samples")
PAGE = 4096


def columns(data, page):
    p = data[page * PAGE:(page + 1) * PAGE]
    count = struct.unpack_from("<H", p, 45)[0]
    real = struct.unpack_from("<I", p, 51)[0]
    start = 63 + 12 * real
    entries = [start + 25 * i for i in range(count)]
    at = start + 25 * count
    names = []
    for _ in range(count):
        size = struct.unpack_from("<H", p, at)[0]
        names.append(p[at + 2:at + 2 + size].decode("utf-16-le"))
        at += 2 + size
    return [(name, page * PAGE + e, p[e], struct.unpack_from("<H", p, e + 21)[0]) for name, e in zip(names, entries)]


def rows(data, table_page):
    for page in range(len(data) // PAGE):
        p = data[page * PAGE:(page + 1) * PAGE]
        if p[0] != 0x01 or struct.unpack_from("<I", p, 4)[0] != table_page:
            continue
        for r in range(struct.unpack_from("<H", p, 12)[0]):
            offset = struct.unpack_from("<H", p, 14 + 2 * r)[0]
            if not offset & 0xC000:
                yield page * PAGE + (offset & 0x1FFF)


def links_only():
    data = bytearray(open(os.path.join(SAMPLES, "delColTestV2000.mdb"), "rb").read())
    cols = {name: fixed for name, _, _, fixed in columns(data, 2)}
    for row in rows(data, 2):
        at_type = row + 2 + cols["Type"]
        at_flags = row + 2 + cols["Flags"]
        kind = struct.unpack_from("<h", data, at_type)[0]
        flags = struct.unpack_from("<i", data, at_flags)[0]
        if kind == 1 and flags == 0:
            struct.pack_into("<h", data, at_type, 6)
    open(os.path.join(HERE, "links-only.mdb"), "wb").write(data)


def large_number():
    data = bytearray(open(os.path.join(SAMPLES, "calcFieldTestV2010.accdb"), "rb").read())
    for page in range(len(data) // PAGE):
        if data[page * PAGE] != 0x02 or data[page * PAGE + 1] != 0x01:
            continue
        for name, entry, kind, _ in columns(data, page):
            if kind == 0x05 and name == "Salary":
                data[entry] = 0x13
                open(os.path.join(HERE, "large-number.accdb"), "wb").write(data)
                return


links_only()
large_number()
