// Steps the parse functions of the three loaders share: a count, a staged text
// and the fault a reader status stands for.
#pragma once

#include "exam/load_error.h"
#include "exam/text_arena.h"
#include "exam/text_reader.h"

// What a number or token read that did not succeed means for the load.
LoadFault read_fault(ReadStatus s, const TextInput &in);
LoadFault text_fault(TextStatus s, const TextInput &in);
// Why an input ended early: a read error or damaged UTF-16.
LoadFault input_fault(const TextInput &in);

// A count between 0 and cap.
LoadError read_count(TextInput &in, LoadItem item, int cap, int32_t &count);

// The next delimited text, kept in the arena.
LoadError read_staged_text(TextInput &in, TextArena &arena, LoadItem item, int number, StagedText &out);

// A parse that read all it needed still fails when the input hit a read error
// or, read to its end, turns out to be damaged UTF-16.
LoadError end_of_parse(TextInput &in);
