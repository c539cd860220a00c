#!/usr/bin/env bash
# Regenerates the seed corpora in fuzz/corpus/ from the example exam, the
# loader test data and a few hand-made inputs for every target.
set -euo pipefail
cd "$(dirname "$0")/.."
out=fuzz/corpus
rm -rf "$out"
mkdir -p "$out"/{fuzz_problem,fuzz_answer,fuzz_roster,fuzz_xlsx,fuzz_xls}

# Problem files as they are.
cp examples/problem.txt "$out/fuzz_problem/example"
cp tests/data/loaders/problem_example.txt "$out/fuzz_problem/test_data"
printf '\xEF\xBB\xBF1 1\r\n2 3.5e0\r\n@a\r\nb$ x @c@d$' >"$out/fuzz_problem/bom_crlf"
printf '0 0' >"$out/fuzz_problem/empty_exam"
printf '1 0 -0 @$' >"$out/fuzz_problem/minus_zero"

# The example exam as Excel's "Unicode text" saves it (UTF-16 LE), and a damaged UTF-16 file.
cp examples/utf16/problem.txt "$out/fuzz_problem/utf16"
printf '\xFE\xFF\0001\000 \0000\000 \0001\000@\000a\000$\330' >"$out/fuzz_problem/utf16_damaged"

# Texts at the length limit and one byte over it.
long=$(head -c 10000 /dev/zero | tr '\0' 'a')
printf '1 0 1 @%s$' "$long" >"$out/fuzz_problem/text_at_limit"
printf '0 1 1 @%sa$' "$long" >"$out/fuzz_problem/text_over_limit"

# Answer files behind one byte: the written-question count of the store.
{ printf '\x02'; cat examples/answer.txt; } >"$out/fuzz_answer/example"
{ printf '\x01'; cat tests/data/loaders/answer_example.txt; } >"$out/fuzz_answer/test_data"
printf '\x00\xEF\xBB\xBFABCD' >"$out/fuzz_answer/key_only"
printf '\x03@key\r\n@a$\r\r\n@b$@c$' >"$out/fuzz_answer/at_key"
printf '\x01K @%s$' "$long" >"$out/fuzz_answer/text_at_limit"
{ printf '\x02'; cat examples/utf16/answer.txt; } >"$out/fuzz_answer/utf16"

# Rosters behind one byte (the question counts), then "|~|" and one sheet per student.
sep='|~|'
{ printf '\x03'; cat examples/roster.txt
  for s in 张三 李四 王五 赵六; do printf '%s' "$sep"; cat "examples/$s"; done; } >"$out/fuzz_roster/example"
{ printf '\x07'; cat tests/data/loaders/class/roster.txt
  for s in S01 S02 S03; do printf '%s' "$sep"; cat "tests/data/loaders/class/$s"; done; } >"$out/fuzz_roster/test_data"
{ printf '\x03'; cat examples/utf16/roster.txt
  for s in 张三 李四 王五 赵六; do printf '%s' "$sep"; cat "examples/utf16/$s"; done; } >"$out/fuzz_roster/utf16"
printf '\x00\xEF\xBB\xBF2\r\nA .\r\n|~|\xEF\xBB\xBFxy\r\n@a$@b|~|zz' >"$out/fuzz_roster/bom_dot"
printf '\x02%s' '3 a a b|~|Q@1$@2$@3$|~|R@only$|~|' >"$out/fuzz_roster/twins"
printf '\x07%s' "1 long|~|AB@$long$" >"$out/fuzz_roster/text_at_limit"
printf '\x05%s' "2 x y|~|@a\$@$long" >"$out/fuzz_roster/text_unterminated"
printf '\x02%s' "1 z|~|AB@${long}b$" >"$out/fuzz_roster/text_over_limit"

# Workbook sheets: a flags byte (route, header count), headers, then cell ops
# (see fuzz/fuzz_sheet.h).
/usr/bin/env python3 - "$out" <<'PY'
import struct, sys
out = sys.argv[1]
def utf8(s):
    b = s.encode('utf-8')
    return bytes([8 * 0 + 1, len(b)]) + b    # op 1: text, kind 0 (UTF-8)
def header(s):
    b = s.encode('utf-8')
    return bytes([0, len(b)]) + b            # kind 0, length, bytes
def number(v):
    return bytes([3]) + struct.pack('<d', v)
row = bytes([0])
seeds = {
    'table': bytes([4 * 3 | 0]) + header('姓名') + header('选择题') + header('总分')
             + utf8('张三') + number(6.0) + number(18.5) + row
             + utf8('李四') + number(4.0) + number(12.25),
    'export': bytes([4 * 2 | 1]) + header('a_x0041_b') + header('')
              + utf8('x\x01y') + bytes([5]) + number(-0.0),
    'odd': bytes([4 * 1 | 2]) + header('名') + bytes([1 | 8 * 1, 2, 0x00, 0xD8, 0x41, 0x00])
           + bytes([4 | 8 * 0]) + bytes([4 | 8 * 1 | 0x80, 0, 3]) + b'inf',
    'rows': bytes([3]) + (row + number(1.5)) * 40,
    'long': bytes([0]) + bytes([1 | 8 * 3, 1, 0]) + bytes([1 | 8 * 3, 4, 3]),
}
for name, data in seeds.items():
    for target in ('fuzz_xlsx', 'fuzz_xls'):
        with open(f'{out}/{target}/{name}', 'wb') as f:
            f.write(data)
PY
echo "seeds written to $out"
