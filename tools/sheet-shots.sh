# shellcheck shell=bash
# Sourced by the scripts that run the GUI driver: screenshots of the tool's windows.
# The driver prints "SHOT LABEL" when the sheet shows what should be kept, or "SHOT LABEL box"
# when the tool's message box should be kept, then waits for the
# file SYNC/shot-LABEL.done; serve_shots takes the picture and writes that file.

# The sheet's caption names the hardware revision of version.env.
. "$(dirname "${BASH_SOURCE[0]}")/../version.env"
SHEET_CAPTION=$MOLA_SHEET_CAPTION
BOX_CAPTION="MOLA Flash Update Tool"

# X window id of the top-level window of that name on $DISPLAY, or nothing.
named_window() {
    xwininfo -name "$1" 2>/dev/null | sed -n 's/^xwininfo: Window id: \(0x[0-9a-f]*\) .*/\1/p'
}

sheet_window() {
    named_window "$SHEET_CAPTION"
}

# Saves the sheet's window (not the whole screen) as FILE; fails when there is no sheet.
take_sheet_shot() {
    local id
    id=$(sheet_window)
    [ -n "$id" ] || return 1
    import -window "$id" "$1" 2>/dev/null
}

# Saves the tool's message box as FILE; fails when there is none.
take_box_shot() {
    local id
    id=$(named_window "$BOX_CAPTION")
    [ -n "$id" ] || return 1
    import -window "$id" "$1" 2>/dev/null
}

# Until process PID ends: for each new "SHOT LABEL[ box]" line in LOG, saves PREFIXLABEL.png
# and writes SYNC/shot-LABEL.done. Prints nothing; failed pictures are missing files.
serve_shots() {
    local log=$1 sync=$2 prefix=$3 pid=$4 label what
    local -A taken=()
    while kill -0 "$pid" 2>/dev/null; do
        while read -r label what; do
            if [ -z "$label" ] || [ -n "${taken[$label]:-}" ]; then
                continue
            fi
            taken[$label]=1
            sleep 0.5 # let the windows paint
            if [ "$what" = box ]; then
                take_box_shot "$prefix$label.png" || true
            else
                take_sheet_shot "$prefix$label.png" || true
            fi
            touch "$sync/shot-$label.done"
        done < <(tr -d '\r' <"$log" | sed -n 's/^SHOT \([A-Za-z0-9_-]*\)\( box\)\{0,1\}$/\1\2/p')
        sleep 0.2
    done
}
