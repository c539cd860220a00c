// Parse steps shared by the loaders.
#include "exam/parse_steps.h"

LoadFault read_fault(ReadStatus s, const TextInput &in)
{
    switch (s) {
    case ReadStatus::ok:
        return LoadFault::none;
    case ReadStatus::end:
        return in.failed() ? input_fault(in) : LoadFault::missing;
    case ReadStatus::malformed:
        return LoadFault::not_a_number;
    case ReadStatus::out_of_range:
        return LoadFault::out_of_range;
    case ReadStatus::too_long:
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
    case TextStatus::too_long:
        return LoadFault::over_limit;
    case TextStatus::read_error:
        break;
    }
    return input_fault(in);
}

LoadError item_error(LoadFault f, LoadItem item, int number)
{
    LoadError e;
    e.fault = f;
    e.item = item;
    e.number = number;
    return e;
}

LoadError read_count(TextInput &in, LoadItem item, int cap, int32_t &count)
{
    LoadError e = item_error(read_fault(read_int(in, count), in), item);
    if (!e.ok())
        return e;
    e.value = count;
    e.limit = cap;
    if (count < 0)
        e.fault = LoadFault::negative;
    else if (count > cap)
        e.fault = LoadFault::over_limit;
    return e;
}

LoadError read_staged_text(TextInput &in, TextArena &arena, LoadItem item, int number, StagedText &out)
{
    char *cell = arena.cell();
    int32_t len = 0;
    LoadError e = item_error(text_fault(read_delimited_text(in, cell, len), in), item, number);
    e.limit = limits::text_bytes;
    if (e.ok()) {
        arena.keep(len);
        out = StagedText{cell, len};
    }
    return e;
}

LoadError end_of_parse(TextInput &in)
{
    in.check_to_end();
    return item_error(input_fault(in), LoadItem::none);
}
