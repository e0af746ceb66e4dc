// Messages of the configuration parser: formatted into a SimMessage, cut at its size.
#pragma once

#include <cstdarg>
#include <cstdio>
#include <string_view>

#include "sim/sim_config.h"

#if defined(__GNUC__)
__attribute__((format(printf, 2, 3)))
#endif
inline void say(SimMessage* message, const char* format, ...)
{
    std::va_list args;
    va_start(args, format);
    std::vsnprintf(message->text, sizeof message->text, format, args);
    va_end(args);
}

// The length of a part of a value, for "%.*s".
inline int width(std::string_view part)
{
    return static_cast<int>(part.size());
}
