# shellcheck shell=bash
# Sourced by the scripts that run the GUI driver: screenshots of the tool's windows.
# The driver prints "SHOT LABEL" when the sheet shows what should be kept, or "SHOT LABEL box"
# when the tool's message box should be kept, then waits for the
# file SYNC/shot-LABEL.done; serve_shots takes the picture and writes that file.

# The sheet's caption names the hardware revision of version.env.
. "$(dirname "${BASH_SOURCE[0]}")/../version.env"
SHEET_CAPTION=$MOLA_SHEET_CAPTION
BOX_CAPTION="MOLA Flash Update Tool"

# Saves the top-level window of that name on $DISPLAY (not the whole screen) as FILE; fails
# when there is no such window.
take_shot() { # CAPTION FILE
    local id
    id=$(xwininfo -name "$1" 2>/dev/null | sed -n 's/^xwininfo: Window id: \(0x[0-9a-f]*\) .*/\1/p')
    [ -n "$id" ] || return 1
    import -window "$id" "$2" 2>/dev/null
}

# Until process PID ends: for each new "SHOT LABEL[ box]" line in LOG, saves PREFIXLABEL.png
# and writes SYNC/shot-LABEL.done. Prints nothing; failed pictures are missing files.
serve_shots() {
    local log=$1 sync=$2 prefix=$3 pid=$4 label what caption
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
            take_shot "$caption" "$prefix$label.png" || true
            touch "$sync/shot-$label.done"
        done < <(tr -d '\r' <"$log" | sed -n 's/^SHOT \([A-Za-z0-9_-]*\)\( box\)\{0,1\}$/\1\2/p')
        sleep 0.2
    done
}
