// Register targets that count, hash and bound the port work of a run.
#include "fuzz/work_check.h"

#include <algorithm>

#include "card/port_registers.h"
#include "images/image_source.h"
#include "xsvf/vector_buffer.h"

namespace {

void account(WorkLedger* l, char kind, std::uint32_t offset, std::uint32_t value)
{
    ++l->events;
    if (kind == 'W' && offset == PORT_CONTROL_WORD_0 && (value & PORT_TCK_BIT) != 0) {
        ++l->pulses;
    }
    // Offsets are below 2^16; kind, offset and value fit one 64-bit word.
    const std::uint64_t word = static_cast<std::uint64_t>(static_cast<unsigned char>(kind)) << 48 |
                               static_cast<std::uint64_t>(offset & 0xFFFFu) << 32 | value;
    l->hash = (l->hash ^ word) * 0x100000001b3u;
    l->hash ^= l->hash >> 29;
}

// The played run: budget and gap bound, checked at every event.
void played_event(PlayedWork* p, char kind, std::uint32_t offset, std::uint32_t value)
{
    const std::uint32_t consumed = std::min(ImageReadIndex, p->length);
    if (consumed != p->consumed) {
        p->largest = std::max(p->largest, *std::max_element(p->stream + p->consumed, p->stream + consumed));
        p->consumed = consumed;
        p->gap_events = 0;
        p->gap_bound = work_gap_bound(p->stream[consumed - 1], p->largest, consumed);
    }
    account(&p->ledger, kind, offset, value);
    if (++p->gap_events > p->gap_bound) {
        p->finding = "work: more than " + std::to_string(p->gap_bound) + " events after byte " +
                     std::to_string(consumed) + " was read, before the next";
        throw RunStop{StopReason::Finding};
    }
    if (p->ledger.events >= p->budget) {
        throw RunStop{StopReason::Budget};
    }
}

// The reference run: stops where it leaves the played stream, where it has matched an
// abandoned played run, or at the budget. Work beyond the played run's is only marked: where
// it is right, checked_play.h says.
void reference_event(ReferenceWork* r, char kind, std::uint32_t offset, std::uint32_t value)
{
    if (ImageReadIndex > r->played_length) {
        throw RunStop{StopReason::RanOut};
    }
    account(&r->ledger, kind, offset, value);
    if (r->ledger.events == r->played_events) {
        r->reached_played_events = true;
        r->hash_at_played_events = r->ledger.hash;
        if (r->played_abandoned) {
            throw RunStop{StopReason::Matched};
        }
    }
    r->overran = r->ledger.events > r->played_events;
    if (r->ledger.events >= r->budget) {
        throw RunStop{StopReason::Budget};
    }
}

template <typename Work, void (*Event)(Work*, char, std::uint32_t, std::uint32_t)>
SimTarget checking_target(Work* work)
{
    work->recorder.store = false; // a run's events are hashed, not kept
    work->inner = recording_target(&work->recorder);
    SimTarget t;
    t.context = work;
    t.read = [](void* c, std::uint32_t offset) {
        auto* w = static_cast<Work*>(c);
        const std::uint32_t value = w->inner.read(w->inner.context, offset);
        Event(w, 'R', offset, value);
        return value;
    };
    t.write = [](void* c, std::uint32_t offset, std::uint32_t value) {
        auto* w = static_cast<Work*>(c);
        w->inner.write(w->inner.context, offset, value);
        // The reload request that closes the update sequence comes after the player and
        // after the end of any stream; it is no work of the stream's.
        if (offset != PORT_CONTROL_WORD_0 || value != PORT_RELOAD_REQUEST) {
            Event(w, 'W', offset, value);
        }
    };
    t.sleep = [](void* c, std::uint32_t milliseconds) {
        auto* w = static_cast<Work*>(c);
        w->inner.sleep(w->inner.context, milliseconds);
        Event(w, 'S', 0, milliseconds);
    };
    return t;
}

} // namespace

std::uint64_t work_gap_bound(std::uint8_t b, std::uint8_t largest, std::uint32_t consumed)
{
    const std::uint64_t bits = 8u * std::min<std::uint64_t>(static_cast<std::uint64_t>(MAX_LEN), consumed);
    const std::uint64_t attempt = ATTEMPT_FIXED_EVENTS + EVENTS_PER_BIT * bits;
    return (b + 1u) * (largest + 1u) * attempt + SEQUENCE_EVENTS;
}

SimTarget played_work_target(PlayedWork* work)
{
    return checking_target<PlayedWork, played_event>(work);
}

SimTarget reference_work_target(ReferenceWork* work)
{
    return checking_target<ReferenceWork, reference_event>(work);
}
