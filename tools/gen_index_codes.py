#!/usr/bin/env python3
"""Generates jet/index_codes_data.cpp from the text sort-code reference files.

Usage: tools/gen_index_codes.py REFERENCE_DIR [OUTPUT]
  REFERENCE_DIR holds index_codes_*.txt and index_mappings_ext_gen_97.txt
  OUTPUT defaults to jet/index_codes_data.cpp beside this script's parent.

Each line of a codes file describes one UTF-16 code unit (the extended files
skip the surrogate range D800-DFFF):
  X            ignored character
  S<hex>       simple: inline sort bytes only
  G<hex>       significant (Jet 3 only): inline bytes, counted for the extras
  I<hex>,<hex> international: inline bytes plus extra bytes
  U<hex>       unprintable: no inline bytes, one unprintable code
  P<hex>       unprintable modifier: adds to the last extra byte
  Z<hex>,<hex>,<flag>  extended international: inline, optional extra, and a
               two-bit "flag" code (1 -> 2, anything else -> 3)
A hex field with an odd number of digits has lost a leading zero.

The generated blob is a run-length stream of records, decoded once at first
use by jet/index_codes.cpp:
  byte     kind | mode << 4      (mode 0 single, 1 run with inline+1 per
                                  character, 2 run of identical records)
  varint   run length - 1        (LEB128, only when mode != 0)
  byte     inlineLen | extraLen << 4
  bytes    inline, then extra
  byte     aux                   (kinds U, P, Z only)
The 2010 and 2000-2007 streams cover 0000-FFFF; the surrogate range is
written as two runs of kinds 7 (high) and 8 (low) whose bytes are computed at
run time. The Jet 3 stream covers 00-FF; its mapping table sends a few
characters above FF back to their single-byte equivalents.
"""
import os
import sys

KIND = {'X': 0, 'S': 1, 'I': 2, 'U': 3, 'P': 4, 'Z': 5, 'G': 6}
HIGH_SURROGATE, LOW_SURROGATE = 7, 8
AUX_KINDS = (3, 4, 5)


def hex_bytes(s):
    if s == '':
        return b''
    if len(s) % 2:
        s = '0' + s
    return bytes.fromhex(s)


def parse_line(line):
    kind = KIND[line[0]]
    parts = line[1:].split(',')
    inline, extra, aux = b'', b'', 0
    if kind == 0:
        pass
    elif kind in (1, 6):
        inline = hex_bytes(parts[0])
        assert len(parts) == 1 and inline
    elif kind == 2:
        assert len(parts) == 2
        inline, extra = hex_bytes(parts[0]), hex_bytes(parts[1])
        assert inline and extra
    elif kind in (3, 4):
        assert len(parts) == 1
        b = hex_bytes(parts[0])
        assert len(b) == 1
        aux = b[0]
    elif kind == 5:
        assert len(parts) == 3
        inline, extra = hex_bytes(parts[0]), hex_bytes(parts[1])
        aux = 2 if parts[2] == '1' else 3
        assert inline
    assert len(inline) <= 8 and len(extra) <= 4
    return (kind, inline, extra, aux)


def read_lines(path):
    with open(path, 'r', encoding='ascii') as f:
        lines = f.read().split('\n')
    while lines and lines[-1] == '':
        lines.pop()
    return lines


def full_range(ref, base, ext):
    recs = [parse_line(l) for l in read_lines(os.path.join(ref, base))]
    assert len(recs) == 256, base
    ext_recs = [parse_line(l) for l in read_lines(os.path.join(ref, ext))]
    assert len(ext_recs) == 0x10000 - 0x100 - 0x800, ext
    it = iter(ext_recs)
    for c in range(0x100, 0x10000):
        if 0xD800 <= c <= 0xDBFF:
            recs.append((HIGH_SURROGATE, b'', b'', 0))
        elif 0xDC00 <= c <= 0xDFFF:
            recs.append((LOW_SURROGATE, b'', b'', 0))
        else:
            recs.append(next(it))
    return recs


def as_int(b):
    return int.from_bytes(b, 'big') if b else 0


def encode(recs):
    out = bytearray()
    i = 0
    n = len(recs)
    while i < n:
        kind, inline, extra, aux = recs[i]
        mode, j = 0, i + 1
        same = lambda r: r[0] == kind and r[2] == extra and r[3] == aux and len(r[1]) == len(inline)
        if j < n and same(recs[j]):
            if recs[j][1] == inline:
                mode = 2
                while j < n and same(recs[j]) and recs[j][1] == inline:
                    j += 1
            elif inline and as_int(recs[j][1]) == as_int(inline) + 1:
                mode = 1
                while (j < n and same(recs[j]) and
                       as_int(recs[j][1]) == as_int(inline) + (j - i)):
                    j += 1
        out.append(kind | (mode << 4))
        if mode:
            count = j - i - 1
            while True:
                b = count & 0x7F
                count >>= 7
                out.append(b | (0x80 if count else 0))
                if not count:
                    break
        out.append(len(inline) | (len(extra) << 4))
        out += inline
        out += extra
        if kind in AUX_KINDS:
            out.append(aux)
        i = j
    return bytes(out)


def decode(blob, count):
    """Mirror of the C++ decoder, used to check the stream before writing it."""
    recs, p = [], 0
    while p < len(blob):
        kind, mode = blob[p] & 0x0F, blob[p] >> 4
        p += 1
        run = 1
        if mode:
            run, shift = 0, 0
            while True:
                b = blob[p]
                p += 1
                run |= (b & 0x7F) << shift
                shift += 7
                if not b & 0x80:
                    break
            run += 1
        il, el = blob[p] & 0x0F, blob[p] >> 4
        p += 1
        inline = blob[p:p + il]
        p += il
        extra = blob[p:p + el]
        p += el
        aux = 0
        if kind in AUX_KINDS:
            aux = blob[p]
            p += 1
        for k in range(run):
            b = inline
            if mode == 1:
                b = (as_int(inline) + k).to_bytes(il, 'big')
            recs.append((kind, bytes(b), bytes(extra), aux))
    assert len(recs) == count
    return recs


def c_literal(blob, indent='    '):
    lines, cur, prev_octal = [], '', False
    for b in blob:
        ch = chr(b)
        if 0x20 <= b < 0x7F and ch not in '\\"?':
            piece = ch
        else:
            piece = '\\%03o' % b
        cur += piece
        if len(cur) >= 96:
            lines.append(indent + '"' + cur + '"')
            cur = ''
    if cur:
        lines.append(indent + '"' + cur + '"')
    return '\n'.join(lines)


def main():
    if len(sys.argv) < 2:
        print(__doc__)
        return 2
    ref = sys.argv[1]
    here = os.path.dirname(os.path.abspath(__file__))
    out_path = sys.argv[2] if len(sys.argv) > 2 else os.path.join(here, '..', 'jet', 'index_codes_data.cpp')

    tables = []
    for name, base, ext in (('General', 'index_codes_gen.txt', 'index_codes_ext_gen.txt'),
                            ('Legacy', 'index_codes_genleg.txt', 'index_codes_ext_genleg.txt')):
        recs = full_range(ref, base, ext)
        blob = encode(recs)
        assert decode(blob, len(recs)) == recs
        tables.append((name, blob))
    recs97 = [parse_line(l) for l in read_lines(os.path.join(ref, 'index_codes_gen_97.txt'))]
    assert len(recs97) == 256
    blob97 = encode(recs97)
    assert decode(blob97, 256) == recs97
    tables.append(('General97', blob97))

    mappings = []
    for l in read_lines(os.path.join(ref, 'index_mappings_ext_gen_97.txt')):
        a, b = l.strip().split(',')
        mappings.append((int(a), int(b)))
    mappings.sort()

    o = []
    o.append('// GENERATED by tools/gen_index_codes.py from the text sort-code tables.')
    o.append('// Do not edit; rerun the generator instead. Stream format: see the script.')
    o.append('#include <cstddef>')
    o.append('#include <cstdint>')
    o.append('')
    o.append('namespace jet::indexcodes_data {')
    o.append('')
    for name, blob in tables:
        o.append('extern const char k%sCodes[];' % name)
        o.append('const char k%sCodes[] =' % name)
        o.append(c_literal(blob) + ';')
        o.append('extern const size_t k%sCodesSize;' % name)
        o.append('const size_t k%sCodesSize = %d;' % (name, len(blob)))
        o.append('')
    o.append('// Characters above FF that Jet 3 sorts as a single-byte character.')
    o.append('extern const uint16_t kGeneral97Mappings[][2];')
    o.append('const uint16_t kGeneral97Mappings[][2] = {')
    for a, b in mappings:
        o.append('    {%d, %d},' % (a, b))
    o.append('};')
    o.append('extern const size_t kGeneral97MappingCount;')
    o.append('const size_t kGeneral97MappingCount = %d;' % len(mappings))
    o.append('')
    o.append('}  // namespace jet::indexcodes_data')
    with open(out_path, 'w', encoding='ascii') as f:
        f.write('\n'.join(o) + '\n')
    for name, blob in tables:
        print('%s: %d bytes' % (name, len(blob)))
    return 0


if __name__ == '__main__':
    sys.exit(main())
