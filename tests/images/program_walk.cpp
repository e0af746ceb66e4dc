#include "tests/images/program_walk.h"

namespace {

std::uint32_t be32(const std::uint8_t* p)
{
    return (static_cast<std::uint32_t>(p[0]) << 24) | (static_cast<std::uint32_t>(p[1]) << 16) |
           (static_cast<std::uint32_t>(p[2]) << 8) | p[3];
}

} // namespace

WalkedProgram walk_program(const std::uint8_t* data, std::uint32_t size)
{
    WalkedProgram w;
    std::uint32_t pos = 0;
    std::uint32_t bits = 0;
    auto take = [&](std::uint32_t n, std::vector<std::uint8_t>* into) {
        if (size - pos < n) {
            return false;
        }
        if (into) {
            into->assign(data + pos, data + pos + n);
        }
        pos += n;
        return true;
    };
    while (pos < size) {
        WalkedCommand c{};
        c.offset = pos;
        c.opcode = data[pos++];
        std::vector<std::uint8_t> word;
        bool ok = true;
        const std::uint32_t bytes = (bits + 7) / 8;
        switch (c.opcode) {
        case 0:
            break;
        case 1:
            c.bits = bits;
            ok = take(bytes, &c.a);
            break;
        case 2:
            ok = take(1, &word);
            if (ok) {
                c.sir_length = word[0];
                ok = take((c.sir_length + 7u) / 8u, &c.a);
            }
            break;
        case 4:
        case 8:
            ok = take(4, &word);
            if (ok) {
                c.value = be32(word.data());
                if (c.opcode == 8) {
                    bits = c.value;
                }
            }
            break;
        case 7:
        case 18:
            ok = take(1, &word);
            if (ok) {
                c.value = word[0];
            }
            break;
        case 9:
            c.bits = bits;
            ok = take(bytes, &c.a) && take(bytes, &c.b);
            break;
        default:
            w.error = "opcode " + std::to_string(c.opcode) + " at " + std::to_string(c.offset);
            return w;
        }
        if (!ok) {
            w.error = "operands past the end at " + std::to_string(c.offset);
            return w;
        }
        c.size = pos - c.offset;
        w.commands.push_back(c);
        if (c.opcode == 0) {
            w.clean = pos == size;
            if (!w.clean) {
                w.error = "XCOMPLETE before the end";
            }
            return w;
        }
    }
    w.error = "no XCOMPLETE";
    return w;
}

std::string command_text(const WalkedCommand& c)
{
    switch (c.opcode) {
    case 0: return "XCOMPLETE";
    case 1: return "XTDOMASK";
    case 2: return "XSIR";
    case 4: return "XRUNTEST " + std::to_string(c.value);
    case 7: return "XREPEAT " + std::to_string(c.value);
    case 8: return "XSDRSIZE " + std::to_string(c.value);
    case 9: return "XSDRTDO " + std::to_string(c.bits);
    case 18: return "XSTATE " + std::to_string(c.value);
    default: return "?";
    }
}

int vector_bit(const std::vector<std::uint8_t>& v, std::uint32_t i)
{
    const std::size_t byte = v.size() - 1 - i / 8;
    return (v[byte] >> (i % 8)) & 1;
}
