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

const char* player_failure_text(std::int32_t result)
{
    if (result == UPDATE_NOT_MAPPED) {
        return LastProbeFailure == ProbeFailure::MapFailed ? "its register block could not be mapped"
                                                            : "the card could not be reached through its driver";
    }
    if (result == ErrTdoMismatch || result == ErrTdoMismatchRetries) {
        return MatchedCompares == 0 ? "the card did not identify as the device this program is for "
                                      "(the other interface, another model, or no answer)"
                                    : "a mismatch after the identity check "
                                      "(the card stopped answering, or a verify failed)";
    }
    return player_error_text(result);
}
