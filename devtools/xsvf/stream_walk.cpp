#include "devtools/xsvf/stream_walk.h"

#include <bit>

#include "xsvf/commands.h"

namespace {

struct Walker {
    std::span<const std::uint8_t> stream;
    std::uint32_t pos = 0;
    std::uint32_t shift_bytes = 0;
    std::uint32_t data_mask_offset = 0;
    std::uint32_t data_mask_length = 0;
    WalkResult result;

    bool fail(const WalkedCommand& c, std::string message)
    {
        result.ok = false;
        result.error_offset = c.offset;
        result.error_command = c.number;
        result.error = std::move(message);
        return false;
    }

    bool need(const WalkedCommand& c, std::uint32_t bytes, const char* what)
    {
        if (stream.size() - pos < bytes) {
            return fail(c, std::string("stream ends inside ") + player_command_name(c.opcode) + " (" + what +
                               " needs " + std::to_string(bytes) + " bytes, " +
                               std::to_string(stream.size() - pos) + " left)");
        }
        return true;
    }

    bool byte(WalkedCommand& c, const char* what, std::uint32_t* value)
    {
        if (!need(c, 1, what)) {
            return false;
        }
        *value = stream[pos++];
        return true;
    }

    bool word(WalkedCommand& c, const char* what, std::uint32_t* value)
    {
        if (!need(c, 4, what)) {
            return false;
        }
        *value = static_cast<std::uint32_t>(stream[pos]) << 24 | static_cast<std::uint32_t>(stream[pos + 1]) << 16 |
                 static_cast<std::uint32_t>(stream[pos + 2]) << 8 | stream[pos + 3];
        pos += 4;
        return true;
    }

    bool vector(WalkedCommand& c, std::uint32_t length, const char* what)
    {
        if (!need(c, length, what)) {
            return false;
        }
        c.vectors.push_back({pos, length});
        pos += length;
        return true;
    }

    bool operands(WalkedCommand& c)
    {
        switch (c.opcode) {
        case XCOMPLETE:
            return true;
        case XTDOMASK:
        case XSDR:
        case XSDRB:
        case XSDRC:
        case XSDRE:
            return vector(c, shift_bytes, "its vector");
        case XSDRTDO:
        case XSDRTDOB:
        case XSDRTDOC:
        case XSDRTDOE:
            return vector(c, shift_bytes, "TDI") && vector(c, shift_bytes, "expected TDO");
        case XSETSDRMASKS:
            if (!vector(c, shift_bytes, "address mask") || !vector(c, shift_bytes, "data mask")) {
                return false;
            }
            data_mask_offset = c.vectors[1].offset;
            data_mask_length = c.vectors[1].length;
            return true;
        case XSIR: {
            c.has_value = true;
            return byte(c, "length", &c.value) && vector(c, (c.value + 7) / 8, "instruction");
        }
        case XRUNTEST:
            c.has_value = true;
            return word(c, "wait", &c.value);
        case XSDRSIZE:
            c.has_value = true;
            if (!word(c, "length", &c.value)) {
                return false;
            }
            // Computed wide: lengths near 2^32 must not wrap to a small byte count.
            if ((static_cast<std::uint64_t>(c.value) + 7) / 8 > XSVF_MAX_BYTES) {
                return fail(c, "XSDRSIZE of " + std::to_string(c.value) + " bits exceeds " +
                                   std::to_string(XSVF_MAX_BYTES * 8) + " bits");
            }
            shift_bytes = (c.value + 7) / 8;
            return true;
        case XREPEAT:
        case XSTATE:
            c.has_value = true;
            return byte(c, "operand", &c.value);
        case XENDIR:
        case XENDDR:
            c.has_value = true;
            if (!byte(c, "operand", &c.value)) {
                return false;
            }
            if (c.value > 1) {
                return fail(c, std::string(player_command_name(c.opcode)) + " operand " + std::to_string(c.value) +
                                   " is neither 0 nor 1");
            }
            return true;
        case XSDRINC: {
            if (!vector(c, shift_bytes, "TDI")) {
                return false;
            }
            if (data_mask_length > shift_bytes) {
                return fail(c, "XSDRINC data mask is longer than the data register");
            }
            std::uint32_t ones = 0;
            for (std::uint32_t i = 0; i < data_mask_length; ++i) {
                ones += static_cast<std::uint32_t>(std::popcount(stream[data_mask_offset + i]));
            }
            if (!byte(c, "repeat count", &c.repeat_count)) {
                return false;
            }
            for (std::uint32_t r = 0; r < c.repeat_count; ++r) {
                if (!vector(c, (ones + 7) / 8, "data block")) {
                    return false;
                }
            }
            return true;
        }
        default:
            return fail(c, "unsupported command " + std::to_string(c.opcode));
        }
    }
};

} // namespace

WalkResult xsvf_walk(std::span<const std::uint8_t> stream,
                     const std::function<void(const WalkedCommand&)>& visit)
{
    Walker w;
    w.stream = stream;
    while (true) {
        WalkedCommand c;
        c.offset = w.pos;
        c.number = w.result.commands + 1;
        if (w.pos >= stream.size()) {
            w.fail(c, "stream ends without XCOMPLETE");
            return w.result;
        }
        c.opcode = stream[w.pos++];
        if (!w.operands(c)) {
            return w.result;
        }
        c.size = w.pos - c.offset;
        ++w.result.commands;
        visit(c);
        if (c.opcode == XCOMPLETE) {
            if (w.pos != stream.size()) {
                c.offset = w.pos;
                c.number = w.result.commands + 1;
                w.fail(c, std::to_string(stream.size() - w.pos) + " bytes follow XCOMPLETE");
                return w.result;
            }
            w.result.ok = true;
            return w.result;
        }
    }
}
