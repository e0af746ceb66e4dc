// The update sequence around the player: the card's JTAG buffers, the reader and the mapping.
#include "xsvf/update.h"

#include "card/driver.h"
#include "card/port.h"
#include "images/image_source.h"
#include "xsvf/player.h"
#include "xsvf/shift.h"

std::int32_t player_run_program(const std::uint8_t* program, std::uint32_t length, WindowHandle page)
{
    port_enable_jtag();
    port_set_tms(1);

    SelectedImage = program;
    SelectedImageLength = length;
    ImageReadIndex = 0;
    LastPercent = 0;
    ProgressPage = page;
    const std::int32_t result = player_execute();

    port_request_reload();
    return result;
}

std::int32_t player_update_card(std::int32_t card, const std::uint8_t* program, std::uint32_t length,
                                WindowHandle page)
{
    SelectedImage = program;
    if (!driver_probe(card, 1)) {
        return UPDATE_NOT_MAPPED;
    }
    const std::int32_t result = player_run_program(program, length, page);
    driver_release();
    return result;
}

UpdateFailure player_failure_cause(std::int32_t result)
{
    if (result == UPDATE_NOT_MAPPED) {
        return LastProbeFailure == ProbeFailure::MapFailed ? UpdateFailure::NotMapped : UpdateFailure::NotReached;
    }
    if (result == ErrTdoMismatch || result == ErrTdoMismatchRetries) {
        return MatchedCompares == 0 ? UpdateFailure::IdentityCheck : UpdateFailure::AfterIdentity;
    }
    return UpdateFailure::PlayerError;
}

const char* player_failure_text(std::int32_t result)
{
    switch (player_failure_cause(result)) {
    case UpdateFailure::NotMapped: return "its register block could not be mapped";
    case UpdateFailure::NotReached: return "the card could not be reached through its driver";
    case UpdateFailure::IdentityCheck:
        return "the card did not identify as the device this program is for "
               "(the other interface, another model, or no answer)";
    case UpdateFailure::AfterIdentity:
        return "a mismatch after the identity check (the card stopped answering, or a verify failed)";
    case UpdateFailure::PlayerError: break;
    }
    return player_error_text(result);
}
