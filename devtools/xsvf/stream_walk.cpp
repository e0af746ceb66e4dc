#include "devtools/xsvf/stream_walk.h"

#include <memory>
#include <tuple>

#include "card/port.h"
#include "images/image_source.h"
#include "platform/regs.h"
#include "sim/sim_platform.h"
#include "xsvf/command_set.h"

namespace {

// The card of the walk: every sampled TDO bit is the bit that the stream expects at its place
// (the captured vector's byte and bit), so that every compare that any card could pass passes.
void answer_as_expected(void* context, std::uint32_t, unsigned, std::uint8_t* into, unsigned at)
{
    const auto* info = static_cast<const SXsvfInfo*>(context);
    const std::uintptr_t index =
        reinterpret_cast<std::uintptr_t>(into) - reinterpret_cast<std::uintptr_t>(info->tdo_captured.data);
    const bool expected = index < static_cast<std::uintptr_t>(info->tdo_expected.count > 0 ? info->tdo_expected.count : 0);
    reg_store_bit(into, at, expected ? info->tdo_expected.data[index] : 0u, at);
}

void use_answering_card(SXsvfInfo* info)
{
    SimConfig config;
    config.card_count = 1;
    sim_configure(config);
    sim_attach_target(0, SimTarget{.context = info, .read_bit = answer_as_expected});
    sim_map_directly(0);
}

// The operands in the command's bytes, as its row's layout has them; n is the data-register
// length in bytes that the command read its vectors with.
void split_operands(std::span<const std::uint8_t> stream, std::uint32_t n, WalkedCommand& c)
{
    const SXsvfCommand& row = cmd_row(c.opcode);
    std::uint32_t at = c.offset + 1;
    const std::uint32_t end = c.offset + c.size;
    const auto take_vector = [&](std::uint32_t length) {
        c.vectors.push_back({at, length});
        at += length;
    };
    switch (row.shape) {
    case OperandShape::Nothing:
        break;
    case OperandShape::Vector:
        take_vector(end - at);
        break;
    case OperandShape::TwoVectors:
        take_vector((end - at) / 2);
        take_vector(end - at);
        break;
    case OperandShape::Number:
        for (int i = 0; i < 4; ++i) {
            c.value = c.value << 8 | stream[at++];
        }
        break;
    case OperandShape::Byte:
        c.value = stream[at++];
        break;
    case OperandShape::Instruction:
        c.value = stream[at++];
        take_vector(end - at);
        break;
    case OperandShape::Increment:
        take_vector(n);
        c.repeat_count = stream[at++];
        for (std::uint32_t r = c.repeat_count; r > 0; --r) {
            take_vector((end - at) / r);
        }
        break;
    }
    c.has_value = row.value != nullptr;
}

} // namespace

WalkResult xsvf_walk(std::span<const std::uint8_t> stream,
                     const std::function<void(const WalkedCommand&)>& visit)
{
    const auto info = std::make_unique<SXsvfInfo>();
    // The walk leaves the port, the reader and the log as it found them.
    const auto saved =
        std::tuple(PortShadow, LogLevel, SelectedImage, SelectedImageLength, ImageReadIndex, LastPercent, ProgressPage);
    use_answering_card(info.get());
    SelectedImage = stream.data();
    SelectedImageLength = static_cast<std::uint32_t>(stream.size());
    ImageReadIndex = 0;
    LastPercent = 100; // nothing more to show: no progress while walking
    ProgressPage = nullptr;
    LogLevel = -1;

    WalkResult r;
    player_init(info.get());
    while (info->error == ErrNone && info->complete == 0) {
        WalkedCommand c;
        c.offset = ImageReadIndex;
        const auto n = static_cast<std::uint32_t>(info->shift_bytes);
        player_step(info.get());
        if (info->error != ErrNone) {
            r.error_command = info->command_count;
            r.error_offset = c.offset;
            const bool opcode_read = ImageReadIndex > c.offset;
            r.error = !opcode_read ? "stream ends without XCOMPLETE"
                                   : std::string(player_command_name(info->command)) + " (opcode " +
                                         std::to_string(info->command) + "): " + player_error_text(info->error);
            break;
        }
        c.number = info->command_count;
        c.opcode = info->command;
        c.size = ImageReadIndex - c.offset;
        c.shift_bits = static_cast<std::uint32_t>(info->shift_bits);
        split_operands(stream, n, c);
        ++r.commands;
        visit(c);
    }
    r.result = info->error;
    r.ok = info->error == ErrNone;
    r.bytes_played = ImageReadIndex;
    r.trailing = r.ok ? static_cast<std::uint32_t>(stream.size()) - ImageReadIndex : 0;
    std::tie(PortShadow, LogLevel, SelectedImage, SelectedImageLength, ImageReadIndex, LastPercent, ProgressPage) = saved;
    return r;
}

WalkedStream xsvf_walk_all(std::span<const std::uint8_t> stream)
{
    WalkedStream w;
    w.result = xsvf_walk(stream, [&](const WalkedCommand& c) { w.commands.push_back(c); });
    return w;
}

std::vector<std::uint32_t> xsvf_command_starts(std::span<const std::uint8_t> stream)
{
    std::vector<std::uint32_t> starts;
    const WalkResult r = xsvf_walk(stream, [&](const WalkedCommand& c) { starts.push_back(c.offset); });
    if (!r.ok && r.error_command > 0) {
        starts.push_back(r.error_offset); // the command the walk stopped in
    }
    return starts;
}

std::vector<std::uint8_t> xsvf_vector_bytes(std::span<const std::uint8_t> stream, const WalkedVector& v)
{
    const auto from = stream.begin() + static_cast<std::ptrdiff_t>(v.offset);
    return {from, from + static_cast<std::ptrdiff_t>(v.length)};
}
