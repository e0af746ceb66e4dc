# shellcheck shell=bash
# Sourced by the scripts that run the GUI driver: screenshots of the tool's windows.
# The driver prints "SHOT LABEL" when the sheet shows what should be kept, or "SHOT LABEL box"
# when the tool's message box should be kept, then waits for the
# file SYNC/shot-LABEL.done; serve_shots takes the picture and writes that file.

# The sheet's caption names the hardware revision of version.env.
. "$(dirname "${BASH_SOURCE[0]}")/../version.env"
SHEET_CAPTION=$MOLA_SHEET_CAPTION
BOX_CAPTION="MOLA Flash Update Tool"

# Until process PID ends: for each new "SHOT LABEL[ box]" line in LOG, saves the top-level
# window of the sheet (or of the box) on $DISPLAY, not the whole screen, as PREFIXLABEL.png and
# writes SYNC/shot-LABEL.done. Prints nothing; failed pictures are missing files.
serve_shots() {
    local log=$1 sync=$2 prefix=$3 pid=$4 label what caption id
    local -A taken=()
    while kill -0 "$pid" 2>/dev/null; do
        while read -r label what; do
            if [ -z "$label" ] || [ -n "${taken[$label]:-}" ]; then
                continue
            fi
            taken[$label]=1
            sleep 0.5 # let the windows paint
            caption=$SHEET_CAPTION
            [ "$what" != box ] || caption=$BOX_CAPTION
            id=$(xwininfo -name "$caption" 2>/dev/null | sed -n 's/^xwininfo: Window id: \(0x[0-9a-f]*\) .*/\1/p')
            [ -z "$id" ] || import -window "$id" "$prefix$label.png" 2>/dev/null || true
            touch "$sync/shot-$label.done"
        done < <(tr -d '\r' <"$log" | sed -n 's/^SHOT \([A-Za-z0-9_-]*\)\( box\)\{0,1\}$/\1\2/p')
        sleep 0.2
    done
}
