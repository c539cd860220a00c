// Parse steps shared by the loaders.
#include "exam/parse_steps.h"

LoadFault read_fault(ReadStatus s, const TextInput &in)
{
    switch (s) {
    case ReadStatus::ok:
        return LoadFault::none;
    case ReadStatus::end:
        return in.failed() ? input_fault(in) : LoadFault::ends_early;
    case ReadStatus::malformed:
        return LoadFault::not_a_number;
    case ReadStatus::out_of_range:
        return LoadFault::out_of_range;
    case ReadStatus::over_limit:
        break;
    }
    return LoadFault::over_limit;
}

LoadFault input_fault(const TextInput &in)
{
    switch (in.damage()) {
    case Utf16Damage::odd_length:
        return LoadFault::utf16_odd_length;
    case Utf16Damage::unpaired_surrogate:
        return LoadFault::utf16_unpaired_surrogate;
    case Utf16Damage::none:
        break;
    }
    return in.failed() ? LoadFault::read_failed : LoadFault::none;
}

LoadFault text_fault(TextStatus s, const TextInput &in)
{
    switch (s) {
    case TextStatus::ok:
        return LoadFault::none;
    case TextStatus::no_start:
        return LoadFault::no_start;
    case TextStatus::unterminated:
        return LoadFault::unterminated;
    case TextStatus::over_limit:
        return LoadFault::over_limit;
    case TextStatus::read_failed:
        break;
    }
    return input_fault(in);
}

LoadError read_count(TextInput &in, LoadItem item, int cap, int32_t &count)
{
    const LoadFault f = read_fault(read_int(in, count), in);
    if (f != LoadFault::none)
        return LoadError::in_item(f, item);
    const LoadFault range = count < 0 ? LoadFault::negative : count > cap ? LoadFault::over_limit : LoadFault::none;
    return LoadError::in_item(range, item, 0, count, cap);
}

LoadError read_staged_text(TextInput &in, TextArena &arena, LoadItem item, int number, StagedText &out)
{
    char *cell = arena.cell();
    int32_t len = 0;
    const LoadFault f = text_fault(read_delimited_text(in, cell, len), in);
    if (f == LoadFault::none) {
        arena.keep(len);
        out = StagedText{cell, len};
    }
    return LoadError::in_item(f, item, number, 0, limits::text_bytes);
}

LoadError end_of_parse(TextInput &in)
{
    in.check_to_end();
    return LoadError::of(input_fault(in));
}
