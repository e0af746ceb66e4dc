# shellcheck shell=bash
# Sourced by the scripts that run the GUI driver: screenshots of the tool's sheet window.
# The driver prints "SHOT LABEL" when the sheet shows what should be kept, then waits for
# the file SYNC/shot-LABEL.done; serve_shots takes the picture and writes that file.

SHEET_CAPTION="MOLA Flash Update Tool, HW Revision 010"

# X window id of the sheet on $DISPLAY, or nothing.
sheet_window() {
    xwininfo -name "$SHEET_CAPTION" 2>/dev/null | sed -n 's/^xwininfo: Window id: \(0x[0-9a-f]*\) .*/\1/p'
}

# Saves the sheet's window (not the whole screen) as FILE; fails when there is no sheet.
take_sheet_shot() {
    local id
    id=$(sheet_window)
    [ -n "$id" ] || return 1
    import -window "$id" "$1" 2>/dev/null
}

# Until process PID ends: for each new "SHOT LABEL" line in LOG, saves PREFIXLABEL.png and
# writes SYNC/shot-LABEL.done. Prints nothing; failed pictures are missing files.
serve_shots() {
    local log=$1 sync=$2 prefix=$3 pid=$4 label
    local -A taken=()
    while kill -0 "$pid" 2>/dev/null; do
        while read -r label; do
            if [ -z "$label" ] || [ -n "${taken[$label]:-}" ]; then
                continue
            fi
            taken[$label]=1
            sleep 0.5 # let the page paint
            take_sheet_shot "$prefix$label.png" || true
            touch "$sync/shot-$label.done"
        done < <(tr -d '\r' <"$log" | sed -n 's/^SHOT \([A-Za-z0-9_-]*\)$/\1/p')
        sleep 0.2
    done
}
